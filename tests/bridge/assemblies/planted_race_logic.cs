// SPDX-License-Identifier: GPL-2.0-or-later
// For the race detector's check: a "Set:N{...}" command (a source's settings
// for channel window N) is answered by sending message 0x8001 to window N
// through user32, declared as Windows code declares it.
using System;
using System.Runtime.InteropServices;

namespace Tavrel
{
    public static class Tavrel
    {
        [DllImport("user32.dll")]
        static extern IntPtr SendMessageW(IntPtr window, uint message, UIntPtr wParam, IntPtr lParam);

        public static int Command(string command)
        {
            if (!command.StartsWith("Set:"))
                return 0;
            int end = command.IndexOf('{');
            var window = new IntPtr(long.Parse(command.Substring(4, end - 4)));
            return SendMessageW(window, 0x8001, UIntPtr.Zero, IntPtr.Zero).ToInt32();
        }
    }
}
