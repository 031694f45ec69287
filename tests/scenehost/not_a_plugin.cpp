// SPDX-License-Identifier: GPL-2.0-or-later
// A shared library without the plug-in entry points, which scenehost must
// skip rather than load.
extern "C" __attribute__((visibility("default"))) int NotAPluginEntry() { return 1; }
