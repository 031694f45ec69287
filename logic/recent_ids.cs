// SPDX-License-Identifier: GPL-2.0-or-later
// The event ids of the last Capacity gifts taken at one gift endpoint, so
// that a bridge that posts an event again (after a timeout, say) does not
// get it thanked twice.
using System.Collections.Generic;

namespace Tavrel
{
    sealed class RecentIds
    {
        public const int Capacity = 10000;

        readonly HashSet<string> known = new HashSet<string>();
        readonly Queue<string> order = new Queue<string>();

        public bool Contains(string id)
        {
            return known.Contains(id);
        }

        public void Remember(string id)
        {
            if (!known.Add(id))
                return;
            order.Enqueue(id);
            if (order.Count > Capacity)
                known.Remove(order.Dequeue());
        }
    }
}
