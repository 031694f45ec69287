// A channel's thanks, the same for replayed and for posted gifts. Gifts are
// offered from any thread; a thread of the channel's own, running from
// "start:" to "stop:", sends the texts to the plug-in as command 1:
//   - each thanks is the channel's "thanks_string" with $sender$, $num$,
//     $gift$ and $combo$ filled in, shown for "show_second" seconds; thanks
//     wait in arrival order and none is cut short by a later one. With
//     "show_second" 0 or less a thanks stays until the next one is ready.
//   - between thanks the channel shows "no_thanks_string" when
//     "is_no_thanks" is 1, and no text otherwise. "No text" is sent as one
//     blank: the plug-in keeps drawing the last text when it gets an empty
//     one, and draws a blank, trimmed, as nothing.
//   - with "RandomColor" on, each thanks gets a colour of ThanksColors
//     (command 203) and the idle text the channel's own "color".
// What is thanked at all, the delay and merging are ThanksQueue's, read from
// the settings as they stand when a gift arrives; how a thanks is shown is
// read when it is shown. So a "Set:" applies from the next gift or text on.
//
// The queue outlives "stop:": thanks still waiting when the scene is left
// are shown when it is shown again. "init:" of the window or "quit" ends
// the engine and what waits in it.
//
// The thread sends with SendMessageW, which blocks until the plug-in's
// thread pumps, so it never holds the engine's lock while sending, and
// "stop:" does not wait for it: a text already on its way is still
// delivered, no later one is sent.
using System;
using System.Collections.Generic;
using System.Diagnostics;
using System.Globalization;
using System.Text.RegularExpressions;
using System.Threading;

namespace Tavrel
{
    sealed class GiftEngine
    {
        static readonly Regex placeholder = new Regex(@"\$(sender|num|gift|combo)\$", RegexOptions.CultureInvariant);

        readonly int window;
        readonly Channel channel;
        readonly object sync = new object();
        readonly Stopwatch clock = Stopwatch.StartNew();
        readonly ThanksQueue queue = new ThanksQueue();
        readonly ThanksColors colors = new ThanksColors();
        readonly Queue<string> logLines = new Queue<string>();
        // The running thread's token; null while stopped.
        object running;
        string showing = "";
        long received;
        // The record folder whose failure was last logged, so that a folder
        // that cannot be written is reported once, not with every gift.
        string failedRecordFolder;

        public GiftEngine(int window, Channel channel)
        {
            this.window = window;
            this.channel = channel;
        }

        public int Window {
            get { return window; }
        }

        // ---- Gifts in ----

        sealed class ArrivalSettings
        {
            public GiftRules Rules = new GiftRules();
            // null unless the channel keeps a record.
            public string RecordFolder;
        }

        ArrivalSettings ReadArrivalSettings()
        {
            lock (ChannelTable.Sync) {
                ChannelSettings settings = channel.Settings;
                var now = new ArrivalSettings();
                now.Rules.UseThanks = settings.GetInt("is_use_thanks", 1) != 0;
                now.Rules.MinValue = settings.GetInt("gift_limit_mode", 1);
                now.Rules.DelaySeconds = settings.GetInt("delay_show_second", 5);
                if (settings.GetInt("is_save_record", 0) == 1)
                    now.RecordFolder = settings.GetString("save_folder", "");
                return now;
            }
        }

        // True when `gifts` would add a thanks to a full queue; the caller
        // then refuses them all and the sender posts them again later.
        public bool WouldOverflow(IList<GiftEvent> gifts)
        {
            ArrivalSettings settings = ReadArrivalSettings();
            lock (sync)
                return queue.WouldOverflow(gifts, settings.Rules, clock.Elapsed.TotalSeconds);
        }

        // Takes `gifts`, even into a full queue, and records them.
        public void Offer(IList<GiftEvent> gifts)
        {
            ArrivalSettings settings = ReadArrivalSettings();
            DateTime arrived = DateTime.Now;
            var recorded = new List<RecordedGift>(gifts.Count);
            lock (sync) {
                double now = clock.Elapsed.TotalSeconds;
                foreach (GiftEvent gift in gifts) {
                    GiftOutcome outcome = queue.Offer(gift, settings.Rules, now);
                    recorded.Add(new RecordedGift { Gift = gift, Outcome = outcome, Arrived = arrived });
                }
                received += gifts.Count;
                Monitor.PulseAll(sync);
            }
            if (settings.RecordFolder != null)
                Record(settings.RecordFolder, recorded);
        }

        void Record(string folder, List<RecordedGift> recorded)
        {
            string error = folder.Length == 0 ? "no record folder is set" : GiftRecord.Append(folder, recorded);
            lock (sync) {
                if (error == null) {
                    if (failedRecordFolder == folder)
                        failedRecordFolder = null;
                    return;
                }
                if (failedRecordFolder == folder)
                    return;
                failedRecordFolder = folder;
            }
            Log("Tavrel: channel " + window + ": cannot write the gift record in \"" + folder + "\": " + error +
                "; the gifts are still thanked");
        }

        // Seconds a refused sender should wait: about one thanks' time.
        public int RetryAfterSeconds {
            get {
                lock (ChannelTable.Sync)
                    return Math.Max(1, channel.Settings.GetInt("show_second", 10));
            }
        }

        // What the gift endpoint reports of the channel.
        public void Snapshot(out int queued, out string shown, out long total)
        {
            lock (sync) {
                queued = queue.Count;
                shown = showing;
                total = received;
            }
        }

