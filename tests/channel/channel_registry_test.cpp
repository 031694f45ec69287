#include "channel/channel_registry.h"

#include <gtest/gtest.h>

namespace {

ChannelRecord Record(WindowHandle window, const String& innerId) {
    ChannelRecord record;
    record.window = window;
    record.innerId = innerId;
    record.redraw = 1;
    return record;
}

TEST(ChannelRegistry, EmptyRegistryFindsNothingAndRetiresNothing) {
    ChannelRegistry registry;
    EXPECT_EQ(registry.FindWindowByInnerId(u"1"), 0);
    EXPECT_EQ(registry.FindEntryByInnerId(u"1"), nullptr);
    EXPECT_EQ(registry.FindEntryByWindow(1), nullptr);
    registry.Retire(u"1");
    EXPECT_EQ(registry.Size(), 0u);
}

TEST(ChannelRegistry, DuplicateInnerIdsResolveToTheFirstAndRetireTogether) {
    ChannelRegistry registry;
    registry.Append(Record(11, u"7"));
    registry.Append(Record(22, u"7"));
    size_t position = 99;
    ASSERT_EQ(registry.FindEntryByInnerId(u"7", &position), &registry[0]);
    EXPECT_EQ(position, 0u);
    EXPECT_EQ(registry.FindWindowByInnerId(u"7"), 11);

    registry.Retire(u"7");
    EXPECT_TRUE(registry[0].innerId == u"7.delete");
    EXPECT_TRUE(registry[1].innerId == u"7.delete");
}

TEST(ChannelRegistry, RetiringTwiceRenamesOnceAndKeepsTheWindowReachable) {
    ChannelRegistry registry;
    ChannelRecord record = Record(42, u"42");
    XElement* someSettings = reinterpret_cast<XElement*>(&registry);  // never dereferenced
    record.settings = someSettings;
    registry.Append(record);

    registry.Retire(u"42");
    registry.Retire(u"42");
    EXPECT_TRUE(registry[0].innerId == u"42.delete");
    EXPECT_EQ(registry.FindEntryByInnerId(u"42"), nullptr);
    EXPECT_EQ(registry.FindWindowByInnerId(u"42"), 0);

    ChannelRecord* retired = registry.FindEntryByWindow(42);
    ASSERT_NE(retired, nullptr);
    // The source and its settings are gone: inbound setting commands for
    // this window must find no element to write into.
    EXPECT_EQ(retired->settings, nullptr);
}

TEST(ChannelRegistry, WindowNumberIsTheLowWordReadAsSigned) {
    EXPECT_TRUE(WindowNumberText(static_cast<WindowHandle>(0x1234)) == u"4660");
    EXPECT_TRUE(WindowNumberText(static_cast<WindowHandle>(0x80000001)) == u"-2147483647");
    EXPECT_TRUE(WindowNumberText(static_cast<WindowHandle>(0x7'FFFF'FFFFLL)) == u"-1");
    EXPECT_TRUE(WindowNumberText(0) == u"0");
}

}  // namespace
