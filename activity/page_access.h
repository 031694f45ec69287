// SPDX-License-Identifier: GPL-2.0-or-later
// Who may use the gift activity page. It listens on the loopback only, and
// that is not enough: any web page the streamer opens can make the browser
// send requests there. So the page's address carries a random token that
// only the streamer is shown (a foreign page cannot read it), requests that
// name another host than the loopback address are refused (a foreign name
// resolved to 127.0.0.1, "DNS rebinding", would make them same-origin to
// that page), and a request that changes something must come from the page
// itself (its Origin, or none).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// 128 bits from the kernel's random source as 32 lowercase hex digits; empty
// when the kernel gives none.
std::string NewPageToken();
// Whether `token` has the form NewPageToken makes.
bool IsPageToken(std::string_view token);
// Compared in a time that does not depend on where they differ.
bool TokenMatches(std::string_view given, std::string_view token);

// A Host header naming the loopback address, or "localhost", at `port`.
bool IsLoopbackHost(std::string_view host, uint16_t port);
// An Origin header of the page itself ("http://127.0.0.1:PORT" or
// "http://localhost:PORT").
bool IsPageOrigin(std::string_view origin, uint16_t port);
