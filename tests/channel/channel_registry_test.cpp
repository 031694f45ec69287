// SPDX-License-Identifier: GPL-2.0-or-later
#include "channel/channel_registry.h"

#include <gtest/gtest.h>

namespace {

// Stand-ins for two sources' settings elements: the registry compares them,
// never dereferences them.
XElement* const kSourceA = reinterpret_cast<XElement*>(0x1000);
XElement* const kSourceB = reinterpret_cast<XElement*>(0x2000);

ChannelRecord Record(WindowHandle window, const String& innerId, XElement* owner) {
    ChannelRecord record;
    record.window = window;
    record.innerId = innerId;
    record.settings = owner;
    record.redraw = 1;
    return record;
}

TEST(ChannelRegistry, EmptyRegistryFindsNothingAndRetiresNothing) {
    ChannelRegistry registry;
    EXPECT_EQ(registry.FindWindowByInnerId(u"1", kSourceA), 0);
    EXPECT_EQ(registry.FindEntryByInnerId(u"1", kSourceA), nullptr);
    EXPECT_EQ(registry.FindEntryByWindow(1), nullptr);
    registry.Retire(kSourceA);
    EXPECT_EQ(registry.Size(), 0u);
}

// Window numbers start again in every process and are copied with a
// duplicated source: a source whose saved innerId names another source's
// live window must not get that channel.
TEST(ChannelRegistry, AnInnerIdFindsOnlyTheEntriesOfTheSourceThatCreatedThem) {
    ChannelRegistry registry;
    registry.Append(Record(11, u"7", kSourceA));
    registry.Append(Record(22, u"7", kSourceB));
    size_t position = 99;
    ASSERT_EQ(registry.FindEntryByInnerId(u"7", kSourceB, &position), &registry[1]);
    EXPECT_EQ(position, 1u);
    EXPECT_EQ(registry.FindWindowByInnerId(u"7", kSourceA), 11);
    EXPECT_EQ(registry.FindWindowByInnerId(u"7", kSourceB), 22);
    EXPECT_EQ(registry.FindWindowByInnerId(u"7", nullptr), 0);
    EXPECT_EQ(registry.FindWindowByInnerId(u"7", reinterpret_cast<XElement*>(0x3000)), 0);

    // Retiring B's entries leaves A's alone.
    registry.Retire(kSourceB);
    EXPECT_TRUE(registry[0].innerId == u"7");
    EXPECT_TRUE(registry[1].innerId == u"7.delete");
    EXPECT_EQ(registry[0].settings, kSourceA);
}

TEST(ChannelRegistry, RetiringTwiceRenamesOnceAndKeepsTheWindowReachable) {
    ChannelRegistry registry;
    registry.Append(Record(42, u"42", kSourceA));

    registry.Retire(kSourceA);
    registry.Retire(kSourceA);
    EXPECT_TRUE(registry[0].innerId == u"42.delete");
    EXPECT_EQ(registry.FindEntryByInnerId(u"42", kSourceA), nullptr);
    EXPECT_EQ(registry.FindWindowByInnerId(u"42", kSourceA), 0);

    ChannelRecord* retired = registry.FindEntryByWindow(42);
    ASSERT_NE(retired, nullptr);
    // The source and its settings are gone: inbound setting commands for
    // this window must find no element to write into.
    EXPECT_EQ(retired->settings, nullptr);
}

// The innerId a source holds can change after its channel was made (a pushed
// "innerId", a cancelled properties dialog): its entries are retired all the
// same, so none keeps a pointer to the settings once they are freed.
TEST(ChannelRegistry, RetiringFollowsTheOwnerNotTheInnerIdTheSourceHoldsNow) {
    ChannelRegistry registry;
    registry.Append(Record(5, u"5", kSourceA));
    registry.Append(Record(6, u"6", kSourceA));
    registry[0].innerId = u"something else";

    registry.Retire(kSourceA);
    EXPECT_EQ(registry[0].settings, nullptr);
    EXPECT_EQ(registry[1].settings, nullptr);
    EXPECT_TRUE(registry[1].innerId == u"6.delete");
}

TEST(ChannelRegistry, WindowNumberIsTheLowWordReadAsSigned) {
    EXPECT_TRUE(WindowNumberText(static_cast<WindowHandle>(0x1234)) == u"4660");
    EXPECT_TRUE(WindowNumberText(static_cast<WindowHandle>(0x80000001)) == u"-2147483647");
    EXPECT_TRUE(WindowNumberText(static_cast<WindowHandle>(0x7'FFFF'FFFFLL)) == u"-1");
    EXPECT_TRUE(WindowNumberText(0) == u"0");
}

}  // namespace
