// SPDX-License-Identifier: GPL-2.0-or-later
// The settings form a streamer sees behind "ShowForm:": a modal Windows
// Forms dialog with the channel's room, thanks template, idle text, show
// time and text style, labelled in Chinese with English beside. OK sends
// every value the user changed to the channel's window (commands 101, 102
// and 103) on the calling thread, so the plug-in has applied them when the
// call returns 0; Cancel or closing the window returns 1.
//
// Windows Forms is loaded only here, on first use: a machine without it (or
// without libgdiplus) still runs everything else, and the form says why it
// cannot open in the channel's log.
using System;
using System.Collections.Generic;
using System.Drawing;
using System.Globalization;
using System.Runtime.CompilerServices;
using System.Windows.Forms;

namespace Tavrel
{
    static class SettingsForm
    {
        const int Accepted = 0;
        const int Cancelled = 1;
        const int Failed = 2;

        public static int Show(int window)
        {
            try {
                return ShowDialog(window);
            } catch (Exception e) {
                WindowSender.SendText(window, WindowSender.LogText,
                                      "Tavrel: cannot show the settings form (it needs Mono's System.Windows.Forms, " +
                                      "System.Drawing and libgdiplus): " + e.GetType().Name + ": " + e.Message,
                                      ChannelTable.WantsAnsiText(window));
                return Failed;
            }
        }

        // Kept out of line so that Windows Forms is resolved only when this
        // runs, inside Show's handler.
        [MethodImpl(MethodImplOptions.NoInlining)]
        static int ShowDialog(int window)
        {
            Dictionary<string, string> current = SettingsDialog.CurrentValues(window);
            Dictionary<string, string> chosen;
            using (var dialog = new SettingsDialog(current)) {
                if (dialog.ShowDialog() != DialogResult.OK)
                    return Cancelled;
                chosen = dialog.Chosen();
            }
            bool ascii = ChannelTable.WantsAnsiText(window);
            foreach (SettingsDialog.Field field in SettingsDialog.Fields) {
                string value = chosen[field.Key];
                if (value != current[field.Key])
                    WindowSender.SendText(window, field.Command, field.Key + "|" + value, ascii);
            }
            return Accepted;
        }
    }

    sealed class SettingsDialog : Form
    {
        public enum Kind { Text, Number, Check, Colour, FontName }

        public sealed class Field
        {
            public readonly string Key;
            public readonly string Label;
            public readonly Kind Kind;
            public readonly int Minimum, Maximum;
            public readonly string Fallback;

            public Field(string key, string label, Kind kind, string fallback, int minimum = 0, int maximum = 0)
            {
                Key = key;
                Label = label;
                Kind = kind;
                Fallback = fallback;
                Minimum = minimum;
                Maximum = maximum;
            }

            public ulong Command {
                get {
                    switch (Kind) {
                    case Kind.Text:
                    case Kind.FontName:
                        return WindowSender.SetStringSetting;
                    case Kind.Colour:
                        return WindowSender.SetColorSetting;
                    default:
                        return WindowSender.SetIntSetting;
                    }
                }
            }
        }

        // One row each, top to bottom. The fallbacks are the plug-in's own
        // defaults, for a channel that has not been sent its settings.
        public static readonly Field[] Fields = {
            new Field("room_name", "礼物来源 Gift source", Kind.Text, ""),
            new Field("thanks_string", "答谢模板 Thanks template", Kind.Text, ""),
            new Field("is_no_thanks", "显示空闲文字 Show idle text", Kind.Check, "0"),
            new Field("no_thanks_string", "空闲文字 Idle text", Kind.Text, ""),
            new Field("show_second", "显示秒数 Show for (s)", Kind.Number, "5", 0, 3600),
            new Field("font", "字体 Font", Kind.FontName, "WenQuanYi Micro Hei"),
            new Field("fontSize", "字号 Font size", Kind.Number, "48", 1, 1000),
            new Field("color", "文字颜色 Text colour", Kind.Colour, "-28672"),
            new Field("bold", "粗体 Bold", Kind.Check, "0"),
            new Field("italic", "斜体 Italic", Kind.Check, "0"),
            new Field("outline", "描边 Outline", Kind.Check, "1"),
            new Field("outlineSize", "描边宽度 Outline width", Kind.Number, "2", 1, 20),
            new Field("outlineColor", "描边颜色 Outline colour", Kind.Colour, "-16777216"),
        };

        // The layout, in pixels: a label column, a field column, one row per
        // field, then OK and Cancel at the bottom right.
        public const int RowHeight = 32, Gap = 12, LabelWidth = 200, FieldWidth = 300, ButtonWidth = 110;
        const string FaceForChinese = "WenQuanYi Micro Hei";

        readonly Dictionary<string, Control> editors = new Dictionary<string, Control>();

