// SPDX-License-Identifier: GPL-2.0-or-later
// Gift scripts: the room a channel replays, read from the file its
// "room_name" setting names, or built in ("demo", and "demo-loop" which
// repeats it).
//
// Format, UTF-8, one entry a line:
//   seconds|sender|gift|count|combo
//     seconds  when the gift arrives, counted from "start:" (decimal,
//              fractions allowed, not negative)
//     sender   who sent it (not empty)
//     gift     what was sent (not empty)
//     count    how many, a whole number of at least 1
//     combo    free text put in place of $combo$ (may be empty, may hold "|")
//   loop seconds
//     repeat the whole script every `seconds` (more than 0) from start
// Lines starting with "#" and blank lines are ignored; leading and trailing
// spaces of a line and of each field are dropped. A line that fits neither
// shape is skipped and counted. Events need not be in time order.
using System;
using System.Collections.Generic;
using System.Globalization;
using System.IO;
using System.Text;

namespace Tavrel
{
    sealed class GiftScript
    {
        public readonly List<GiftEvent> Events = new List<GiftEvent>();
        // Seconds between the starts of two rounds; 0 plays the script once.
        public double LoopSeconds;
        public int BadLines;

        const string Demo =
            "# a short room: three viewers, about ten seconds\n" +
            "0.5|小明|火箭|1|\n" +
            "2|Alice🌹|Rose|10|x3 combo\n" +
            "4|老王|啤酒|5|连击x2\n" +
            "6.5|Bob😀|Star|1|\n" +
            "8|小明|飞机|2|\n";

        // The script of `room`; null with `error` set when a file cannot be read.
        // A relative path is read from the folder TAVREL_ROOM_FOLDER names
        // (the headless host sets it to its scene file's folder), else from
        // the process's working folder.
        static string ScriptPath(string room)
        {
            string folder = Environment.GetEnvironmentVariable("TAVREL_ROOM_FOLDER");
            if (string.IsNullOrEmpty(folder) || Path.IsPathRooted(room))
                return room;
            return Path.Combine(folder, room);
        }

        public static GiftScript ForRoom(string room, out string error)
        {
            error = null;
            if (room == "demo")
                return Parse(Demo);
            if (room == "demo-loop") {
                GiftScript script = Parse(Demo);
                script.LoopSeconds = 10;
                return script;
            }
            try {
                return Parse(File.ReadAllText(ScriptPath(room), new UTF8Encoding(false)));
            } catch (Exception e) when (e is IOException || e is UnauthorizedAccessException ||
                                        e is ArgumentException || e is NotSupportedException) {
                error = e.Message;
                return null;
            }
        }

        public static GiftScript Parse(string text)
        {
            var script = new GiftScript();
            foreach (string raw in text.Split('\n')) {
                string line = raw.Trim();
                if (line.Length == 0 || line[0] == '#')
                    continue;
                if (!script.ParseLine(line))
                    ++script.BadLines;
            }
            // A stable sort: gifts at the same second keep their script order.
            var ordered = new List<GiftEvent>(script.Events);
            script.Events.Clear();
            for (int i = 0; i < ordered.Count; ++i) {
                int at = script.Events.Count;
                while (at > 0 && script.Events[at - 1].Seconds > ordered[i].Seconds)
                    --at;
                script.Events.Insert(at, ordered[i]);
            }
            return script;
        }

        bool ParseLine(string line)
        {
            double seconds;
            if (line.StartsWith("loop", StringComparison.Ordinal) && line.IndexOf('|') < 0) {
                string value = line.Substring(4).Trim();
                if (line.Length > 4 && !char.IsWhiteSpace(line[4]) || !ParseSeconds(value, out seconds) || seconds <= 0)
                    return false;
                LoopSeconds = seconds;
                return true;
            }
            string[] fields = line.Split(new[] { '|' }, 5);
            int count;
            if (fields.Length != 5 || !ParseSeconds(fields[0].Trim(), out seconds) ||
                !int.TryParse(fields[3].Trim(), NumberStyles.None, CultureInfo.InvariantCulture, out count) || count < 1)
                return false;
            var gift = new GiftEvent {
                Seconds = seconds, Sender = fields[1].Trim(), Gift = fields[2].Trim(), Count = count,
                Combo = fields[4].Trim(),
            };
            if (gift.Sender.Length == 0 || gift.Gift.Length == 0)
                return false;
            Events.Add(gift);
            return true;
        }

        static bool ParseSeconds(string text, out double seconds)
        {
            return double.TryParse(text, NumberStyles.AllowDecimalPoint, CultureInfo.InvariantCulture, out seconds) &&
                   !double.IsInfinity(seconds);
        }
    }
}
