// SPDX-License-Identifier: GPL-2.0-or-later
#include "render/base_size.h"

#include "render/text_font.h"

Vect2 ComputeBaseSize(const TextBox& measured, int32_t fontSize) {
    float cy = measured.height;
    if (static_cast<float>(fontSize) > cy)
        cy = static_cast<float>(fontSize);
    const float cx = measured.width > 32.0f ? measured.width : 32.0f;
    cy = cy > 32.0f ? cy : 32.0f;
    return {cx, cy};
}

void MeasureBaseSize(XElement* settings, const String& hintText) {
    if (!settings)
        return;
    const String fontName = settings->GetString(u"font", u"Arial");
    const int32_t fontSize = settings->GetInt(u"fontSize", 48);
    const bool bold = settings->GetInt(u"bold", 0) != 0;
    const bool italic = settings->GetInt(u"italic", 0) != 0;

    const std::optional<TextFont> font =
        FindTextFace(fontName.IsEmpty() ? String(u"Arial") : fontName, fontSize, bold, italic);
    if (!font) {
        String message = locale ? String(locale->LookupString(u"Sources.TextSource.FontNotFound"))
                                : String(u"Sources.TextSource.FontNotFound");
        message.FindReplace(u"$1", fontName.Array());
        OBSMessageBox(nullptr, message.Array(), nullptr, 0);
        return;
    }

    TextLayout layout(LayoutMode::Measuring);
    std::u16string_view text(hintText.Text());
    text = text.substr(0, text.find(u'\0'));
    const TextBox measured = text.empty() ? TextBox{0, 0, 0, 0} : layout.Lay(Utf16ToUtf8(text), *font, false);
    const Vect2 size = ComputeBaseSize(measured, fontSize);
    settings->SetFloat(u"baseSizeCX", size.x);
    settings->SetFloat(u"baseSizeCY", size.y);
}
