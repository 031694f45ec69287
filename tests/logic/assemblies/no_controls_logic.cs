// SPDX-License-Identifier: GPL-2.0-or-later
// A logic assembly written before the streamer's controls, as a vendor's
// may be: it knows the design's commands only. Every command is appended to
// the file named by TAVREL_JOURNAL when it arrives, as the reference
// assembly journals them; every command is answered 0; and the only message
// it sends is a thanks text (code 1): its idle text at "start:N". A control
// command ("test:N", "gifts:N|...") gets no answer message (300), which is
// how a host tells that the assembly does not have the controls.
using System;
using System.Globalization;
using System.IO;
using System.Runtime.InteropServices;
using System.Text;

namespace Tavrel
{
    public static class Tavrel
    {
        public const string IdleText = "暂无礼物";

        [StructLayout(LayoutKind.Sequential)]
        struct CopyData
        {
            public ulong dwData;
            public uint cbData;
            public IntPtr lpData;
        }

        [DllImport("user32.dll")]
        static extern IntPtr SendMessageW(IntPtr window, uint message, UIntPtr wParam, ref CopyData lParam);

        public static int Command(string command)
        {
            string journal = Environment.GetEnvironmentVariable("TAVREL_JOURNAL");
            if (!string.IsNullOrEmpty(journal))
                File.AppendAllText(journal, command + "\n", new UTF8Encoding(false));
            int window;
            if (command.StartsWith("start:", StringComparison.Ordinal) &&
                int.TryParse(command.Substring("start:".Length), NumberStyles.AllowLeadingSign, CultureInfo.InvariantCulture, out window))
                ShowText(window, IdleText);
            return 0;
        }

        // WM_COPYDATA with code 1 and the text as UTF-16, its NUL counted.
        static void ShowText(int window, string text)
        {
            byte[] bytes = Encoding.Unicode.GetBytes(text + "\0");
            GCHandle pinned = GCHandle.Alloc(bytes, GCHandleType.Pinned);
            try {
                var data = new CopyData { dwData = 1, cbData = (uint)bytes.Length, lpData = pinned.AddrOfPinnedObject() };
                SendMessageW(new IntPtr(window), 0x4A, UIntPtr.Zero, ref data);
            } finally {
                pinned.Free();
            }
        }
    }
}
