// SPDX-License-Identifier: GPL-2.0-or-later
// A logic assembly declared the way Windows C# code declares user32, in the
// styles such code uses (library name spellings, CharSet, entry points, int or
// IntPtr or UIntPtr parameters, COPYDATASTRUCT with an IntPtr, LPStr or LPWStr
// block, passed by ref or as an IntPtr). Each channel is served by the next
// style, in the order of "init:". On "start:" a timer thread switches the
// channel's text mode with PostMessage and sends its thanks text, which names
// the style and what the style's other calls answered.
using System;
using System.Collections.Generic;
using System.Diagnostics;
using System.Runtime.InteropServices;
using System.Text;
using System.Threading;

namespace Tavrel
{
    static class Messages
    {
        public const int WM_COPYDATA = 0x4A;
        public const int AsciiModeOn = 0x400 + 5;
        public const int AsciiModeOff = 0x400 + 6;
        public const int ShowText = 1;
    }

    // The declaration most samples give: an IntPtr block in a struct passed
    // by ref, the message and wParam as int, bool results.
    static class RefStructStyle
    {
        [StructLayout(LayoutKind.Sequential)]
        struct COPYDATASTRUCT
        {
            public IntPtr dwData;
            public int cbData;
            public IntPtr lpData;
        }

        [DllImport("User32.dll", EntryPoint = "SendMessage")]
        static extern int SendMessage(IntPtr hWnd, int Msg, int wParam, ref COPYDATASTRUCT lParam);

        [DllImport("user32.dll")]
        static extern bool PostMessage(IntPtr hWnd, uint Msg, IntPtr wParam, IntPtr lParam);

        [DllImport("user32")]
        static extern bool IsWindow(IntPtr hWnd);

        public static void Send(int window)
        {
            var hWnd = new IntPtr(window);
            PostMessage(hWnd, Messages.AsciiModeOff, IntPtr.Zero, IntPtr.Zero);
            byte[] text = Encoding.Unicode.GetBytes("引用结构 IsWindow=" + IsWindow(hWnd) + "\0");
            IntPtr block = Marshal.AllocHGlobal(text.Length);
            try {
                Marshal.Copy(text, 0, block, text.Length);
                var data = new COPYDATASTRUCT { dwData = new IntPtr(Messages.ShowText), cbData = text.Length, lpData = block };
                SendMessage(hWnd, Messages.WM_COPYDATA, 0, ref data);
            } finally {
                Marshal.FreeHGlobal(block);
            }
        }
    }

    // ANSI text, as an assembly sends it while the ASCII mode is on: the
    // marshaller turns the string into 8-bit text.
    static class AnsiStringStyle
    {
        [StructLayout(LayoutKind.Sequential, CharSet = CharSet.Ansi)]
        struct COPYDATASTRUCT
        {
            public IntPtr dwData;
            public int cbData;
            [MarshalAs(UnmanagedType.LPStr)] public string lpData;
        }

        [DllImport("USER32.DLL", CharSet = CharSet.Ansi)]
        static extern IntPtr SendMessageA(IntPtr hWnd, uint Msg, UIntPtr wParam, ref COPYDATASTRUCT lParam);

        [DllImport("User32", EntryPoint = "PostMessageA")]
        static extern int PostMessageA(int hWnd, int Msg, int wParam, int lParam);

        public static void Send(int window)
        {
            PostMessageA(window, Messages.AsciiModeOn, 0, 0);
            string text = "ANSI文字 感谢";
            var data = new COPYDATASTRUCT {
                dwData = new IntPtr(Messages.ShowText),
                cbData = Encoding.Default.GetByteCount(text) + 1,
                lpData = text,
            };
            SendMessageA(new IntPtr(window), Messages.WM_COPYDATA, UIntPtr.Zero, ref data);
        }
    }

    // CharSet.Unicode, so the plain names resolve to their W forms; the
    // struct, with an LPWStr block, marshalled by hand behind an IntPtr.
    static class UnicodePointerStyle
    {
        [StructLayout(LayoutKind.Sequential, CharSet = CharSet.Unicode)]
        struct COPYDATASTRUCT
        {
            public UIntPtr dwData;
            public uint cbData;
            [MarshalAs(UnmanagedType.LPWStr)] public string lpData;
        }

        [DllImport("user32.DLL", CharSet = CharSet.Unicode)]
        static extern IntPtr SendMessage(IntPtr hWnd, uint Msg, IntPtr wParam, IntPtr lParam);

        [DllImport("user32.dll", CharSet = CharSet.Unicode)]
        static extern bool PostMessage(IntPtr hWnd, uint Msg, UIntPtr wParam, IntPtr lParam);

