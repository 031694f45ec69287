// SPDX-License-Identifier: GPL-2.0-or-later
// The settings form, played from a script: "ShowForm:" reads the file that
// the environment variable TAVREL_FORM names and sends the setting changes in
// it to the channel's window on the calling thread, so that the plug-in has
// applied every one of them when the call returns.
//
// Format, UTF-8, one entry a line; "#" comments and blank lines ignored:
//   int KEY VALUE      command 101 "KEY|VALUE", VALUE a decimal integer
//   string KEY TEXT    command 102 "KEY|TEXT", TEXT the rest of the line
//   color KEY VALUE    command 103 "KEY|VALUE", VALUE a decimal colour
//   result N           what "ShowForm:" returns (0 accepted, 1 cancelled,
//                      other values an error); 0 when no line sets it
//   sleep SECONDS      the form stays open that long (a decimal, at most
//                      3600), as a user who takes their time
// Lines of another shape are skipped. A script that cannot be read is an
// error (2), reported through the channel's log (command 200).
using System;
using System.Globalization;
using System.IO;
using System.Text;
using System.Threading;

namespace Tavrel
{
    static class FormScript
    {
        const int Accepted = 0;
        public const int Cancelled = 1;
        const int Failed = 2;

        public static int Show(int window, string path)
        {
            bool ascii = ChannelTable.WantsAnsiText(window);
            string text;
            try {
                text = File.ReadAllText(path, new UTF8Encoding(false));
            } catch (Exception e) when (e is IOException || e is UnauthorizedAccessException ||
                                        e is ArgumentException || e is NotSupportedException) {
                WindowSender.SendText(window, WindowSender.LogText,
                                      "Tavrel: cannot read the form script " + path + ": " + e.Message, ascii);
                return Failed;
            }
            int result = Accepted;
            foreach (string raw in text.Split('\n')) {
                string line = raw.Trim();
                if (line.Length == 0 || line[0] == '#')
                    continue;
                string[] words = line.Split(new[] { ' ', '\t' }, 3, StringSplitOptions.RemoveEmptyEntries);
                int value;
                double seconds;
                if (words.Length == 2 && words[0] == "result" && CommandDispatcher.ParseInt(words[1], out value))
                    result = value;
                else if (words.Length == 2 && words[0] == "sleep" &&
                         double.TryParse(words[1], NumberStyles.Float, CultureInfo.InvariantCulture, out seconds) &&
                         seconds >= 0 && seconds <= 3600)
                    Thread.Sleep(TimeSpan.FromSeconds(seconds));
                else if (words.Length != 3 || words[1].IndexOf('|') >= 0)
                    continue;
                else if (words[0] == "string")
                    WindowSender.SendText(window, WindowSender.SetStringSetting, words[1] + "|" + words[2].Trim(), ascii);
                else if (!CommandDispatcher.ParseInt(words[2].Trim(), out value))
                    continue;
                else if (words[0] == "int")
                    WindowSender.SendText(window, WindowSender.SetIntSetting, words[1] + "|" + value.ToString(CultureInfo.InvariantCulture), ascii);
                else if (words[0] == "color")
                    WindowSender.SendText(window, WindowSender.SetColorSetting, words[1] + "|" + value.ToString(CultureInfo.InvariantCulture), ascii);
            }
            return result;
        }
    }
}
