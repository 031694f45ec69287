// SPDX-License-Identifier: GPL-2.0-or-later
// Reads a table of a reference page in docs/reference/, so that a test can
// hold the page to the list the code itself uses: a row added to the code
// without its row on the page (or the other way round) then fails.
#pragma once

#include <string>
#include <vector>

namespace reference {

// The rows of the first table under the heading `heading` (the whole line,
// "## " included) of docs/reference/`page`, without its header and
// separator rows; each row its cells, trimmed, with "\|" read as "|".
// Fails the calling test (and returns no rows) when the page, the heading
// or a table under it is missing.
std::vector<std::vector<std::string>> TableUnder(const std::string& page, const std::string& heading);

// The code spans (`...`) of a cell, in order.
std::vector<std::string> CodeSpans(const std::string& cell);

}  // namespace reference
