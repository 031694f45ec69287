// SPDX-License-Identifier: GPL-2.0-or-later
// One gift as the thanks engine takes it, from a replayed script or from a
// post to the gift endpoint.
namespace Tavrel
{
    sealed class GiftEvent
    {
        // For a script's gifts: when it arrives, in seconds from "start:".
        public double Seconds;
        public string Sender;
        public string Gift;
        // A long, so that the counts of merged gifts cannot overflow.
        public long Count = 1;
        public string Combo = "";
        // The gift's total worth in the platform's units; null when the
        // sender did not say.
        public double? Value;
        // The poster's event id, which makes a repeated post a no-op; null
        // when none was given.
        public string Id;

        public GiftEvent Copy()
        {
            return (GiftEvent)MemberwiseClone();
        }
    }
}
