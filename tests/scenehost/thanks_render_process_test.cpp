// SPDX-License-Identifier: GPL-2.0-or-later
// thanks-render as a user runs it: the style preview's output line and PNG.

#include "tests/scenehost/test_support.h"

#include <gtest/gtest.h>

#include <cstdio>

namespace {

TEST(ThanksRender, PrintsTheBoxAndWritesTheTextWithInk) {
    TempFolder temp;
    const std::string png = temp.Path() + "/text.png";
    const ProcessResult result =
        RunProcess({THANKS_RENDER_PATH, "--font", "Liberation Sans", "--fontSize", "40", "--outline", "--out", png,
                    "Thanks Alice"});
    ASSERT_EQ(result.exitCode, 0) << result.err;
    float x = -1, y = -1, width = 0, height = 0;
    int textureWidth = 0, textureHeight = 0;
    ASSERT_EQ(std::sscanf(result.out.c_str(), "box %f %f %f %f texture %d %d", &x, &y, &width, &height, &textureWidth,
                          &textureHeight),
              6)
        << result.out;
    EXPECT_GT(width, 150.0f);
    EXPECT_GE(height, 40.0f);
    EXPECT_EQ(textureWidth % 2, 0);
    EXPECT_GE(textureWidth, static_cast<int>(width));
    // Transparent background, opaque text.
    EXPECT_EQ(PngPixel(png, 0, 0).value_or(1) >> 24, 0u);
    EXPECT_EQ(PngMaxAlpha(png), 255);
    EXPECT_EQ(PngPixel(png, textureWidth - 1, textureHeight - 1).has_value(), true);
}

TEST(ThanksRender, BaseSizeGrowsWithTheFontSize) {
    float small[2] = {0, 0}, large[2] = {0, 0};
    for (auto [size, out] : {std::pair{"24", small}, std::pair{"48", large}}) {
        const ProcessResult result =
            RunProcess({THANKS_RENDER_PATH, "--font", "Liberation Sans", "--fontSize", size, "--base-size", "x"});
        ASSERT_EQ(result.exitCode, 0) << result.err;
        ASSERT_EQ(std::sscanf(result.out.c_str(), "base-size %f %f", &out[0], &out[1]), 2) << result.out;
    }
    EXPECT_GT(large[0], small[0] * 1.5f);
    EXPECT_GE(large[1], 48.0f);
}

TEST(ThanksRender, RefusesBadOptions) {
    EXPECT_EQ(RunProcess({THANKS_RENDER_PATH, "--fontSize", "big", "--out", "/tmp/x.png", "text"}).exitCode, 2);
    EXPECT_EQ(RunProcess({THANKS_RENDER_PATH, "text"}).exitCode, 2);
    EXPECT_EQ(RunProcess({THANKS_RENDER_PATH, "--out", "/nonexistent-folder/x.png", "text"}).exitCode, 1);
}

}  // namespace
