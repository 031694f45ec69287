// SPDX-License-Identifier: GPL-2.0-or-later
// A channel's announcements to the plug-in, GiftReceived (301, a gift
// taken, or one left out as a duplicate or refused with a full queue) and
// ThanksShown (302, a thanks just sent as code 1), sent by a thread of
// their own: the gifts in the order they came, a thanks ahead of any gift
// still waiting.
//
// SendMessageW blocks until the plug-in's thread pumps, once a frame in a
// headless host. The engine's show thread only queues these, so a thanks
// that is due never waits behind an announcement; the gifts' announcements
// may lag the texts they speak of. A ThanksShown is queued only once its
// code-1 message has been delivered, so it never overtakes that text, and
// it goes out next: the plug-in reports a thanks only while it is still the
// text on screen, so it must not wait behind a flood of gifts. Only the
// latest thanks waits; an older one is no longer on screen.
//
// The thread runs from the engine's Start to its Stop, like the show thread:
// what is queued while the channel is stopped goes out after the next
// Start; an event already handed to SendMessageW is still delivered, no
// later one is sent. "init:" and "quit" drop the engine and what waits here.
//
// A plug-in that takes one message a frame takes 30 to 60 a second, and
// gifts may come faster for as long as they like: at most Capacity events
// wait, the oldest giving way, and the number dropped goes to the host's log
// in one line once the sender has caught up (or at Stop).
using System;
using System.Collections.Generic;
using System.Threading;

namespace Tavrel
{
    sealed class EventSender
    {
        public const int Capacity = 10000;

        readonly int window;
        readonly Channel channel;
        // Where the drop report goes: the engine's log lines.
        readonly Action<string> log;
        readonly object sync = new object();
        readonly Queue<RecordedGift> waiting = new Queue<RecordedGift>();
        // The text of the latest thanks shown, until it is sent.
        string thanks;
        // The running thread's token; null while stopped.
        object running;
        // An event is between leaving the queue and the plug-in's answer. A
        // thread started while an earlier one still sends waits for it, so
        // that the two cannot swap their events.
        bool sending;
        long dropped;

        public EventSender(int window, Channel channel, Action<string> log)
        {
            this.window = window;
            this.channel = channel;
            this.log = log;
        }

        // The engine may call these under its own lock: they only queue.
        public void Announce(RecordedGift gift)
        {
            lock (sync) {
                if (waiting.Count >= Capacity) {
                    waiting.Dequeue();
                    ++dropped;
                }
                waiting.Enqueue(gift);
                Monitor.PulseAll(sync);
            }
        }

        public void ThanksShown(string text)
        {
            lock (sync) {
                thanks = text;
                Monitor.PulseAll(sync);
            }
        }

        public void Start()
        {
            var token = new object();
            lock (sync) {
                running = token;
                Monitor.PulseAll(sync);
            }
            var thread = new Thread(() => Run(token)) { IsBackground = true, Name = "Tavrel events " + window };
            thread.Start();
        }

        // Returns at once, even while the thread waits for the plug-in.
        public void Stop()
        {
            long lost;
            lock (sync) {
                running = null;
                Monitor.PulseAll(sync);
                lost = TakeDropped();
            }
            ReportDropped(lost);
        }

        void Run(object token)
        {
            try {
                Send(token);
            } catch (Exception e) {
                // Nothing thrown here may end the host's process.
                Console.Error.WriteLine("Tavrel: channel " + window + ": the event thread failed: " + e);
            }
        }

        void Send(object token)
        {
            while (true) {
                RecordedGift gift = null;
                string shown;
                long lost = 0;
                lock (sync) {
                    while (running == token && (sending || (waiting.Count == 0 && thanks == null)))
                        Monitor.Wait(sync);
                    if (running != token)
                        return;
                    shown = thanks;
                    thanks = null;
                    if (shown == null)
                        gift = waiting.Dequeue();
                    sending = true;
                    if (waiting.Count == 0)
                        lost = TakeDropped();
                }
                try {
                    if (shown != null)
                        WindowSender.SendText(window, WindowSender.ThanksShown, shown, Ascii());
                    else
                        WindowSender.SendText(window, WindowSender.GiftReceived, Announcement(gift), Ascii());
                } finally {
                    lock (sync) {
                        sending = false;
                        Monitor.PulseAll(sync);
                    }
                }
                ReportDropped(lost);
            }
        }

        // Under the lock.
        long TakeDropped()
        {
            long lost = dropped;
            dropped = 0;
            return lost;
        }

        void ReportDropped(long lost)
        {
            if (lost > 0)
                log("Tavrel: channel " + window + ": the plug-in took the gift and thanks messages (301, 302) too slowly; " +
                    lost + " of the oldest were dropped");
        }

        bool Ascii()
        {
            lock (ChannelTable.Sync)
                return channel.Ascii;
        }

        // The block of message 301; "gift_id" only for a gift the engine took.
        static string Announcement(RecordedGift gift)
        {
            JsonObject block = new JsonObject().With("sender", gift.Gift.Sender).With("gift", gift.Gift.Gift)
                                               .With("count", gift.Gift.Count).With("value", gift.Gift.Value)
                                               .With("outcome", GiftRecord.OutcomeName(gift.Outcome));
            if (gift.GiftId > 0)
                block.With("gift_id", gift.GiftId);
            return block.Text();
        }
    }
}
