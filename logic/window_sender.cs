// SPDX-License-Identifier: GPL-2.0-or-later
// The way back to the plug-in: window messages to the window number a
// channel was announced with ("init:"), through the Win32 SendMessageW that
// the host maps "user32.dll" to.
//
// A text goes as WM_COPYDATA {dwData: command code, cbData: size in bytes,
// lpData: the block}. The block is UTF-16LE with its NUL counted in cbData
// (2 * length + 2), or, for a channel whose settings asked for ANSI text,
// the locale's 8-bit text (UTF-8 here) with its zero byte counted.
//
// Codes 300 to 302 are this host's addition for the streamer's controls
// (ThanksControls, GiftEngine):
//   300 ControlAnswer  a JSON object answering a control command, sent
//                      while the command runs, so before it returns
//   301 GiftReceived   {"sender", "gift", "count", "value", "outcome",
//                      "gift_id"} for every gift a channel takes; without
//                      "gift_id" for one left out ("duplicate") or refused
//                      with a full queue ("refused")
//   302 ThanksShown    the text of the thanks just sent as code 1, as it is
//
// Called on the thread that owns the window, SendMessageW runs the window
// procedure at once; from any other thread it blocks until the owner pumps.
// So nothing here may be called while holding a lock the plug-in's thread
// could want.
using System;
using System.Runtime.InteropServices;
using System.Text;

namespace Tavrel
{
    static class WindowSender
    {
        public const uint WmCopyData = 0x4A;
        public const uint AsciiModeOn = 0x400 + 5;
        public const uint AsciiModeOff = 0x400 + 6;

        public const ulong ShowText = 1;
        public const ulong SetIntSetting = 101;
        public const ulong SetStringSetting = 102;
        public const ulong SetColorSetting = 103;
        public const ulong LogText = 200;
        public const ulong SetRandomForeColor = 203;
        public const ulong ControlAnswer = 300;
        public const ulong GiftReceived = 301;
        public const ulong ThanksShown = 302;

        // The 64-bit COPYDATASTRUCT: lpData after four bytes of padding, at 16.
        [StructLayout(LayoutKind.Sequential)]
        struct CopyData
        {
            public ulong dwData;
            public uint cbData;
            public IntPtr lpData;
        }

        [DllImport("user32.dll")]
        static extern IntPtr SendMessageW(IntPtr window, uint message, UIntPtr wParam, IntPtr lParam);

        static readonly Encoding utf16 = new UnicodeEncoding(false, false);
        static readonly Encoding ansi = new UTF8Encoding(false);

        // Sends `text` under `command` and returns the window's answer; 0 for
        // a window that is gone, and 0 where no message transport is loaded
        // (the assembly run outside the host).
        public static int SendText(int window, ulong command, string text, bool asciiText)
        {
            byte[] bytes = (asciiText ? ansi : utf16).GetBytes(text + "\0");
            IntPtr block = Marshal.AllocHGlobal(bytes.Length);
            IntPtr header = Marshal.AllocHGlobal(Marshal.SizeOf(typeof(CopyData)));
            try {
                Marshal.Copy(bytes, 0, block, bytes.Length);
                var data = new CopyData { dwData = command, cbData = (uint)bytes.Length, lpData = block };
                Marshal.StructureToPtr(data, header, false);
                return Send(window, WmCopyData, header);
            } finally {
                Marshal.FreeHGlobal(header);
                Marshal.FreeHGlobal(block);
            }
        }

        // After a "Set:": tells the plug-in the channel's text mode (1029 for
        // ANSI, 1030 for UTF-16) when it differs from the one last announced,
        // a new channel starting out as UTF-16.
        public static void AnnounceTextMode(int window)
        {
            bool ascii;
            lock (ChannelTable.Sync) {
                Channel channel = ChannelTable.Get(window);
                if (channel == null || channel.Ascii == channel.AsciiAnnounced)
                    return;
                ascii = channel.AsciiAnnounced = channel.Ascii;
            }
            SendSignal(window, ascii ? AsciiModeOn : AsciiModeOff);
        }

        public static int SendSignal(int window, uint message)
        {
            return Send(window, message, IntPtr.Zero);
        }

        static int Send(int window, uint message, IntPtr lParam)
        {
            try {
                return (int)SendMessageW(new IntPtr(window), message, UIntPtr.Zero, lParam);
            } catch (DllNotFoundException) {
                return 0;
            } catch (EntryPointNotFoundException) {
                return 0;
            }
        }
    }
}