        // A line for the host's log, sent by the engine's thread (or at once
        // by the next "start:"), so that no caller waits for the plug-in.
        public void Log(string line)
        {
            lock (sync) {
                logLines.Enqueue(line);
                Monitor.PulseAll(sync);
            }
        }

        // ---- Texts out ----

        // How the channel's texts are shown, as its settings stand now.
        sealed class Presentation
        {
            public string ThanksTemplate;
            public bool ShowIdle;
            public string IdleText;
            public double ShowSeconds;
            public bool Ascii;
            public bool RandomColor;
            public int RandomMode;
            public int Color;
        }

        Presentation Current()
        {
            lock (ChannelTable.Sync) {
                ChannelSettings settings = channel.Settings;
                var now = new Presentation {
                    ThanksTemplate = settings.GetString("thanks_string", ""),
                    ShowIdle = settings.GetInt("is_no_thanks", 0) == 1,
                    ShowSeconds = settings.GetInt("show_second", 10),
                    Ascii = channel.Ascii,
                    RandomColor = settings.GetInt("RandomColor", 0) != 0,
                    RandomMode = settings.GetInt("RandomModeType", 0),
                    Color = settings.GetInt("color", unchecked((int)0xFFFF9000)),
                };
                now.IdleText = now.ShowIdle ? settings.GetString("no_thanks_string", "") : "";
                if (now.IdleText.Length == 0)
                    now.IdleText = " ";
                return now;
            }
        }

        public static string Fill(string template, GiftEvent gift)
        {
            return placeholder.Replace(template, match => {
                switch (match.Groups[1].Value) {
                case "sender": return gift.Sender;
                case "num": return gift.Count.ToString(CultureInfo.InvariantCulture);
                case "gift": return gift.Gift;
                default: return gift.Combo;
                }
            });
        }

        public void Start()
        {
            var token = new object();
            lock (sync) {
                running = token;
                Monitor.PulseAll(sync);
            }
            var thread = new Thread(() => Run(token)) { IsBackground = true, Name = "Tavrel thanks " + window };
            thread.Start();
        }

        public void Stop()
        {
            lock (sync) {
                running = null;
                Monitor.PulseAll(sync);
            }
        }

        enum Step { Quit, Log, Thanks, Idle }

        void Run(object token)
        {
            try {
                Show(token);
            } catch (Exception e) {
                // Nothing thrown here may end the host's process.
                Console.Error.WriteLine("Tavrel: channel " + window + ": the thanks thread failed: " + e);
            }
        }

        void Show(object token)
        {
            Presentation first = Current();
            if (first.ShowIdle && !SendIdle(token, first))
                return;
            // A thanks on screen may not be replaced before `keepUntil` and
            // gives way to the idle text at `hideAt`.
            bool thanksShown = false;
            double keepUntil = double.NegativeInfinity, hideAt = double.PositiveInfinity;
            while (true) {
                Step step;
                string line = null;
                WaitingThanks next = null;
                lock (sync) {
                    while (true) {
                        if (running != token) {
                            step = Step.Quit;
                            break;
                        }
                        if (logLines.Count > 0) {
                            step = Step.Log;
                            line = logLines.Dequeue();
                            break;
                        }
                        double at = clock.Elapsed.TotalSeconds;
                        if (at >= keepUntil && (next = queue.TakeReady(at)) != null) {
                            step = Step.Thanks;
                            break;
                        }
                        if (thanksShown && at >= hideAt) {
                            step = Step.Idle;
                            break;
                        }
                        double wake = Math.Min(Math.Max(queue.NextReadyAt, keepUntil), thanksShown ? hideAt : double.PositiveInfinity);
                        Monitor.Wait(sync, TimeSpan.FromSeconds(Math.Max(0.001, Math.Min(wake - at, 3600))));
                    }
                }
                if (step == Step.Quit)
                    return;
                if (step == Step.Log) {
                    if (!Send(token, WindowSender.LogText, line, Current().Ascii))
                        return;
                    continue;
                }
                Presentation now = Current();
                if (step == Step.Idle) {
                    if (!SendIdle(token, now))
                        return;
                    thanksShown = false;
                    keepUntil = double.NegativeInfinity;
                    hideAt = double.PositiveInfinity;
                    continue;
                }
                if (now.RandomColor &&
                    !Send(token, WindowSender.SetRandomForeColor, colors.Next(now.RandomMode).ToString(CultureInfo.InvariantCulture), now.Ascii))
                    return;
                string text = Fill(now.ThanksTemplate, next.Gift);
                if (!Send(token, WindowSender.ShowText, text, now.Ascii))
                    return;
                double shownAt = clock.Elapsed.TotalSeconds;
                thanksShown = true;
                keepUntil = now.ShowSeconds > 0 ? shownAt + now.ShowSeconds : shownAt;
                hideAt = now.ShowSeconds > 0 ? keepUntil : double.PositiveInfinity;
            }
        }

        bool SendIdle(object token, Presentation now)
        {
            if (now.RandomColor &&
                !Send(token, WindowSender.SetRandomForeColor, now.Color.ToString(CultureInfo.InvariantCulture), now.Ascii))
                return false;
            return Send(token, WindowSender.ShowText, now.IdleText, now.Ascii);
        }

        // False once the thread's run has ended.
        bool Send(object token, ulong command, string text, bool ascii)
        {
            lock (sync) {
                if (running != token)
                    return false;
                if (command == WindowSender.ShowText)
                    showing = text == " " ? "" : text;
            }
            WindowSender.SendText(window, command, text, ascii);
            return true;
        }
    }
}
