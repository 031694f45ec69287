// SPDX-License-Identifier: GPL-2.0-or-later
#include "platform/ansi_text.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Sets the character-type locale for one test and puts the previous one back.
class CharacterLocale {
public:
    explicit CharacterLocale(const char* name) : previous_(setlocale(LC_CTYPE, nullptr)) {
        available_ = setlocale(LC_CTYPE, name) != nullptr;
    }
    ~CharacterLocale() { setlocale(LC_CTYPE, previous_.c_str()); }
    bool available() const { return available_; }

private:
    std::string previous_;
    bool available_ = false;
};

// The text in a buffer of exactly its own size, without a terminator, so that
// the sanitizers catch any read past it.
std::u16string ConvertUnterminated(const std::string& bytes) {
    std::vector<char> block(bytes.begin(), bytes.end());
    return AnsiToUtf16(block.data(), block.size());
}

TEST(AnsiText, ThePlainCLocaleReadsUtf8) {
    CharacterLocale locale("C");
    EXPECT_EQ(AnsiCharset(), "UTF-8");
    EXPECT_EQ(ConvertUnterminated("\xE6\x84\x9F\xE8\xB0\xA2 abc"), u"感谢 abc");
}

TEST(AnsiText, TheLocaleCharsetIsUsed) {
    CharacterLocale locale("C.UTF-8");
    ASSERT_TRUE(locale.available());
    EXPECT_EQ(AnsiCharset(), "UTF-8");
    EXPECT_EQ(ConvertUnterminated("\xE7\xA4\xBC\xE7\x89\xA9"), u"礼物");
}

TEST(AnsiText, StopsAtTheFirstZeroByteOrTheLengthWhicheverComesFirst) {
    CharacterLocale locale("C.UTF-8");
    const char text[] = "abc\0def";
    EXPECT_EQ(AnsiToUtf16(text, sizeof text), u"abc");
    EXPECT_EQ(AnsiToUtf16(text, 2), u"ab");
    EXPECT_EQ(ConvertUnterminated("abcdef"), u"abcdef");
    EXPECT_EQ(AnsiToUtf16(text, 0), u"");
    EXPECT_EQ(AnsiToUtf16(nullptr, 10), u"");
    EXPECT_EQ(AnsiToUtf16("", 1), u"");
}

TEST(AnsiText, InvalidBytesBecomeReplacementCharacters) {
    CharacterLocale locale("C.UTF-8");
    EXPECT_EQ(ConvertUnterminated("a\xFF" "b"), u"a\uFFFDb");
    EXPECT_EQ(ConvertUnterminated("\xFE\xFF"), u"\uFFFD\uFFFD");
    // A sequence cut off by the end of the block, and one broken in the middle.
    EXPECT_EQ(ConvertUnterminated("ok\xE6\x84"), u"ok\uFFFD");
    EXPECT_EQ(ConvertUnterminated("\xE6" "x"), u"\uFFFDx");
    // A length that ends inside a character counts as a cut-off sequence.
    EXPECT_EQ(AnsiToUtf16("\xE6\x84\x9F", 2), u"\uFFFD");
}

TEST(AnsiText, OtherCharsetsConvertThroughIconv) {
    EXPECT_EQ(CharsetToUtf16("\xC4\xE3\xBA\xC3", 4, "GBK"), u"你好");
    EXPECT_EQ(CharsetToUtf16("caf\xE9", 4, "ISO-8859-1"), u"café");
    // A four-byte GB18030 sequence makes a surrogate pair.
    EXPECT_EQ(CharsetToUtf16("\x90\x30\x81\x30", 4, "GB18030"), u"\U00010000");
    EXPECT_EQ(CharsetToUtf16("\xC4\xE3\xFF", 3, "GBK"), u"你\uFFFD");
    // Some charsets make several characters of one byte: the output grows.
    const std::u16string sri = u"\u0BB8\u0BCD\u0BB0\u0BC0";
    EXPECT_EQ(CharsetToUtf16("\x82\x82\x82", 3, "TSCII"), sri + sri + sri);
    EXPECT_EQ(CharsetToUtf16("\xC3\xA9", 2, "NO-SUCH-CHARSET"), u"é");
}

}  // namespace