        public static Dictionary<string, string> CurrentValues(int window)
        {
            var values = new Dictionary<string, string>();
            lock (ChannelTable.Sync) {
                Channel channel = ChannelTable.Get(window);
                foreach (Field field in Fields)
                    values[field.Key] = channel != null ? channel.Settings.GetString(field.Key, field.Fallback) : field.Fallback;
            }
            return values;
        }

        public SettingsDialog(Dictionary<string, string> values)
        {
            Text = "答谢设置 Thanks settings";
            FormBorderStyle = FormBorderStyle.FixedDialog;
            MaximizeBox = false;
            MinimizeBox = false;
            ShowInTaskbar = true;
            StartPosition = FormStartPosition.CenterScreen;
            Font = new Font(FaceForChinese, 10f);
            ClientSize = new Size(Gap * 3 + LabelWidth + FieldWidth, Gap * 3 + RowHeight * (Fields.Length + 1));

            for (int row = 0; row < Fields.Length; ++row) {
                Field field = Fields[row];
                int y = Gap + row * RowHeight;
                Controls.Add(new Label {
                    Text = field.Label,
                    Location = new Point(Gap, y + 4),
                    Size = new Size(LabelWidth, RowHeight - 6),
                });
                Control editor = Editor(field, values[field.Key]);
                editor.Location = new Point(Gap * 2 + LabelWidth, y);
                if (editor.Width > FieldWidth || field.Kind == Kind.Text || field.Kind == Kind.FontName)
                    editor.Width = FieldWidth;
                editors[field.Key] = editor;
                Controls.Add(editor);
            }

            int buttonsY = Gap * 2 + RowHeight * Fields.Length;
            var ok = new Button {
                Text = "确定 OK",
                DialogResult = DialogResult.OK,
                Location = new Point(ClientSize.Width - Gap * 2 - ButtonWidth * 2, buttonsY),
                Size = new Size(ButtonWidth, RowHeight),
            };
            var cancel = new Button {
                Text = "取消 Cancel",
                DialogResult = DialogResult.Cancel,
                Location = new Point(ClientSize.Width - Gap - ButtonWidth, buttonsY),
                Size = new Size(ButtonWidth, RowHeight),
            };
            Controls.Add(ok);
            Controls.Add(cancel);
            AcceptButton = ok;
            CancelButton = cancel;
        }

        static Control Editor(Field field, string value)
        {
            int number;
            bool isNumber = CommandDispatcher.ParseInt(value, out number);
            switch (field.Kind) {
            case Kind.Number:
                return new NumericUpDown {
                    Minimum = field.Minimum,
                    Maximum = field.Maximum,
                    Value = Math.Max(field.Minimum, Math.Min(field.Maximum, isNumber ? number : field.Minimum)),
                    Width = 120,
                };
            case Kind.Check:
                return new CheckBox { Checked = isNumber && number != 0, Width = 40 };
            case Kind.Colour:
                return ColourButton(isNumber ? number : 0);
            case Kind.FontName:
                return FontBox(value);
            default:
                return new TextBox { Text = value };
            }
        }

        // A swatch of the colour; a click opens the colour picker.
        static Button ColourButton(int argb)
        {
            var button = new Button { BackColor = Color.FromArgb(argb | unchecked((int)0xFF000000)), Width = 120 };
            button.Click += (sender, e) => {
                using (var picker = new ColorDialog { Color = button.BackColor, FullOpen = true }) {
                    if (picker.ShowDialog() == DialogResult.OK)
                        button.BackColor = picker.Color;
                }
            };
            return button;
        }

        // The installed families to choose from; a face typed in that is not
        // installed is kept as typed.
        static ComboBox FontBox(string face)
        {
            var box = new ComboBox { DropDownStyle = ComboBoxStyle.DropDown };
            var names = new List<string>();
            foreach (FontFamily family in FontFamily.Families)
                names.Add(family.Name);
            names.Sort(StringComparer.CurrentCulture);
            box.Items.AddRange(names.ToArray());
            box.Text = face;
            return box;
        }

        // The values in the form, as the commands carry them.
        public Dictionary<string, string> Chosen()
        {
            var values = new Dictionary<string, string>();
            foreach (Field field in Fields) {
                Control editor = editors[field.Key];
                switch (field.Kind) {
                case Kind.Number:
                    values[field.Key] = ((int)((NumericUpDown)editor).Value).ToString(CultureInfo.InvariantCulture);
                    break;
                case Kind.Check:
                    values[field.Key] = ((CheckBox)editor).Checked ? "1" : "0";
                    break;
                case Kind.Colour:
                    values[field.Key] = editor.BackColor.ToArgb().ToString(CultureInfo.InvariantCulture);
                    break;
                default:
                    values[field.Key] = editor.Text;
                    break;
                }
            }
            return values;
        }
    }
}
