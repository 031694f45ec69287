// SPDX-License-Identifier: GPL-2.0-or-later
// What the gift activity page keeps between OBS's runs, so that its address
// (and a browser dock given it) stays the same: the port it listens on and
// its token, in a small JSON file of the module's configuration,
// {"port": N, "token": "…"}, readable by the streamer alone.
#pragma once

#include <cstdint>
#include <string>

struct PageSettings {
    uint16_t port = 0;  // 0 until a port has been chosen
    std::string token;
};

// The settings kept in `path`. Without the file: a new token and no port.
// A file that cannot be read as such settings is kept aside as
// PATH.broken, and new settings are made; `problem` then says so. Empty
// token when the kernel gave no random bytes (`problem` says so too).
PageSettings LoadPageSettings(const std::string& path, std::string& problem);

// Writes `settings` to `path` whole or not at all (a file beside it renamed
// over it), with its folder made if need be; false and `error` when it
// could not be written.
bool SavePageSettings(const std::string& path, const PageSettings& settings, std::string& error);
