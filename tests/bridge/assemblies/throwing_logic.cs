// SPDX-License-Identifier: GPL-2.0-or-later
// A logic assembly whose Command throws for every command but "fine".
using System;

namespace Tavrel
{
    public static class Tavrel
    {
        public static int Command(string command)
        {
            if (command == "fine")
                return 7;
            throw new InvalidOperationException("the logic assembly failed on " + command);
        }
    }
}
