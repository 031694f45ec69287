// SPDX-License-Identifier: GPL-2.0-or-later
// What the module needs of Mono on the machine, part by part, so that OBS's
// log can tell a streamer exactly what to install when the module cannot
// start: the runtime library, the class libraries the logic assembly loads
// and the native library its settings form draws with, each with the Debian
// packages that install it.
#pragma once

#include <string>
#include <vector>

struct MonoPart {
    const char* what;     // what it is, for the log: "Mono's 4.5 class library"
    const char* file;     // a class library under <root>/mono/4.5/, or a shared library's name
    const char* package;  // the Debian packages that install it
    bool required;        // false: without it only the "Settings…" form is lost
};

struct MissingMonoPart {
    MonoPart part;
    std::string where;  // the path looked at, or the library that did not load
};

// The parts missing on this machine, required ones first. Class libraries
// are looked for under the root the runtime host uses, or, while no Mono
// library is loaded to say, where Debian's, Ubuntu's and the Mono project's
// packages put them; with a runtime carried beside the module, every part is
// looked for in its folder.
std::vector<MissingMonoPart> MissingMonoParts();

// The parts' packages, each once, space-separated: what to give apt.
std::string PackagesOf(const std::vector<MissingMonoPart>& parts);

// What brings back a part missing from the runtime carried beside the
// module: its packages are not the machine's business.
inline constexpr const char* kUnpackTarballAgain =
    "unpack the module's portable tarball again into ~/.config/obs-studio/plugins/ (its runtime folder is incomplete)";
