// SPDX-License-Identifier: GPL-2.0-or-later
// Base-size measurement: the size rules on given boxes, and real measurements
// of the built-in hint through the shared face lookup.
#include "render/base_size.h"
#include "render/text_font.h"
#include "host/host_control.h"

#include <gtest/gtest.h>

#include <map>
#include <variant>

namespace {

const String kHint(u"设置后将开始显示答谢文字");

// A settings element holding plain values, enough for the keys measured here.
class ValueElement : public XElement {
public:
    String GetName() const override { return String(u"data"); }
    bool HasItem(CTSTR name) const override { return values.count(name) != 0; }
    int GetInt(CTSTR name, int fallback) const override {
        auto found = values.find(name);
        return found != values.end() && std::holds_alternative<int>(found->second) ? std::get<int>(found->second) : fallback;
    }
    float GetFloat(CTSTR name, float fallback) const override {
        auto found = values.find(name);
        return found != values.end() && std::holds_alternative<float>(found->second) ? std::get<float>(found->second)
                                                                                     : fallback;
    }
    String GetString(CTSTR name, CTSTR fallback) const override {
        auto found = values.find(name);
        return found != values.end() && std::holds_alternative<std::u16string>(found->second)
                   ? String(std::get<std::u16string>(found->second))
                   : String(fallback);
    }
    void SetInt(CTSTR name, int value) override { values[name] = value; }
    void SetFloat(CTSTR name, float value) override {
        values[name] = value;
        order.push_back(name);
    }
    void SetString(CTSTR name, CTSTR value) override { values[name] = std::u16string(value); }
    XElement* GetElement(CTSTR) override { return nullptr; }
    XElement* CreateElement(CTSTR) override { return nullptr; }

    std::map<std::u16string, std::variant<int, float, std::u16string>> values;
    std::vector<std::u16string> order;
};

Vect2 Measured(ValueElement& element, const String& hint = kHint) {
    MeasureBaseSize(&element, hint);
    return {element.GetFloat(u"baseSizeCX", -1.0f), element.GetFloat(u"baseSizeCY", -1.0f)};
}

TEST(BaseSizeRules, HeightIsAtLeastTheFontSizeAndBothAtLeast32) {
    EXPECT_FLOAT_EQ(ComputeBaseSize(TextBox{0, 0, 180.4f, 30.1f}, 24).x, 180.4f);
    EXPECT_FLOAT_EQ(ComputeBaseSize(TextBox{0, 0, 180.4f, 30.1f}, 24).y, 32.0f);
    EXPECT_FLOAT_EQ(ComputeBaseSize(TextBox{0, 0, 180.4f, 30.1f}, 48).y, 48.0f);
    EXPECT_FLOAT_EQ(ComputeBaseSize(TextBox{0, 0, 32.0f, 40.0f}, 10).x, 32.0f);
    EXPECT_FLOAT_EQ(ComputeBaseSize(TextBox{0, 0, 31.9f, 40.0f}, 10).x, 32.0f);
    EXPECT_FLOAT_EQ(ComputeBaseSize(TextBox{0, 0, 0.0f, 0.0f}, 48).y, 48.0f);
}

TEST(BaseSize, StoresTheHintsUnroundedSizeWidthFirst) {
    ValueElement element;
    const Vect2 size = Measured(element);
    const TextFont font = *FindTextFace(String(u"Arial"), 48, false, false);
    EXPECT_GT(size.x, 12 * 40.0f);
    EXPECT_NEAR(size.y, font.LineSpacing(), 1e-3);
    ASSERT_EQ(element.order.size(), 2u);
    EXPECT_EQ(element.order[0], u"baseSizeCX");
    EXPECT_EQ(element.order[1], u"baseSizeCY");
}

TEST(BaseSize, BoldMeasuresWiderUnderlineDoesNothingEmptyFontIsArial) {
    // Latin text, whose bold face has wider advances.
    const String latin(u"Thanks for the gifts");
    ValueElement regularLatin;
    ValueElement bold;
    bold.SetInt(u"bold", 2);
    EXPECT_GT(Measured(bold, latin).x, Measured(regularLatin, latin).x);
    ValueElement regular;
    const float regularWidth = Measured(regular).x;
    ValueElement underlined;
    underlined.SetInt(u"underline", 1);
    EXPECT_FLOAT_EQ(Measured(underlined).x, regularWidth);
    ValueElement empty;
    empty.SetString(u"font", u"");
    EXPECT_FLOAT_EQ(Measured(empty).x, regularWidth);
}

TEST(BaseSize, AFaceThatCannotBeFoundStoresNothing) {
    ValueElement element;
    element.SetString(u"font", u"No Such Face Anywhere");
    element.SetFloat(u"baseSizeCX", 77.0f);
    element.order.clear();
    SetLogToStderr(false);
    LogCapture log;
    MeasureBaseSize(&element, kHint);
    SetLogToStderr(true);
    EXPECT_TRUE(element.order.empty());
    String expected(locale->LookupString(u"Sources.TextSource.FontNotFound"));
    expected.FindReplace(u"$1", u"No Such Face Anywhere");
    EXPECT_EQ(log.Of(LogKind::MessageBox), std::vector<String>{expected});
    EXPECT_FLOAT_EQ(element.GetFloat(u"baseSizeCX", 0.0f), 77.0f);
    MeasureBaseSize(nullptr, kHint);
}

}  // namespace
