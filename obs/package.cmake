# SPDX-License-Identifier: GPL-2.0-or-later
# The Debian package of the OBS Studio module, built by CPack from the
# obs-package component:
#   cmake --build BUILD --target package     (or scripts/package.sh)
# gives BUILD/morvik-thanks_VERSION+debN_amd64.deb, N the Debian release it is
# built on: each release's package is built there, against that release's
# libobs and with the dependencies its libraries have there.
set(CPACK_GENERATOR DEB)
set(CPACK_PACKAGE_NAME morvik-thanks)
set(CPACK_PACKAGE_VERSION ${PROJECT_VERSION})
set(CPACK_PACKAGE_VENDOR "MorvikThanks developers")
# Whoever publishes the package puts their own name and address here; the
# project's own is a no-reply one (lintian refuses an address on localhost).
set(MORVIK_PACKAGE_MAINTAINER "MorvikThanks developers <morvik-thanks@users.noreply.example.org>"
    CACHE STRING "The Debian package's Maintainer field: a name and an address")
# A build folder configured before keeps the former default, an address on
# localhost, in its cache: lintian refuses it, so the project's own replaces it.
if(MORVIK_PACKAGE_MAINTAINER MATCHES "@localhost>$")
  set(MORVIK_PACKAGE_MAINTAINER "MorvikThanks developers <morvik-thanks@users.noreply.example.org>"
      CACHE STRING "The Debian package's Maintainer field: a name and an address" FORCE)
endif()
set(CPACK_PACKAGE_CONTACT "${MORVIK_PACKAGE_MAINTAINER}")
set(CPACK_PACKAGE_DESCRIPTION_SUMMARY "OBS Studio source that thanks live-stream viewers for their gifts")
set(CPACK_PACKAGE_DESCRIPTION "A text source for OBS Studio that draws a thanks line for each gift of a
live-stream room (Chinese and other scripts, outlines, a background box),
fed by a .NET logic assembly run on Mono. Gifts come from the streamer's own
tools, posted to a loopback HTTP endpoint, or from a replayed script.")
set(CPACK_PACKAGING_INSTALL_PREFIX /usr)
set(CPACK_STRIP_FILES ON)
set(CPACK_INSTALL_CMAKE_PROJECTS "${CMAKE_BINARY_DIR};${PROJECT_NAME};obs-package;/")
cmake_host_system_information(RESULT MORVIK_BUILD_RELEASE QUERY DISTRIB_VERSION_ID)
string(REGEX MATCH "^[0-9]+" MORVIK_BUILD_RELEASE "${MORVIK_BUILD_RELEASE}")
if(NOT MORVIK_BUILD_RELEASE)
  message(FATAL_ERROR "The Debian package is built on Debian 12 or 13; /etc/os-release names no release here")
endif()
set(CPACK_DEBIAN_PACKAGE_VERSION "${PROJECT_VERSION}+deb${MORVIK_BUILD_RELEASE}")
set(CPACK_PACKAGE_FILE_NAME "${CPACK_PACKAGE_NAME}_${CPACK_DEBIAN_PACKAGE_VERSION}_amd64")
# For the scripts that take the package from the build folder.
set(MORVIK_PACKAGE_FILE "${CMAKE_BINARY_DIR}/${CPACK_PACKAGE_FILE_NAME}.deb" CACHE INTERNAL "")
set(CPACK_OUTPUT_FILE_PREFIX ${CMAKE_BINARY_DIR})

set(CPACK_DEBIAN_PACKAGE_ARCHITECTURE amd64)
set(CPACK_DEBIAN_PACKAGE_SECTION video)
set(CPACK_DEBIAN_PACKAGE_PRIORITY optional)
# The shared libraries' packages, computed by dpkg-shlibdeps; the module's own
# libraries are found in its private folder.
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS ON)
set(CPACK_DEBIAN_PACKAGE_SHLIBDEPS_PRIVATE_DIRS
    ${CMAKE_BINARY_DIR}/_CPack_Packages/Linux/DEB/${CPACK_PACKAGE_FILE_NAME}/usr/lib/${CMAKE_LIBRARY_ARCHITECTURE}/morvik-thanks)
# What the module loads at run time by name rather than by link: OBS Studio
# itself, Mono and the class libraries the logic assembly uses (the gift
# endpoint's JSON reader, the settings form's Windows Forms and its drawing).
# libobs is OBS Studio's, whoever built it (Debian 12's libobs0, Debian 13's
# libobs0t64, or inside the OBS project's obs-studio, which conflicts with
# libobs0); the module records no need of it, so no libobs package is named.
set(CPACK_DEBIAN_PACKAGE_DEPENDS
    "obs-studio (>= 29), mono-runtime, libmonosgen-2.0-1, libmono-corlib4.5-cil, libmono-system4.0-cil, \
libmono-system-core4.0-cil, libmono-system-xml4.0-cil, libmono-system-runtime-serialization4.0-cil, \
libmono-system-windows-forms4.0-cil, libmono-system-drawing4.0-cil, libgdiplus")
set(CPACK_DEBIAN_PACKAGE_RECOMMENDS "fonts-wqy-microhei, fonts-noto-color-emoji, fonts-dejavu-core")
# The package's changelog, compressed as Debian has it (gzip -9n: no name or
# time stamp inside).
configure_file(${CMAKE_CURRENT_SOURCE_DIR}/packaging/changelog.in ${CMAKE_CURRENT_BINARY_DIR}/changelog @ONLY)
find_program(MORVIK_GZIP gzip REQUIRED)
add_custom_command(
  OUTPUT ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz
  COMMAND ${MORVIK_GZIP} -9nkf ${CMAKE_CURRENT_BINARY_DIR}/changelog
  DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog
  VERBATIM)
add_custom_target(obs_package_changelog ALL DEPENDS ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz)
install(FILES ${CMAKE_CURRENT_BINARY_DIR}/changelog.gz DESTINATION share/doc/morvik-thanks COMPONENT obs-package)
# What lintian reports of the package and is kept, each with its reason
# (scripts/package.sh fails on anything else it reports).
install(FILES ${CMAKE_CURRENT_SOURCE_DIR}/packaging/lintian-overrides DESTINATION share/lintian/overrides
        RENAME morvik-thanks COMPONENT obs-package)

include(CPack)
