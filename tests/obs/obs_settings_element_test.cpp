// SPDX-License-Identifier: GPL-2.0-or-later
// The settings view over libobs's obs_data_t: what the plug-in writes is
// what OBS reads back, and only a real change is noted for OBS.
//
// libobs moves an item into a larger block (brealloc, so realloc) when a
// write makes it grow. A reference to the old block released after such a
// write decrements a counter in freed memory, and destroys whichever item
// was given that block since: a noted change once vanished that way. libobs
// is built without a sanitizer and memcheck cannot run its libraries here,
// so this program's own realloc keeps every block it frees out of use,
// filled with a pattern that each test checks is still whole.
#include "obs/obs_settings_element.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <malloc.h>
#include <memory>
#include <set>
#include <string>
#include <vector>

namespace {

constexpr unsigned char kFreedByte = 0xA5;

struct FreedBlock {
    const unsigned char* bytes;
    size_t size;
};

std::vector<FreedBlock>& FreedBlocks() {
    static std::vector<FreedBlock> blocks;
    return blocks;
}

// How many bytes of the blocks realloc freed were written since.
size_t BytesWrittenAfterFree() {
    size_t written = 0;
    for (const FreedBlock& block : FreedBlocks())
        written += std::count_if(block.bytes, block.bytes + block.size, [](unsigned char b) { return b != kFreedByte; });
    return written;
}

}  // namespace

// Always moves a block it grows or shrinks, and never hands the old one out
// again.
extern "C" void* realloc(void* old, size_t size) {
    if (!old) return malloc(size);
    if (size == 0) {
        free(old);
        return nullptr;
    }
    const size_t oldSize = malloc_usable_size(old);
    void* moved = malloc(size);
    if (!moved) return nullptr;
    memcpy(moved, old, std::min(oldSize, size));
    memset(old, kFreedByte, oldSize);
    FreedBlocks().push_back({static_cast<const unsigned char*>(old), oldSize});
    return moved;
}

namespace {

struct DataRelease {
    void operator()(obs_data_t* data) const { obs_data_release(data); }
};
using DataPtr = std::unique_ptr<obs_data_t, DataRelease>;

// Settings as the core's copy holds them: the source type's defaults, and
// user values beside some of them.
DataPtr SettingsWithDefaults() {
    DataPtr data(obs_data_create());
    obs_data_set_default_int(data.get(), "color", 0xFFFFFFFF);
    obs_data_set_default_string(data.get(), "thanks_string", "感谢");
    obs_data_set_default_double(data.get(), "outlineSize", 0.0);
    obs_data_set_int(data.get(), "fontSize", 40);
    obs_data_set_string(data.get(), "room_name", "demo");
    return data;
}

class ObsSettingsView : public ::testing::Test {
protected:
    void SetUp() override { FreedBlocks().clear(); }
};

TEST_F(ObsSettingsView, WritesThatGrowAnItemAreReadBackAndEachRealChangeIsNotedOnce) {
    const DataPtr data = SettingsWithDefaults();
    ObsDataElement view(data.get(), "data");
    view.SetInt(u"fontSize", 48);  // before recording: not noted
    view.RecordChanges();

    // The first three move their item into a larger block: a first user
    // value beside a default (the colour, the fraction), a longer text. A
    // number written as text fits where it is.
    const int colour = static_cast<int>(0xFF2020CC);
    view.SetInt(u"color", colour);
    view.SetString(u"thanks_string", u"感谢$sender$赠送的$num$个$gift$，主播爱你们！");
    view.SetFloat(u"outlineSize", 2.5f);
    view.SetString(u"fontSize", u"72");
    view.SetString(u"room_name", u"demo");  // the value it holds: no change
    view.SetInt(u"innerId", 7);             // a new key
    EXPECT_EQ(view.TakeChangedKeys(),
              (std::set<std::string>{"color", "thanks_string", "outlineSize", "fontSize", "innerId"}));
    EXPECT_TRUE(view.TakeChangedKeys().empty());

    EXPECT_EQ(obs_data_get_int(data.get(), "color"), colour);
    EXPECT_STREQ(obs_data_get_string(data.get(), "thanks_string"), "感谢$sender$赠送的$num$个$gift$，主播爱你们！");
    EXPECT_EQ(obs_data_get_double(data.get(), "outlineSize"), 2.5);
    EXPECT_STREQ(obs_data_get_string(data.get(), "fontSize"), "72");
    EXPECT_EQ(view.GetInt(u"fontSize", 0), 72);
    EXPECT_EQ(view.GetInt(u"innerId", 0), 7);

    // The noted values go elsewhere whole, the way the core sends its
    // changes to OBS's own settings; writing them again notes nothing.
    const DataPtr changes(obs_data_create());
    for (const char* key : {"color", "thanks_string", "outlineSize", "fontSize"})
        view.CopyValue(key, changes.get());
    EXPECT_EQ(obs_data_get_int(changes.get(), "color"), colour);
    EXPECT_STREQ(obs_data_get_string(changes.get(), "thanks_string"), "感谢$sender$赠送的$num$个$gift$，主播爱你们！");
    EXPECT_EQ(obs_data_get_double(changes.get(), "outlineSize"), 2.5);
    EXPECT_STREQ(obs_data_get_string(changes.get(), "fontSize"), "72");
    view.SetInt(u"color", colour);
    view.SetString(u"fontSize", u"72");
    view.SetFloat(u"outlineSize", 2.5f);
    EXPECT_TRUE(view.TakeChangedKeys().empty());

    EXPECT_GE(FreedBlocks().size(), 3u) << "the writes above no longer grow libobs's items";
    EXPECT_EQ(BytesWrittenAfterFree(), 0u);
}

TEST_F(ObsSettingsView, ChildViewsFollowTheObjectNowStoredUnderTheirKey) {
    const DataPtr root(obs_data_create());
    ObsDataElement view(root.get(), "thanks");
    XElement* child = view.CreateElement(u"data");
    ASSERT_NE(child, nullptr);
    EXPECT_EQ(view.CreateElement(u"data"), child);
    child->SetString(u"room_name", u"第一个房间");

    // A fresh copy stored under the key, as the core adopts OBS's settings:
    // the view handed out before reads the new object.
    const DataPtr copy(obs_data_create());
    obs_data_set_string(copy.get(), "room_name", "第二个房间");
    obs_data_set_obj(root.get(), "data", copy.get());
    EXPECT_EQ(view.GetElement(u"data"), child);
    EXPECT_EQ(child->GetString(u"room_name", u"").ToUtf8(), "第二个房间");
    EXPECT_EQ(view.GetElement(u"missing"), nullptr);
    EXPECT_EQ(BytesWrittenAfterFree(), 0u);
}

}  // namespace
