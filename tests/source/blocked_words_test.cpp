// SPDX-License-Identifier: GPL-2.0-or-later
// The blocked-word matcher on its own: the evasions viewers use, where
// matches fall, and how the setting's list is read.
#include "host/host_control.h"
#include "source/blocked_words.h"

#include <gtest/gtest.h>

#include <string>

namespace {

std::u16string Mask(std::u16string_view setting, std::u16string_view text) {
    return BlockedWords(setting).Mask(text);
}

std::string Utf8(std::u16string_view text) { return Utf16ToUtf8(text); }

struct Case {
    const char16_t* setting;
    const char16_t* text;
    const char16_t* masked;
};

void ExpectMasks(const std::vector<Case>& cases) {
    for (const Case& c : cases)
        EXPECT_EQ(Utf8(Mask(c.setting, c.text)), Utf8(c.masked)) << "entries \"" << Utf8(c.setting) << "\", text \""
                                                                   << Utf8(c.text) << "\"";
}

TEST(BlockedWords, NoEvasionKeepsAnEntryOffScreen) {
    ExpectMasks({
        // Letter case and compatibility forms: full-width, script and
        // mathematical letters, circled letters, ligatures.
        {u"bad", u"BaD", u"***"},
        {u"bad", u"ＢＡＤ", u"***"},
        {u"bad", u"ｂａｄ", u"***"},
        {u"bad", u"ℬ𝒶𝒹", u"***"},
        {u"bad", u"𝐁𝐀𝐃 guy", u"*** guy"},
        {u"bad", u"ⓑⓐⓓ", u"***"},
        {u"office", u"the ｏﬃce", u"the ***"},
        // Look-alike letters of other scripts: Cyrillic а and ԁ, Greek Α,
        // and the other way round, an entry typed with them.
        {u"bad", u"bаd", u"***"},
        {u"bad", u"bаԁ", u"***"},
        {u"bad", u"ΒΑD", u"***"},
        {u"hello", u"НЕLLО", u"***"},
        {u"hello", u"he110", u"***"},
        {u"bаd", u"bad", u"***"},
        // Invisible characters, variation selectors, bidi controls, the soft
        // hyphen and combining marks between the letters.
        {u"bad", u"b\u200Ba\u200Dd", u"***"},
        {u"bad", u"b\u2060a\uFEFFd", u"***"},
        {u"bad", u"b\u00ADa\u200Ed", u"***"},
        {u"bad", u"b\u202Ea\u202Cd", u"***"},
        {u"bad", u"b\uFE0Fa\U000E0100d", u"***"},
        {u"bad", u"b\u0301a\u0308\u0323d", u"***"},
        {u"bad", u"bád", u"***"},
        // Spaces and punctuation between the letters.
        {u"bad", u"b a d", u"***"},
        {u"bad", u"b.a-d", u"***"},
        {u"bad", u"b\u3000a，d", u"***"},
        // All of them at once, with a Han entry as well.
        {u"bad", u"x Ｂ\u200B.а\u0301 ｄ y", u"x *** y"},
        {u"傻瓜", u"你是傻\u200B　瓜！", u"你是***！"},
        // Han entries match inside words; so do Latin ones.
        {u"傻瓜", u"你是傻瓜吗", u"你是***吗"},
        {u"ass", u"a class", u"a cl***"},
    });
}

TEST(BlockedWords, MatchesAnywhereOverlappingOnesAsOneAndNothingElseChanges) {
    ExpectMasks({
        // At the start, at the end, twice, side by side.
        {u"bad", u"bad guy", u"*** guy"},
        {u"bad", u"a guy so bad", u"a guy so ***"},
        {u"bad", u"bad, bad guy", u"***, *** guy"},
        {u"bad", u"badbad", u"******"},
        // Overlapping entries are one mask; the longest match from a
        // character wins.
        {u"abc\ncde", u"xabcdex", u"x***x"},
        {u"bad\nbadass", u"a badass!", u"a ***!"},
        // One character.
        {u"操", u"操操你操", u"******你***"},
        // Skipped characters before and after a match are not part of it;
        // marks, variation selectors and skin tones on its last character
        // are.
        {u"bad", u" .bad. ", u" .***. "},
        {u"bad", u"bad\u0301\u0302!", u"***!"},
        {u"🖕", u"a🖕🏽b", u"a***b"},
        // Emoji and right-to-left text around a match stay as they are.
        {u"bad", u"🌹bad😀", u"🌹***😀"},
        {u"bad", u"👨‍👩‍👧 bad 🇨🇳", u"👨‍👩‍👧 *** 🇨🇳"},
        {u"bad", u"مرحبا bad שלום", u"مرحبا *** שלום"},
        {u"مرحبا", u"bad مرحبا\u200F!", u"bad ***\u200F!"},
        // An entry is matched from a whole character: "m" looks like "rn",
        // yet "n" is not in "m".
        {u"n", u"am an", u"am a***"},
        {u"rn", u"am", u"a***"},
        // Nothing that does not fold to an entry is touched.
        {u"bad", u"bed abd b4d dab", u"bed abd b4d dab"},
        {u"bad", u"ba", u"ba"},
        {u"bad", u"", u""},
    });
}

TEST(BlockedWords, MasksCoverWholeGraphemeClustersAndVowelSignsAreLetters) {
    ExpectMasks({
        // One member of a family, of a couple with skin tones or of a
        // profession sequence masks the whole sequence, joiners included,
        // as one "***" however many characters it covers; a match of two
        // members of one sequence is one mask too.
        {u"👩", u"a 👨\u200D👩\u200D👧 b", u"a *** b"},
        {u"👧", u"👨\u200D👩\u200D👧👧", u"******"},
        {u"👨\n👧", u"👨\u200D👩\u200D👧!", u"***!"},
        {u"💋", u"👩🏽\u200D❤\uFE0F\u200D💋\u200D👨🏻 hi", u"*** hi"},
        {u"💻", u"x👩🏽\u200D💻", u"x***"},
        // One regional indicator masks its flag, and only its flag.
        {u"🇳", u"🇨🇳🇺🇸", u"***🇺🇸"},
        {u"🇸", u"🇨🇳🇺🇸", u"🇨🇳***"},
        {u"🇨🇳", u"🇺🇸🇨🇳", u"🇺🇸***"},
        // Devanagari and Thai words that differ only in a vowel sign are
        // different words, whether the sign is a spacing mark (ि, ी) or not
        // (े, ิ, ั, ี, ู).
        {u"मिल", u"मील मिल मेल", u"मील *** मेल"},
        {u"मील", u"मिल मेल", u"मिल मेल"},
        {u"मि", u"मील", u"मील"},
        {u"กิน", u"กัน กิน", u"กัน ***"},
        {u"ดี", u"ดู ดี", u"ดู ***"},
        // An entry within a syllable masks the syllable: no vowel sign is
        // left beside a mask.
        {u"ल", u"मिल", u"मि***"},
        {u"म", u"मिल", u"***ल"},
    });
}

TEST(BlockedWords, TheListIsReadLineByLineWithItsLimitsLogged) {
    LogCapture log;
    // Blank lines, CRLF line ends and spaces around entries.
    const BlockedWords list(u"\n  bad \r\n\r\n\t傻瓜\n  \n");
    EXPECT_EQ(list.EntryCount(), 2u);
    EXPECT_EQ(Utf8(list.Mask(u"bad 傻瓜 good")), "*** *** good");
    EXPECT_TRUE(log.Lines().empty());

    // Entries that hold nothing to match are ignored, named in one line.
    const BlockedWords invisible(u"...\n\u200B\u200D\uFE0F\nok\n\u0301");
    EXPECT_EQ(invisible.EntryCount(), 1u);
    EXPECT_EQ(Utf8(invisible.Mask(u"a...b ok")), "a...b ***");
    auto warnings = log.Of(LogKind::Warning);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].ToUtf8().find("ignored 3 entries of only punctuation, spaces or invisible characters"),
              std::string::npos)
        << warnings[0].ToUtf8();
    EXPECT_NE(warnings[0].ToUtf8().find("\"...\""), std::string::npos);
    log.Clear();

    // 2,000 entries of at most 100 characters (counted as characters, not
    // UTF-16 units); what is beyond is left out and said in one line, which
    // names the overlong entries by their beginnings (never half an emoji).
    std::u16string hundredEmoji;
    for (int i = 0; i < 100; ++i) hundredEmoji += u"😀";
    std::u16string setting = hundredEmoji + u"\n" + u"a" + hundredEmoji + u"\n" + std::u16string(101, u'x') + u"\n" +
                             std::u16string(200, u'y') + u"\n";
    for (int i = 0; i <= 2000; ++i) {
        const std::string digits = std::to_string(10000 + i).substr(1);  // w0000 to w2000: none a prefix of another
        setting += u"w" + Utf8ToUtf16(digits) + u"\n";
    }
    const BlockedWords limited(setting);
    EXPECT_EQ(limited.EntryCount(), BlockedWords::kMaxEntries - 3);
    EXPECT_EQ(Utf8(limited.Mask(hundredEmoji + u" w1995 w1996 " + std::u16string(101, u'x'))),
              "*** *** w1996 " + std::string(101, 'x'));
    warnings = log.Of(LogKind::Warning);
    ASSERT_EQ(warnings.size(), 1u);
    EXPECT_NE(warnings[0].ToUtf8().find("left out 5 entries after the first 2000 and 3 entries longer than 100 "
                                        "characters (\"a😀😀😀😀😀😀😀😀😀…\", \"xxxxxxxxxxxxxxxxxxxx…\", "
                                        "\"yyyyyyyyyyyyyyyyyyyy…\")"),
              std::string::npos)
        << warnings[0].ToUtf8();
}

TEST(BlockedWords, HostileTextAndListsAreMaskedWithoutHarm) {
    // Lone surrogates, NULs and controls in the list and in the text.
    const BlockedWords list(std::u16string(u"a\xD800" u"b\n\xDC00\n\0x", 8));
    EXPECT_EQ(list.Mask(std::u16string(u"za\xD800" u"bz\xDC00" u"a\0x", 9)), std::u16string(u"z***z***a\0***", 13));
    // No entries: the very text back.
    const std::u16string hostile(u"\xDBFF\xDFFF\xD800 \u0301\u202E");
    EXPECT_EQ(BlockedWords().Mask(hostile), hostile);
    EXPECT_EQ(BlockedWords(u"\n\n").Mask(hostile), hostile);
}

}  // namespace
