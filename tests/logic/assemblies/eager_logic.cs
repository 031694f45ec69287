// SPDX-License-Identifier: GPL-2.0-or-later
// A logic assembly that answers "init:" at once: while handling it, it sends
// the new window a thanks text, declared as Windows code declares user32.
using System;
using System.Runtime.InteropServices;
using System.Text;

namespace Tavrel
{
    public static class Tavrel
    {
        [StructLayout(LayoutKind.Sequential)]
        struct CopyData
        {
            public ulong dwData;
            public uint cbData;
            public IntPtr lpData;
        }

        [DllImport("user32.dll")]
        static extern IntPtr SendMessageW(IntPtr window, uint message, UIntPtr wParam, ref CopyData lParam);

        public const string Greeting = "感谢你来";

        public static int Command(string command)
        {
            if (!command.StartsWith("init:", StringComparison.Ordinal))
                return 0;
            byte[] text = Encoding.Unicode.GetBytes(Greeting + "\0");
            IntPtr block = Marshal.AllocHGlobal(text.Length);
            try {
                Marshal.Copy(text, 0, block, text.Length);
                var data = new CopyData { dwData = 1, cbData = (uint)text.Length, lpData = block };
                SendMessageW(new IntPtr(int.Parse(command.Substring(5))), 0x4A, UIntPtr.Zero, ref data);
            } finally {
                Marshal.FreeHGlobal(block);
            }
            return 0;
        }
    }
}
