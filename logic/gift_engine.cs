// SPDX-License-Identifier: GPL-2.0-or-later
// A channel's thanks, the same for replayed and for posted gifts. Gifts are
// offered from any thread; a thread of the channel's own, running from
// "start:" to "stop:", sends the texts to the plug-in as command 1:
//   - each thanks is the channel's "thanks_string" with $sender$, $num$,
//     $gift$ and $combo$ filled in, shown for "show_second" seconds; thanks
//     wait in arrival order and none is cut short by a later one. With
//     "show_second" 0 or less a thanks stays until the next one is ready.
//     Once it has been delivered, command 302 (ThanksShown) with the same
//     text is queued to follow it.
//   - between thanks the channel shows "no_thanks_string" when
//     "is_no_thanks" is 1, and no text otherwise. "No text" is sent as one
//     blank: the plug-in keeps drawing the last text when it gets an empty
//     one, and draws a blank, trimmed, as nothing.
//   - with "RandomColor" on, each thanks gets a colour of ThanksColors
//     (command 203) and the idle text the channel's own "color".
//   - every gift taken is announced as command 301 (GiftReceived) with its
//     number, "gift_id" (KeptGifts); a gift left out as a duplicate, or one
//     of a batch refused because the queue is full, is announced too, with
//     no number. 301 and 302 go out in order from the channel's
//     EventSender, a thread of its own. Log lines go out as command 200.
// What is thanked at all, the delay and merging are ThanksQueue's, read from
// the settings as they stand when a gift arrives; how a thanks is shown is
// read when it is shown. So a "Set:" applies from the next gift or text on.
//
// The streamer's controls act on the engine from the plug-in's thread: a
// test gift, a kept gift thanked again, skip (the thanks on screen ends
// now), pause and resume (while paused no thanks starts; gifts are still
// taken and wait), clear (the waiting thanks are dropped and recorded as
// such).
//
// The queue and the pause outlive "stop:": thanks still waiting when the
// scene is left are shown when it is shown again. "init:" of the window or
// "quit" ends the engine and what waits in it.
//
// The thread sends with SendMessageW, which blocks until the plug-in's
// thread pumps, so it never holds the engine's lock while sending, and
// "stop:" does not wait for it: a text already on its way is still
// delivered, no later one is sent. A host that pumps once a frame takes one
// message a frame from it, so it sends nothing but the texts, their colours
// and the log: the announcements, which may lag, go from the EventSender
// and never hold a thanks back.
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
        // Why the engine refuses what a control offers.
        public const string HiddenError = "the source is hidden: gifts are taken while it is shown";
        public const string HiddenTestError = "the source is hidden: a test gift is shown while the source is shown";
        public const string HiddenAgainError = "the source is hidden: a gift is thanked again while the source is shown";

        static string FullError(int retrySeconds)
        {
            return "the thanks queue is full; send again in " + retrySeconds + " seconds";
        }

        static string NotKeptError(long giftId, KeptGifts kept)
        {
            string why = kept.Last == 0
                ? "the channel has taken no gift yet"
                : "the channel keeps its last " + KeptGifts.Capacity + " gifts, now gift_id " + kept.First + " to " + kept.Last;
            return "gift_id " + giftId + " is not kept: " + why;
        }

        static readonly Regex placeholder = new Regex(@"\$(sender|num|gift|combo)\$", RegexOptions.CultureInvariant);

        readonly int window;
        readonly Channel channel;
        readonly object sync = new object();
        readonly Stopwatch clock = Stopwatch.StartNew();
        readonly ThanksQueue queue = new ThanksQueue();
        readonly ThanksColors colors = new ThanksColors();
        readonly Queue<string> logLines = new Queue<string>();
        readonly EventSender events;
        // The event ids of the gifts the channel took lately, whichever way
        // they came.
        readonly RecentIds ids = new RecentIds();
        // The gifts taken, numbered, the latest kept for "again".
        readonly KeptGifts kept = new KeptGifts();
        // The running thread's token; null while stopped.
        object running;
        bool paused;
        string showing = "";
        long received;
        // The thanks on screen, as the running thread last sent it: it may
        // not be replaced before `keepUntil` and gives way to the idle text
        // at `hideAt`. Skip moves both to now.
        bool thanksOnScreen;
        double keepUntil, hideAt;
        // The record folder whose failure was last logged, so that a folder
        // that cannot be written is reported once, not with every gift.
        string failedRecordFolder;

        public GiftEngine(int window, Channel channel)
        {
            this.window = window;
            this.channel = channel;
            events = new EventSender(window, channel, Log);
        }

        public int Window {
            get { return window; }
        }

        public bool Running {
            get {
                lock (sync)
                    return running != null;
            }
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

        // Whether the channel took a gift with this event id lately.
        public bool HasTaken(string id)
        {
            lock (sync)
                return ids.Contains(id);
        }

        // Takes `gifts`, even into a full queue, and records them; those in
        // `duplicates`, left out for their event id, are only announced.
        public void Offer(IList<GiftEvent> gifts, ICollection<GiftEvent> duplicates = null)
        {
            ArrivalSettings settings = ReadArrivalSettings();
            List<RecordedGift> recorded;
            lock (sync)
                recorded = Take(gifts, duplicates, settings.Rules);
            Record(settings.RecordFolder, recorded);
        }

        // Announces `gifts` as refused: a post of them was refused whole
        // because a queue was full. Nothing else changes.
        public void Refuse(IList<GiftEvent> gifts)
        {
            lock (sync)
                AnnounceRefused(gifts);
        }

        // Under the lock, in order with the gifts taken.
        void AnnounceRefused(IList<GiftEvent> gifts)
        {
            DateTime now = DateTime.Now;
            foreach (GiftEvent gift in gifts)
                events.Announce(new RecordedGift { Gift = gift, Outcome = GiftOutcome.Refused, Arrived = now });
        }

        // Takes the gifts of a control command whole or not at all: those
        // whose id the channel took lately are left out. Null when they were
        // taken, else why not; gifts refused for a full queue are announced
        // as such.
        public string OfferBatch(IList<GiftEvent> gifts, out int accepted, out int duplicates)
        {
            accepted = duplicates = 0;
            ArrivalSettings settings = ReadArrivalSettings();
            int retrySeconds = RetryAfterSeconds;
            List<RecordedGift> recorded;
            lock (sync) {
                if (running == null)
                    return HiddenError;
                var fresh = new List<GiftEvent>(gifts.Count);
                var leftOut = new HashSet<GiftEvent>();
                var inBatch = new HashSet<string>();
                foreach (GiftEvent gift in gifts) {
                    if (gift.Id == null || !ids.Contains(gift.Id) && inBatch.Add(gift.Id))
                        fresh.Add(gift);
                    else
                        leftOut.Add(gift);
                }
                if (queue.WouldOverflow(fresh, settings.Rules, clock.Elapsed.TotalSeconds)) {
                    AnnounceRefused(fresh);
                    return FullError(retrySeconds);
                }
                recorded = Take(gifts, leftOut, settings.Rules);
                accepted = fresh.Count;
                duplicates = leftOut.Count;
            }
            Record(settings.RecordFolder, recorded);
            return null;
        }

        // The streamer's test gift, thanked like any gift but never filtered,
        // merged or counted as received. Null when it was taken (`after` the
        // state then), else why not.
        public string OfferTest(GiftEvent gift, out ThanksState after)
        {
            after = null;
            ArrivalSettings settings = ReadArrivalSettings();
            int retrySeconds = RetryAfterSeconds;
            var recorded = new RecordedGift { Gift = gift, Arrived = DateTime.Now };
            lock (sync) {
                // Queued while hidden, it would surprise the streamer on air later.
                if (running == null)
                    return HiddenTestError;
                if (queue.IsFull)
                    return FullError(retrySeconds);
                double dueBefore = queue.NextReadyAt;
                recorded.Outcome = queue.OfferTest(gift, clock.Elapsed.TotalSeconds);
                recorded.GiftId = kept.Add(gift);
                events.Announce(recorded);
                WakeIfDueChanged(dueBefore);
                after = StateNow();
            }
            Record(settings.RecordFolder, new[] { recorded });
            return null;
        }

        // A gift kept by the engine thanked again, as its thanks showed it
        // (with the template as it stands now), like a test gift: never
        // filtered, merged, counted, recorded or announced as a new gift.
        // Null when it was queued (`after` the state then), else why not.
        public string OfferAgain(long giftId, out ThanksState after)
        {
            after = null;
            int retrySeconds = RetryAfterSeconds;
            lock (sync) {
                if (running == null)
                    return HiddenAgainError;
                GiftEvent thanks = kept.Find(giftId);
                if (thanks == null)
                    return NotKeptError(giftId, kept);
                if (queue.IsFull)
                    return FullError(retrySeconds);
                double dueBefore = queue.NextReadyAt;
                queue.OfferAgain(thanks, clock.Elapsed.TotalSeconds);
                WakeIfDueChanged(dueBefore);
                after = StateNow();
            }
            return null;
        }

        // Under the lock, so that the announcements keep the order the gifts
        // came in: queues, numbers, counts and announces `gifts`, but for
        // those in `duplicates`, which are only announced.
        List<RecordedGift> Take(IList<GiftEvent> gifts, ICollection<GiftEvent> duplicates, GiftRules rules)
        {
            DateTime arrived = DateTime.Now;
            double now = clock.Elapsed.TotalSeconds;
            double dueBefore = queue.NextReadyAt;
            var recorded = new List<RecordedGift>(gifts.Count);
            foreach (GiftEvent gift in gifts) {
                if (duplicates != null && duplicates.Contains(gift)) {
                    events.Announce(new RecordedGift { Gift = gift, Outcome = GiftOutcome.Duplicate, Arrived = arrived });
                    continue;
                }
                GiftEvent thanks;
                var entry = new RecordedGift { Gift = gift, Outcome = queue.Offer(gift, rules, now, out thanks), Arrived = arrived };
                entry.GiftId = kept.Add(thanks);
                recorded.Add(entry);
                events.Announce(entry);
                if (gift.Id != null)
                    ids.Remember(gift.Id);
                ++received;
            }
            WakeIfDueChanged(dueBefore);
            return recorded;
        }

        // Under the lock. The running thread sleeps until the first waiting
        // thanks is due, so only a new first thanks needs to wake it: a gift
        // merged or queued behind others does not, and under a flood of gifts
        // that spares it a wake-up for each.
        void WakeIfDueChanged(double dueBefore)
        {
            if (queue.NextReadyAt != dueBefore)
                Monitor.PulseAll(sync);
        }

        void Record(string folder, IList<RecordedGift> recorded)
        {
            if (folder == null || recorded.Count == 0)
                return;
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

        public ThanksState State()
        {
            lock (sync)
                return StateNow();
        }

        // Under the lock, so that a control's answer is the state its action
        // left, before the running thread moves on.
        ThanksState StateNow()
        {
            return new ThanksState { Queued = queue.Count, Showing = showing, Paused = paused, Received = received };
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

        // ---- The streamer's controls ----

        // The thanks on screen ends now; the running thread shows the next
        // ready one or the idle text. Nothing changes while none is on screen.
        public ThanksState Skip()
        {
            lock (sync) {
                if (thanksOnScreen) {
                    double now = clock.Elapsed.TotalSeconds;
                    keepUntil = Math.Min(keepUntil, now);
                    hideAt = now;
                    showing = "";
                    Monitor.PulseAll(sync);
                }
                return StateNow();
            }
        }

        public ThanksState SetPaused(bool pause)
        {
            lock (sync) {
                paused = pause;
                Monitor.PulseAll(sync);
                return StateNow();
            }
        }

        // Drops the waiting thanks and records each of their gifts as
        // cleared; the number of thanks dropped.
        public int Clear(out ThanksState after)
        {
            ArrivalSettings settings = ReadArrivalSettings();
            DateTime now = DateTime.Now;
            var recorded = new List<RecordedGift>();
            List<WaitingThanks> dropped;
            lock (sync) {
                dropped = queue.TakeAll();
                after = StateNow();
            }
            foreach (WaitingThanks thanks in dropped)
                foreach (GiftEvent gift in thanks.Gifts)
                    recorded.Add(new RecordedGift { Gift = gift, Outcome = GiftOutcome.Cleared, Arrived = now });
            Record(settings.RecordFolder, recorded);
            return dropped.Count;
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
                thanksOnScreen = false;
                keepUntil = double.NegativeInfinity;
                hideAt = double.PositiveInfinity;
                Monitor.PulseAll(sync);
            }
            var thread = new Thread(() => Run(token)) { IsBackground = true, Name = "Tavrel thanks " + window };
            thread.Start();
            events.Start();
        }

        public void Stop()
        {
            lock (sync) {
                running = null;
                Monitor.PulseAll(sync);
            }
            events.Stop();
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
                        if (!paused && at >= keepUntil && (next = queue.TakeReady(at)) != null) {
                            step = Step.Thanks;
                            break;
                        }
                        if (thanksOnScreen && at >= hideAt) {
                            step = Step.Idle;
                            break;
                        }
                        double nextThanks = paused ? double.PositiveInfinity : Math.Max(queue.NextReadyAt, keepUntil);
                        double wake = Math.Min(nextThanks, thanksOnScreen ? hideAt : double.PositiveInfinity);
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
                    lock (sync) {
                        if (running != token)
                            return;
                        thanksOnScreen = false;
                        keepUntil = double.NegativeInfinity;
                        hideAt = double.PositiveInfinity;
                    }
                    continue;
                }
                if (now.RandomColor &&
                    !Send(token, WindowSender.SetRandomForeColor, colors.Next(now.RandomMode).ToString(CultureInfo.InvariantCulture), now.Ascii))
                    return;
                string text = Fill(now.ThanksTemplate, next.Gift);
                if (!SendShown(token, text, text, now.Ascii))
                    return;
                lock (sync) {
                    if (running != token)
                        return;
                    double shownAt = clock.Elapsed.TotalSeconds;
                    thanksOnScreen = true;
                    keepUntil = now.ShowSeconds > 0 ? shownAt + now.ShowSeconds : shownAt;
                    hideAt = now.ShowSeconds > 0 ? keepUntil : double.PositiveInfinity;
                    events.ThanksShown(text);
                }
            }
        }

        bool SendIdle(object token, Presentation now)
        {
            if (now.RandomColor &&
                !Send(token, WindowSender.SetRandomForeColor, now.Color.ToString(CultureInfo.InvariantCulture), now.Ascii))
                return false;
            return SendShown(token, now.IdleText, "", now.Ascii);
        }

        // Sends `text` to be drawn, `thanks` being the thanks it shows ("" for
        // the idle text or a blank).
        bool SendShown(object token, string text, string thanks, bool ascii)
        {
            lock (sync) {
                if (running != token)
                    return false;
                showing = thanks;
            }
            WindowSender.SendText(window, WindowSender.ShowText, text, ascii);
            return true;
        }

        // False once the thread's run has ended.
        bool Send(object token, ulong command, string text, bool ascii)
        {
            lock (sync) {
                if (running != token)
                    return false;
            }
            WindowSender.SendText(window, command, text, ascii);
            return true;
        }
    }
}
