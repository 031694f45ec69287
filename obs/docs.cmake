# SPDX-License-Identifier: GPL-2.0-or-later
# The documents that travel with the module, so that what its log and its
# Properties window point at is on the streamer's machine:
#   Debian package (obs-package, prefix /usr)   share/doc/morvik-thanks/
#       README.md, copyright, user/ (the user guide's pages and images),
#       reference/ (what the user guide links to for tool authors: the gift
#       endpoint, obs-websocket, the scripts' procedure, the protocol)
#   user plug-in folder (obs-module), as the portable tarball holds it
#       doc/README.md, doc/LICENSE, doc/GPL-2 (the licence's text, from
#       Debian's common licences), doc/copyright, doc/user/, doc/reference/
# The package needs no LICENSE of its own: its copyright file refers to
# Debian's copy of the GPL (lintian takes a second one for an extra licence
# file).
# docs/user/ is installed as it is at install time, so a page or image added
# there needs no change here; a tree without it installs the rest.
set(MORVIK_DOC_FILES ${CMAKE_SOURCE_DIR}/README.md ${CMAKE_CURRENT_SOURCE_DIR}/packaging/copyright)
install(FILES ${MORVIK_DOC_FILES} ${CMAKE_SOURCE_DIR}/LICENSE /usr/share/common-licenses/GPL-2 DESTINATION doc
        COMPONENT obs-module)
install(FILES ${MORVIK_DOC_FILES} DESTINATION share/doc/morvik-thanks COMPONENT obs-package)
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/user/ DESTINATION doc/user COMPONENT obs-module OPTIONAL
        FILES_MATCHING PATTERN "*.md" REGEX "/images/[^/]+$")
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/user/ DESTINATION share/doc/morvik-thanks/user COMPONENT obs-package OPTIONAL
        FILES_MATCHING PATTERN "*.md" REGEX "/images/[^/]+$")
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/reference/ DESTINATION doc/reference COMPONENT obs-module OPTIONAL
        FILES_MATCHING PATTERN "*.md")
install(DIRECTORY ${CMAKE_SOURCE_DIR}/docs/reference/ DESTINATION share/doc/morvik-thanks/reference COMPONENT obs-package OPTIONAL
        FILES_MATCHING PATTERN "*.md")
