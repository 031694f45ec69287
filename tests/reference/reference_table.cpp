// SPDX-License-Identifier: GPL-2.0-or-later
#include "tests/reference/reference_table.h"

#include <gtest/gtest.h>

#include <fstream>

namespace reference {
namespace {

std::string Trimmed(const std::string& text) {
    const size_t first = text.find_first_not_of(" \t");
    if (first == std::string::npos) return "";
    return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

// A row's cells: split at bars that are not escaped, the outer bars dropped.
std::vector<std::string> Cells(const std::string& line) {
    std::vector<std::string> cells;
    std::string cell;
    for (size_t i = 1; i < line.size(); ++i) {
        if (line[i] == '\\' && i + 1 < line.size() && line[i + 1] == '|') {
            cell += '|';
            ++i;
        } else if (line[i] == '|') {
            cells.push_back(Trimmed(cell));
            cell.clear();
        } else {
            cell += line[i];
        }
    }
    return cells;
}

}  // namespace

std::vector<std::vector<std::string>> TableUnder(const std::string& page, const std::string& heading) {
    const std::string path = std::string(MORVIK_REFERENCE_DOCS) + "/" + page;
    std::ifstream in(path);
    if (!in) {
        ADD_FAILURE() << path << ": cannot be read";
        return {};
    }
    std::string line;
    while (std::getline(in, line) && line != heading) {
    }
    if (!in) {
        ADD_FAILURE() << path << ": has no heading \"" << heading << "\"";
        return {};
    }
    std::vector<std::vector<std::string>> rows;
    bool inTable = false;
    while (std::getline(in, line)) {
        if (line.rfind("#", 0) == 0) break;  // the next section: the table must come before it
        const bool tableLine = line.rfind("|", 0) == 0;
        if (!tableLine && inTable) break;
        if (!tableLine) continue;
        if (!inTable) {
            inTable = true;
            std::getline(in, line);  // the separator under the header row
            continue;
        }
        rows.push_back(Cells(line));
    }
    if (!inTable) ADD_FAILURE() << path << ": no table under \"" << heading << "\"";
    return rows;
}

std::vector<std::string> CodeSpans(const std::string& cell) {
    std::vector<std::string> spans;
    for (size_t open = cell.find('`'); open != std::string::npos; open = cell.find('`', open)) {
        const size_t close = cell.find('`', open + 1);
        if (close == std::string::npos) break;
        spans.push_back(cell.substr(open + 1, close - open - 1));
        open = close + 1;
    }
    return spans;
}

}  // namespace reference
