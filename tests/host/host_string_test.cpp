// SPDX-License-Identifier: GPL-2.0-or-later
#include "host/host_string.h"

#include <gtest/gtest.h>

namespace {

TEST(HostString, TokensWithMissingPartsAndRepeatedSeparators) {
    const String text(u"a||b|");
    EXPECT_TRUE(text.GetToken(0, u'|') == u"a");
    EXPECT_TRUE(text.GetToken(1, u'|') == u"");
    EXPECT_TRUE(text.GetToken(2, u'|') == u"b");
    EXPECT_TRUE(text.GetToken(3, u'|') == u"");
    EXPECT_TRUE(text.GetToken(9, u'|') == u"");
    EXPECT_TRUE(String(u"a|b|c").GetTokenOffset(1, u'|') == u"b|c");
    EXPECT_TRUE(String(u"no bar").GetTokenOffset(1, u'|') == u"");
    EXPECT_TRUE(String(u"|72").GetToken(0, u'|') == u"");
    EXPECT_TRUE(String(u"fontSize|").GetTokenOffset(1, u'|') == u"");
}

TEST(HostString, ToIntSignsGarbageOverflowAndColours) {
    EXPECT_EQ(String(u"72").ToInt(10), 72);
    EXPECT_EQ(String(u"-72").ToInt(10), -72);
    EXPECT_EQ(String(u"+7").ToInt(10), 7);
    EXPECT_EQ(String(u"12px").ToInt(10), 12);
    EXPECT_EQ(String(u"abc").ToInt(10), 0);
    EXPECT_EQ(String(u"-").ToInt(10), 0);
    EXPECT_EQ(String(u"").ToInt(10), 0);
    EXPECT_EQ(String(u" 5").ToInt(10), 0);
    // Colours read the same written signed or unsigned; larger values wrap.
    EXPECT_EQ(String(u"4294901760").ToInt(10), -65536);
    EXPECT_EQ(String(u"-65536").ToInt(10), -65536);
    EXPECT_EQ(String(u"4294967296").ToInt(10), 0);
    EXPECT_EQ(String(u"2147483648").ToInt(10), INT32_MIN);
    EXPECT_EQ(String(u"ff").ToInt(16), 255);
    EXPECT_EQ(String(u"FFg").ToInt(16), 255);
}

TEST(HostString, AppendAndConcatenate) {
    String s(u"Set:");
    s << -28672 << u"{|}" << INT32_MIN << String(u"!") << 0;
    EXPECT_TRUE(s == u"Set:-28672{|}-2147483648!0");
    EXPECT_TRUE((String(u"a") + String("中文")) == u"a中文");
}

TEST(HostString, LeftAndKillSpaces) {
    EXPECT_TRUE(String(u"abc").Left(2) == u"ab");
    EXPECT_TRUE(String(u"abc").Left(10) == u"abc");
    String padded(u" \t\u3000感谢 Alice \r\n");
    padded.KillSpaces();
    EXPECT_TRUE(padded == u"感谢 Alice");
    String blank(u"  \u3000 ");
    EXPECT_TRUE(blank.KillSpaces().IsEmpty());
}

TEST(HostString, FindReplaceAndUtf8) {
    String message(u"Font $1 missing ($1)");
    message.FindReplace(u"$1", u"宋体");
    EXPECT_TRUE(message == u"Font 宋体 missing (宋体)");
    EXPECT_TRUE(String("\xff\xfe" "a").Text() == std::u16string(u"\uFFFD\uFFFDa"));
    EXPECT_EQ(String(u"😀中").ToUtf8(), "😀中");
    const char16_t lone[] = {0xD800, u'x', 0};
    EXPECT_EQ(String(lone).ToUtf8(), "\xEF\xBF\xBDx");
    char16_t dest[4];
    scpy_n(dest, u"abcdef", 3);
    EXPECT_TRUE(String(dest) == u"abc");
}

}  // namespace
