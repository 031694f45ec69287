// SPDX-License-Identifier: GPL-2.0-or-later
// A logic assembly that faults on purpose, for the fatal-signal tests:
//   "null-caught"    reads a field through a null reference and catches the
//                    NullReferenceException: 1
//   "null-uncaught"  the same, uncaught: the command call fails
//   "native-crash"   calls into native code that reads unmapped memory (not
//                    a null pointer: the runtime turns a fault below the
//                    first page into a NullReferenceException even there)
//   "native-abort"   calls into native code that aborts
using System;
using System.Runtime.InteropServices;

namespace Tavrel
{
    public static class Tavrel
    {
        sealed class Holder
        {
            public int Value = 5;
        }

        static Holder nothing = null;

        [DllImport("libc", EntryPoint = "strlen")]
        static extern IntPtr NativeStrlen(IntPtr text);

        [DllImport("libc", EntryPoint = "abort")]
        static extern void NativeAbort();

        public static int Command(string command)
        {
            switch (command) {
            case "null-caught":
                try {
                    return nothing.Value;
                } catch (NullReferenceException) {
                    return 1;
                }
            case "null-uncaught":
                return nothing.Value;
            case "native-crash":
                return (int)NativeStrlen(new IntPtr(0x100000000000L));
            case "native-abort":
                NativeAbort();
                return 0;
            }
            return -1;
        }
    }
}
