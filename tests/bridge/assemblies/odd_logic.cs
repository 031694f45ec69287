// SPDX-License-Identifier: GPL-2.0-or-later
// A logic assembly with results the plug-in must pass on unchanged:
//   "<integer>"          that integer (any 32-bit value)
//   "length:<text>"      the number of UTF-16 units in <text>
//   "send:<window>"      SendMessageW(window, WM_USER + 7, 3, 4) through user32.dll
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
            if (command.StartsWith("length:", StringComparison.Ordinal))
                return command.Length - "length:".Length;
            if (command.StartsWith("send:", StringComparison.Ordinal)) {
                var window = new IntPtr(int.Parse(command.Substring("send:".Length)));
                return (int)SendMessageW(window, 0x400 + 7, new UIntPtr(3), new IntPtr(4));
            }
            return int.Parse(command);
        }
    }
}
