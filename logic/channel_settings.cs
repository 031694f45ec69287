// SPDX-License-Identifier: GPL-2.0-or-later
// A channel's settings as the "Set:" command carries them: the window number
// and then 30 values, separated by "{|}", in the order of Keys. Values are
// kept as the text received; integers are read from it on use.
//
// Text values are not escaped by the sender, so a value that itself holds
// "{|}" yields more fields than expected: the fields are assigned to Keys in
// order and the surplus is dropped. A message with fewer fields sets only
// the keys it reaches.
using System;
using System.Collections.Generic;

namespace Tavrel
{
    sealed class ChannelSettings
    {
        public const string Separator = "{|}";

        public static readonly string[] Keys = {
            "font", "color", "fontSize", "textOpacity", "backgroundColor", "backgroundOpacity",
            "RandomColor", "RandomModeType", "bold", "italic", "underline", "outline",
            "outlineOpacity", "outlineColor", "outlineSize", "room_name", "thanks_string",
            "no_thanks_string", "show_second", "show_size", "is_no_thanks", "is_use_toolbox",
            "is_save_record", "save_folder", "gift_limit_mode", "delay_show_second",
            "is_use_thanks", "is_use_answer", "answer_lines", "answer_second",
        };

        readonly Dictionary<string, string> values = new Dictionary<string, string>();

        // `body` is the command after "Set:"; `window` the window whose
        // settings it stored. A body whose window number does not parse is
        // ignored (false).
        public static bool Apply(string body, out int window)
        {
            string[] fields = body.Split(new[] { Separator }, StringSplitOptions.None);
            if (!CommandDispatcher.ParseInt(fields[0], out window))
                return false;
            ChannelTable.StoreSettings(window, fields, 1);
            WindowSender.AnnounceTextMode(window);
            return true;
        }

        public void Assign(string[] fields, int first)
        {
            for (int i = 0; i < Keys.Length && first + i < fields.Length; ++i)
                values[Keys[i]] = fields[first + i];
        }

        public string GetString(string key, string fallback)
        {
            string value;
            return values.TryGetValue(key, out value) ? value : fallback;
        }

        public int GetInt(string key, int fallback)
        {
            int value;
            return CommandDispatcher.ParseInt(GetString(key, ""), out value) ? value : fallback;
        }
    }
}
