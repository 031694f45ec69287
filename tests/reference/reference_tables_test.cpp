// SPDX-License-Identifier: GPL-2.0-or-later
// The reference pages' tables of what the code sends and offers, held to
// the code's own lists: the "Set:" fields of the logic protocol, and the
// obs-websocket vendor's requests and events. (The fields a GiftReceived
// carries come from the logic assembly; the logic tests hold them to the
// page.)
#include "bridge/settings_fields.h"
#include "host/host_string.h"
#include "obs/vendor_vocabulary.h"
#include "tests/reference/reference_table.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace reference {
namespace {

using Row = std::vector<std::string>;

std::string Cell(const Row& row, size_t column) { return column < row.size() ? row[column] : ""; }

std::string Spans(const std::string& cell) {
    std::string joined;
    for (const std::string& span : CodeSpans(cell)) joined += (joined.empty() ? "`" : " `") + span + "`";
    return joined;
}

// Each of the code's entries must have its row, each row its entry, in the
// code's order; every difference is named.
void ExpectSameEntries(const std::vector<std::string>& documented, const std::vector<std::string>& code,
                       const std::string& page, const std::string& what) {
    for (const std::string& entry : code)
        if (std::find(documented.begin(), documented.end(), entry) == documented.end())
            ADD_FAILURE() << page << " has no row for " << what << " " << entry << ", which the code has";
    for (const std::string& entry : documented)
        if (std::find(code.begin(), code.end(), entry) == code.end())
            ADD_FAILURE() << page << " has a row for " << what << " " << entry << ", which the code does not have";
    if (std::is_permutation(documented.begin(), documented.end(), code.begin(), code.end())) {
        EXPECT_EQ(documented, code) << page << " lists the " << what << "s in another order than the code";
    }
}

TEST(ReferenceTables, TheSetFieldsAreTheOnesTheSettingsMessageSends) {
    const std::vector<Row> rows = TableUnder("logic-protocol.md", "## The \"Set:\" fields");
    ASSERT_FALSE(rows.empty());
    EXPECT_EQ(rows[0], (Row{"1", "window number", "integer", "(always sent)"}));
    std::vector<std::string> documented;
    bool numbered = true;
    for (size_t i = 1; i < rows.size(); ++i) {
        if (numbered && Cell(rows[i], 0) != std::to_string(i + 1)) {
            ADD_FAILURE() << "logic-protocol.md numbers the \"Set:\" fields 1, 2, 3...: its row " << i + 1 << " has the number "
                          << Cell(rows[i], 0);
            numbered = false;
        }
        // The default is the cell's first code span, or the word "empty" for
        // an empty text.
        const std::vector<std::string> defaults = CodeSpans(Cell(rows[i], 3));
        const std::string value = defaults.empty() ? Cell(rows[i], 3) : "`" + defaults[0] + "`";
        documented.push_back(Spans(Cell(rows[i], 1)) + " " + Cell(rows[i], 2) + ", default " + value);
    }
    std::vector<std::string> code;
    for (const SettingsField& field : kSettingsFields) {
        const std::string value = !field.isText                  ? "`" + std::to_string(field.intDefault) + "`"
                                  : *field.textDefault == u'\0' ? "empty"
                                                                : "`" + Utf16ToUtf8(field.textDefault) + "`";
        code.push_back("`" + Utf16ToUtf8(field.key) + "` " + (field.isText ? "text" : "integer") + ", default " + value);
    }
    ExpectSameEntries(documented, code, "logic-protocol.md", "the \"Set:\" field");
}

TEST(ReferenceTables, TheVendorRequestsAreTheOnesTheModuleRegisters) {
    const std::vector<Row> rows = TableUnder("obs-websocket.md", "## Requests");
    std::vector<std::string> documented;
    for (const Row& row : rows)
        documented.push_back(Spans(Cell(row, 0)) + " with " + Spans(Cell(row, 1)) + " runs " + Spans(Cell(row, 2)));
    std::vector<std::string> code;
    for (const VendorRequest& request : kVendorRequests) {
        std::string fields = std::string("`") + kInputNameField + "` `" + kInputUuidField + "`";
        if (request.argument) fields += std::string(" `") + request.argument + "`";
        code.push_back(std::string("`") + request.type + "` with " + fields + " runs `" + request.action + "`");
    }
    ExpectSameEntries(documented, code, "obs-websocket.md", "the vendor request");
}

TEST(ReferenceTables, TheVendorEventsAreTheOnesTheModuleEmits) {
    const std::vector<Row> rows = TableUnder("obs-websocket.md", "## Events");
    std::vector<std::string> documented;
    for (const Row& row : rows) {
        const std::vector<std::string> fields = CodeSpans(Cell(row, 1));
        EXPECT_TRUE(std::find(fields.begin(), fields.end(), kInputNameField) != fields.end())
            << "obs-websocket.md: every event carries " << kInputNameField << ": " << Cell(row, 0);
        documented.push_back(Spans(Cell(row, 0)));
    }
    std::vector<std::string> code;
    for (const VendorEvent& event : kVendorEvents) {
        code.push_back(std::string("`") + event.type + "`");
        if (!event.textField) continue;  // the logic assembly's fields
        for (const Row& row : rows) {
            if (Spans(Cell(row, 0)) != code.back()) continue;
            EXPECT_EQ(Spans(Cell(row, 1)), std::string("`") + kInputNameField + "` `" + event.textField + "`")
                << "obs-websocket.md: the fields of " << event.type;
        }
    }
    ExpectSameEntries(documented, code, "obs-websocket.md", "the vendor event");
}

}  // namespace
}  // namespace reference
