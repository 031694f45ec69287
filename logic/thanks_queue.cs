// SPDX-License-Identifier: GPL-2.0-or-later
// The thanks a channel still has to show, in the order their gifts arrived.
// A gift that is thanked waits "delay_show_second" seconds before it may be
// shown; a gift of the same sender and the same gift that arrives in that
// time is merged into it (counts added, the latest combo kept), so thirty
// single roses in a row become one thanks for 30.
//
// A test gift (the streamer's look at the layout) and a gift the streamer
// has thanked again are neither filtered nor merged and show as soon as
// their turn comes; clearing drops every waiting thanks with the gifts in it.
//
// Times are seconds on the channel's own clock. Not thread-safe: the
// channel's engine holds its lock around every call.
using System.Collections.Generic;

namespace Tavrel
{
    enum GiftOutcome
    {
        // Its own thanks waits in the queue.
        Thanked,
        // Added to a thanks already waiting for the same sender and gift.
        Merged,
        // Worth less than the channel's minimum value.
        Filtered,
        // The channel's thanks are turned off ("is_use_thanks" 0).
        Off,
        // The streamer's test gift, thanked like any but counted nowhere.
        Test,
        // Dropped from the queue by the streamer before it was shown.
        Cleared,
        // Left out: a gift with its event id was taken lately. Announced
        // only; the engine did not take it.
        Duplicate,
        // Of a batch refused whole because the queue is full. Announced
        // only; the engine did not take it.
        Refused,
    }

    // How the channel's settings treat a gift, as they stand when it arrives.
    sealed class GiftRules
    {
        public bool UseThanks = true;
        // Gifts worth less are not thanked; gifts of no stated worth are.
        public int MinValue = 1;
        public double DelaySeconds;
    }

    sealed class WaitingThanks
    {
        // A copy of the first gift, with the counts of those merged into it.
        public GiftEvent Gift;
        // The gifts as they came, the first and those merged into it; none
        // for a gift thanked again, which was taken (and recorded) before.
        public List<GiftEvent> Gifts;
        public double ReadyAt;
    }

    sealed class ThanksQueue
    {
        // The queue refuses new thanks beyond this many waiting.
        public const int Capacity = 1000;

        readonly LinkedList<WaitingThanks> waiting = new LinkedList<WaitingThanks>();
        // The thanks of each sender and gift that is still in its delay.
        readonly Dictionary<string, WaitingThanks> merging = new Dictionary<string, WaitingThanks>();

        public int Count {
            get { return waiting.Count; }
        }

        public bool IsFull {
            get { return waiting.Count >= Capacity; }
        }

        // When the first thanks may be shown; infinity for none.
        public double NextReadyAt {
            get { return waiting.Count > 0 ? waiting.First.Value.ReadyAt : double.PositiveInfinity; }
        }

        static string MergeKey(GiftEvent gift)
        {
            return gift.Sender + "\u0000" + gift.Gift;
        }

        static GiftOutcome? Unthanked(GiftEvent gift, GiftRules rules)
        {
            if (!rules.UseThanks)
                return GiftOutcome.Off;
            if (gift.Value.HasValue && gift.Value.Value < rules.MinValue)
                return GiftOutcome.Filtered;
            return null;
        }

        // The waiting thanks that `gift` merges into at `now`, or null.
        WaitingThanks OpenFor(GiftEvent gift, double now)
        {
            WaitingThanks open;
            return merging.TryGetValue(MergeKey(gift), out open) && open.ReadyAt > now ? open : null;
        }

        // True when taking `gifts` would add a thanks to a queue that is
        // already full.
        public bool WouldOverflow(IList<GiftEvent> gifts, GiftRules rules, double now)
        {
            if (!IsFull)
                return false;
            foreach (GiftEvent gift in gifts)
                if (Unthanked(gift, rules) == null && OpenFor(gift, now) == null)
                    return true;
            return false;
        }

        // `thanks` is the gift as its thanks shows it: the waiting thanks'
        // own, whose counts grow with the gifts merged into it later; the
        // gift itself when it is not thanked.
        public GiftOutcome Offer(GiftEvent gift, GiftRules rules, double now, out GiftEvent thanks)
        {
            thanks = gift;
            GiftOutcome? unthanked = Unthanked(gift, rules);
            if (unthanked.HasValue)
                return unthanked.Value;
            WaitingThanks open = OpenFor(gift, now);
            if (open != null) {
                open.Gift.Count += gift.Count;
                if (gift.Combo.Length > 0)
                    open.Gift.Combo = gift.Combo;
                open.Gifts.Add(gift);
                thanks = open.Gift;
                return GiftOutcome.Merged;
            }
            WaitingThanks added = Append(gift, new List<GiftEvent> { gift }, now + System.Math.Max(0, rules.DelaySeconds));
            merging[MergeKey(gift)] = added;
            thanks = added.Gift;
            return GiftOutcome.Thanked;
        }

        // The test gift joins the end of the queue, ready at once, and takes
        // no later gift in.
        public GiftOutcome OfferTest(GiftEvent gift, double now)
        {
            Append(gift, new List<GiftEvent> { gift }, now);
            return GiftOutcome.Test;
        }

        // A gift thanked again joins the queue as a test gift does; clearing
        // it records nothing, its gift having been recorded when it came.
        public void OfferAgain(GiftEvent thanks, double now)
        {
            Append(thanks, new List<GiftEvent>(), now);
        }

        WaitingThanks Append(GiftEvent gift, List<GiftEvent> gifts, double readyAt)
        {
            var thanks = new WaitingThanks { Gift = gift.Copy(), Gifts = gifts, ReadyAt = readyAt };
            waiting.AddLast(thanks);
            return thanks;
        }

        // The first thanks when it is ready at `now`, taken out; else null.
        public WaitingThanks TakeReady(double now)
        {
            if (waiting.Count == 0 || waiting.First.Value.ReadyAt > now)
                return null;
            WaitingThanks first = waiting.First.Value;
            waiting.RemoveFirst();
            string key = MergeKey(first.Gift);
            WaitingThanks open;
            if (merging.TryGetValue(key, out open) && open == first)
                merging.Remove(key);
            return first;
        }

        // Every waiting thanks, in order, taken out.
        public List<WaitingThanks> TakeAll()
        {
            var all = new List<WaitingThanks>(waiting);
            waiting.Clear();
            merging.Clear();
            return all;
        }
    }
}
