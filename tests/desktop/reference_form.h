// SPDX-License-Identifier: GPL-2.0-or-later
// Where a user clicks on the reference assembly's settings form: its title
// and, in the form's own coordinates, its rows and buttons as
// logic/settings_form.cs lays them out (rows of 32 px from 12 px down, the
// fields 224 px in, OK and Cancel at the bottom right of a 536 px wide form).
#pragma once

namespace reference_form {

// The English half of the title "答谢设置 Thanks settings".
inline constexpr const char* kTitle = "Thanks settings";

inline constexpr int kFieldX = 260;
inline constexpr int RowY(int row) { return 12 + row * 32 + 12; }
inline constexpr int kTemplateRow = 1, kFontSizeRow = 6;
inline constexpr int kOkX = 347, kCancelX = 469, kButtonsY = 456;

}  // namespace reference_form
