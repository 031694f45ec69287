// SPDX-License-Identifier: GPL-2.0-or-later
// Where the streamer's own documentation is on this machine, for hints in the
// Properties window: the portable tarball carries it in doc/user/ at the
// plug-in's top, beside data/; the Debian package installs it under
// /usr/share/doc/morvik-thanks/user/.
#pragma once

#include <string>

// The path of the user documentation's page `page` (such as
// "connecting-gifts.md"): the tarball's copy when the module's data folder
// `dataFolder` has one beside it, else the package's. Looked up on each call,
// so a plug-in folder replaced while OBS runs is seen at the next look.
std::string UserDocFile(const char* dataFolder, const char* page);