        public static void Send(int window)
        {
            var hWnd = new IntPtr(window);
            PostMessage(hWnd, Messages.AsciiModeOff, UIntPtr.Zero, IntPtr.Zero);
            string text = "宽字符指针 感谢";
            var data = new COPYDATASTRUCT {
                dwData = new UIntPtr(Messages.ShowText),
                cbData = (uint)((text.Length + 1) * 2),
                lpData = text,
            };
            IntPtr pointer = Marshal.AllocHGlobal(Marshal.SizeOf(typeof(COPYDATASTRUCT)));
            try {
                Marshal.StructureToPtr(data, pointer, false);
                SendMessage(hWnd, Messages.WM_COPYDATA, IntPtr.Zero, pointer);
                Marshal.DestroyStructure(pointer, typeof(COPYDATASTRUCT));
            } finally {
                Marshal.FreeHGlobal(pointer);
            }
        }
    }

    // CharSet.Auto, a bounded send, a notification, and the identity calls.
    static class TimeoutStyle
    {
        [StructLayout(LayoutKind.Sequential)]
        struct COPYDATASTRUCT
        {
            public IntPtr dwData;
            public int cbData;
            public IntPtr lpData;
        }

        [DllImport("user32.dll", SetLastError = true, CharSet = CharSet.Auto)]
        static extern IntPtr SendMessageTimeout(IntPtr hWnd, uint Msg, UIntPtr wParam, ref COPYDATASTRUCT lParam,
                                                uint fuFlags, uint uTimeout, out UIntPtr lpdwResult);

        [DllImport("user32.dll", CharSet = CharSet.Auto)]
        static extern bool SendNotifyMessage(IntPtr hWnd, uint Msg, UIntPtr wParam, IntPtr lParam);

        [DllImport("user32.dll", CharSet = CharSet.Auto)]
        static extern bool PostMessage(IntPtr hWnd, uint Msg, IntPtr wParam, IntPtr lParam);

        [DllImport("user32.dll", SetLastError = true)]
        static extern uint GetWindowThreadProcessId(IntPtr hWnd, out uint lpdwProcessId);

        [DllImport("user32.dll", CharSet = CharSet.Unicode)]
        static extern IntPtr FindWindow(string lpClassName, string lpWindowName);

        [DllImport("user32.dll", CharSet = CharSet.Ansi)]
        static extern IntPtr FindWindowEx(IntPtr hwndParent, IntPtr hwndChildAfter, string lpszClass, string lpszWindow);

        // Not one the platform offers.
        [DllImport("user32.dll")]
        static extern bool SetWindowPos(IntPtr hWnd, IntPtr hWndInsertAfter, int X, int Y, int cx, int cy, uint uFlags);

        const uint SMTO_ABORTIFHUNG = 0x2;

        public static void Send(int window)
        {
            var hWnd = new IntPtr(window);
            PostMessage(hWnd, Messages.AsciiModeOff, IntPtr.Zero, IntPtr.Zero);
            uint process;
            bool ownProcess = GetWindowThreadProcessId(hWnd, out process) != 0 &&
                              process == (uint)Process.GetCurrentProcess().Id;
            bool found = FindWindow("Thanks Message-Only-Window", null) != IntPtr.Zero ||
                         FindWindowEx(IntPtr.Zero, IntPtr.Zero, null, "Thanks Message-Only-Window") != IntPtr.Zero;
            bool notified = SendNotifyMessage(hWnd, 0x400 + 77, UIntPtr.Zero, IntPtr.Zero);
            byte[] text = Encoding.Unicode.GetBytes("超时发送 本进程=" + ownProcess + " 找到=" + found +
                                                    " 通知=" + notified + "\0");
            IntPtr block = Marshal.AllocHGlobal(text.Length);
            try {
                Marshal.Copy(text, 0, block, text.Length);
                var data = new COPYDATASTRUCT { dwData = new IntPtr(Messages.ShowText), cbData = text.Length, lpData = block };
                UIntPtr result;
                SendMessageTimeout(hWnd, Messages.WM_COPYDATA, UIntPtr.Zero, ref data, SMTO_ABORTIFHUNG, 5000, out result);
            } finally {
                Marshal.FreeHGlobal(block);
            }
        }
    }

    public static class Tavrel
    {
        static readonly Action<int>[] styles = {
            RefStructStyle.Send, AnsiStringStyle.Send, UnicodePointerStyle.Send, TimeoutStyle.Send,
        };
        static readonly object sync = new object();
        static readonly Dictionary<int, int> styleOf = new Dictionary<int, int>();
        static readonly List<Timer> timers = new List<Timer>();  // kept alive until they fire
        static int nextStyle;

        public static int Command(string command)
        {
            int window;
            if (command.StartsWith("init:", StringComparison.Ordinal) && int.TryParse(command.Substring(5), out window)) {
                lock (sync)
                    styleOf[window] = nextStyle++ % styles.Length;
            } else if (command.StartsWith("start:", StringComparison.Ordinal) &&
                       int.TryParse(command.Substring(6), out window)) {
                lock (sync) {
                    int style;
                    if (styleOf.TryGetValue(window, out style)) {
                        Action<int> send = styles[style];
                        timers.Add(new Timer(_ => send(window), null, 50, Timeout.Infinite));
                    }
                }
            }
            return 0;
        }
    }
}
