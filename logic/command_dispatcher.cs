// SPDX-License-Identifier: GPL-2.0-or-later
// The command vocabulary the plug-in speaks: each prefix is matched exactly
// (ordinal, case-sensitive); anything else is answered 0 and changes nothing.
// The streamer's controls (test:, skip:, gifts:, ...) are ThanksControls'.
using System;
using System.Globalization;

namespace Tavrel
{
    static class CommandDispatcher
    {
        public static int Dispatch(string command)
        {
            int window;
            if (command == "ASCII")
                ChannelTable.ExpectAsciiSettings();
            else if (command == "quit") {
                ChannelTable.StopAll();
                ChannelRuns.StopAll();
            }
            else if (TryArgument(command, "setPlatform:", out window))
                ChannelTable.SetPlatform(window);
            else if (TryArgument(command, "init:", out window)) {
                ChannelRuns.Reset(window);
                ChannelTable.Open(window);
            }
            else if (command.StartsWith("Set:", StringComparison.Ordinal)) {
                if (ChannelSettings.Apply(command.Substring("Set:".Length), out window))
                    ChannelRuns.SettingsChanged(window);
            }
            else if (TryArgument(command, "start:", out window)) {
                ChannelTable.SetRunning(window, true);
                ChannelRuns.Start(window);
            } else if (TryArgument(command, "stop:", out window)) {
                ChannelTable.SetRunning(window, false);
                ChannelRuns.Stop(window);
            } else if (TryArgument(command, "ShowForm:", out window))
                return ShowForm(window);
            else
                ThanksControls.Run(command);
            return 0;
        }

        // A form script named by TAVREL_FORM (tests, headless runs) is played;
        // otherwise the real form opens where there is a display, and without
        // one the form is cancelled.
        static int ShowForm(int window)
        {
            string script = Environment.GetEnvironmentVariable("TAVREL_FORM");
            if (!string.IsNullOrEmpty(script))
                return FormScript.Show(window, script);
            if (string.IsNullOrEmpty(Environment.GetEnvironmentVariable("DISPLAY"))) {
                WindowSender.SendText(window, WindowSender.LogText,
                                      "Tavrel: the settings form needs an X display (DISPLAY is not set); " +
                                      "change the settings in the source's properties instead",
                                      ChannelTable.WantsAnsiText(window));
                return FormScript.Cancelled;
            }
            return SettingsForm.Show(window);
        }

        // The command is `prefix` followed by a signed decimal integer and
        // nothing else.
        public static bool TryArgument(string command, string prefix, out int value)
        {
            value = 0;
            if (!command.StartsWith(prefix, StringComparison.Ordinal))
                return false;
            return ParseInt(command.Substring(prefix.Length), out value);
        }

        public static bool ParseInt(string text, out int value)
        {
            return int.TryParse(text, NumberStyles.AllowLeadingSign, CultureInfo.InvariantCulture, out value);
        }
    }
}
