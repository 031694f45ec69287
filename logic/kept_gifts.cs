// SPDX-License-Identifier: GPL-2.0-or-later
// The numbers a channel's engine gives the gifts it takes ("gift_id" in
// their announcements: 1, 2, 3, ... never reused while the engine lives),
// and the last Capacity of those gifts, so that the streamer can have one
// thanked again ("again:N|ID"). Each is kept as its thanks shows it: for a
// gift merged with others, the one thanks they share, counts added.
//
// Not thread-safe: the engine holds its lock around every call.
namespace Tavrel
{
    sealed class KeptGifts
    {
        public const int Capacity = 1000;

        // Gift n lives at n % Capacity until gift n + Capacity takes its place.
        readonly GiftEvent[] kept = new GiftEvent[Capacity];
        long last;

        // The number of the newest gift; 0 before the first.
        public long Last {
            get { return last; }
        }

        // The oldest number still kept; Last + 1 while none is.
        public long First {
            get { return System.Math.Max(1, last - Capacity + 1); }
        }

        // Numbers a new gift, kept as `thanks`.
        public long Add(GiftEvent thanks)
        {
            ++last;
            kept[last % Capacity] = thanks;
            return last;
        }

        // The gift numbered `id`, or null when it is not (or no longer) kept.
        public GiftEvent Find(long id)
        {
            return id >= First && id <= last ? kept[id % Capacity] : null;
        }
    }
}
