// Replays a channel's room after "start:": each gift becomes the thanks text
// of the channel's "thanks_string" with $sender$, $num$, $gift$ and $combo$
// filled in, sent as command 1 from a timer thread of the channel's own and
// shown for "show_second" seconds (until the next gift when that is 0 or
// less). While nothing is being thanked the channel shows "no_thanks_string"
// when "is_no_thanks" is 1, and no text otherwise. "No text" is sent as one
// blank: the plug-in keeps drawing the last text when it gets an empty one,
// and draws a blank, trimmed, as nothing.
//
// The room is read at "start:"; a later "Set:" that names another room
// starts the new room's replay at once. The template, the idle text and the
// show time are read whenever a text is due, so a later "Set:" applies from
// the next text on. "stop:" and "quit" end the replay without waiting
// for its thread, which may be blocked in SendMessageW until the plug-in's
// thread pumps: a text already on its way then is still delivered, no later
// one is sent.
using System;
using System.Collections.Generic;
using System.Diagnostics;
using System.Text.RegularExpressions;
using System.Threading;

namespace Tavrel
{
    sealed class GiftReplay
    {
        static readonly object registrySync = new object();
        static readonly Dictionary<int, GiftReplay> running = new Dictionary<int, GiftReplay>();
        static readonly Regex placeholder = new Regex(@"\$(sender|num|gift|combo)\$", RegexOptions.CultureInvariant);

        readonly object sync = new object();
        bool stopped;
        readonly int window;
        readonly Channel channel;
        readonly string room;
        readonly GiftScript script;

        GiftReplay(int window, Channel channel, string room, GiftScript script)
        {
            this.window = window;
            this.channel = channel;
            this.room = room;
            this.script = script;
        }

        // How the channel's texts are shown, as its settings stand now.
        sealed class Presentation
        {
            public string ThanksTemplate;
            public bool ShowIdle;
            public string IdleText;
            public double ShowSeconds;
            public bool Ascii;
        }

        Presentation Current()
        {
            lock (ChannelTable.Sync) {
                ChannelSettings settings = channel.Settings;
                var now = new Presentation {
                    ThanksTemplate = settings.GetString("thanks_string", ""),
                    ShowIdle = settings.GetInt("is_no_thanks", 0) == 1,
                    ShowSeconds = settings.GetInt("show_second", 0),
                    Ascii = channel.Ascii,
                };
                now.IdleText = now.ShowIdle ? settings.GetString("no_thanks_string", "") : "";
                if (now.IdleText.Length == 0)
                    now.IdleText = " ";
                return now;
            }
        }

        // Called on the plug-in's thread with "start:": logs the start through
        // the channel (command 200) and starts the room's replay, ending any
        // earlier one of the window.
        public static void Start(int window)
        {
            Stop(window);
            Channel channel = ChannelTable.Get(window);
            if (channel == null)
                return;
            GiftReplay replay = null;
            string report;
            bool ascii;
            lock (ChannelTable.Sync) {
                ascii = channel.Ascii;
                string room = channel.Settings.GetString("room_name", "");
                if (room.Length == 0) {
                    report = "no room";
                } else {
                    string error;
                    GiftScript script = GiftScript.ForRoom(room, out error);
                    if (script == null) {
                        report = "room " + room + ": cannot read the gift script: " + error;
                    } else {
                        report = "room " + room + ", " + script.Events.Count + " gifts" +
                                 (script.LoopSeconds > 0 ? ", repeated every " + script.LoopSeconds + " s" : "") +
                                 (script.BadLines > 0 ? ", " + script.BadLines + " bad lines skipped" : "");
                        replay = new GiftReplay(window, channel, room, script);
                    }
                }
            }
            WindowSender.SendText(window, WindowSender.LogText,
                                  "Tavrel: channel " + window + " started, " + report, ascii);
            if (replay == null)
                return;
            lock (registrySync)
                running[window] = replay;
            var thread = new Thread(replay.Run) { IsBackground = true, Name = "Tavrel replay " + window };
            thread.Start();
        }

        // Called with every "Set:": a running channel whose room changed
        // replays the new one.
        public static void SettingsChanged(int window)
        {
            GiftReplay replay;
            lock (registrySync) {
                if (!running.TryGetValue(window, out replay))
                    return;
            }
            string room;
            lock (ChannelTable.Sync)
                room = replay.channel.Settings.GetString("room_name", "");
            if (room != replay.room)
                Start(window);
        }

        public static void Stop(int window)
        {
            GiftReplay replay;
            lock (registrySync) {
                if (!running.TryGetValue(window, out replay))
                    return;
                running.Remove(window);
            }
            replay.End();
        }

        public static void StopAll()
        {
            List<GiftReplay> all;
            lock (registrySync) {
                all = new List<GiftReplay>(running.Values);
                running.Clear();
            }
            foreach (GiftReplay replay in all)
                replay.End();
        }

        public static string Fill(string template, GiftEvent gift)
        {
            return placeholder.Replace(template, match => {
                switch (match.Groups[1].Value) {
                case "sender": return gift.Sender;
                case "num": return gift.Count.ToString(System.Globalization.CultureInfo.InvariantCulture);
                case "gift": return gift.Gift;
                default: return gift.Combo;
                }
            });
        }

        void End()
        {
            lock (sync) {
                stopped = true;
                Monitor.PulseAll(sync);
            }
        }

        // The timeline: a gift's text at its time, the idle text when its
        // show time has run out before the next gift.
        void Run()
        {
            var clock = Stopwatch.StartNew();
            List<GiftEvent> events = script.Events;
            Presentation first = Current();
            if (first.ShowIdle && !Show(first.IdleText, first.Ascii))
                return;
            int round = 0, next = 0;
            double hideAt = double.PositiveInfinity;
            while (events.Count > 0) {
                if (next == events.Count && script.LoopSeconds > 0) {
                    ++round;
                    next = 0;
                }
                double giftAt = next < events.Count ? round * script.LoopSeconds + events[next].Seconds
                                                    : double.PositiveInfinity;
                double at = Math.Min(giftAt, hideAt);
                if (double.IsPositiveInfinity(at) || !WaitUntil(clock, at))
                    return;
                bool sent;
                Presentation now = Current();
                if (giftAt <= hideAt) {
                    sent = Show(Fill(now.ThanksTemplate, events[next++]), now.Ascii);
                    hideAt = now.ShowSeconds > 0 ? giftAt + now.ShowSeconds : double.PositiveInfinity;
                } else {
                    sent = Show(now.IdleText, now.Ascii);
                    hideAt = double.PositiveInfinity;
                }
                if (!sent)
                    return;
            }
        }

        bool WaitUntil(Stopwatch clock, double seconds)
        {
            lock (sync) {
                while (!stopped) {
                    double left = seconds - clock.Elapsed.TotalSeconds;
                    if (left <= 0)
                        break;
                    Monitor.Wait(sync, TimeSpan.FromSeconds(Math.Min(left, 3600)));
                }
                return !stopped;
            }
        }

        // False once the replay has ended.
        bool Show(string text, bool ascii)
        {
            lock (sync) {
                if (stopped)
                    return false;
            }
            WindowSender.SendText(window, WindowSender.ShowText, text, ascii);
            return true;
        }
    }
}
