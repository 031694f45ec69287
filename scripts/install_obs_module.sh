#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-2.0-or-later
# Builds the OBS Studio module and installs it where OBS Studio finds a
# user's plug-ins: ~/.config/obs-studio/plugins/morvik-thanks/ unless another
# folder is given.
#   scripts/install_obs_module.sh [PLUGIN_FOLDER]
set -euo pipefail
cd "$(dirname "$0")/.."

folder=${1:-$HOME/.config/obs-studio/plugins/morvik-thanks}
bash scripts/setup.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j "$(nproc)" --target morvik-thanks obs_module_assembly
cmake --install build --component obs-module --prefix "$folder" | grep -v '^-- Up-to-date' || true
echo "installed in $folder: restart OBS Studio, then add the source \"Morvik答谢水友\" to a scene"
