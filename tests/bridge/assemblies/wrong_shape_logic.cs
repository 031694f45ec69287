// SPDX-License-Identifier: GPL-2.0-or-later
// A logic assembly whose Command has the right name but not the shape
// static int Command(string): the host must refuse to call it.
namespace Tavrel
{
    public static class Tavrel
    {
        public static string Command(string command)
        {
            return command;
        }
    }
}
