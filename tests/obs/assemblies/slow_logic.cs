// SPDX-License-Identifier: GPL-2.0-or-later
// A logic assembly that takes its time, as one connecting to a real room
// may: "start:" and "stop:" take 3 s each, "ShowForm:" keeps its form open
// for 12 s and then accepts. Every command is appended to the file named by
// TAVREL_JOURNAL when it arrives, as the reference assembly journals them.
using System;
using System.IO;
using System.Text;
using System.Threading;

namespace Tavrel
{
    public static class Tavrel
    {
        public static int Command(string command)
        {
            string journal = Environment.GetEnvironmentVariable("TAVREL_JOURNAL");
            if (!string.IsNullOrEmpty(journal))
                File.AppendAllText(journal, command + "\n", new UTF8Encoding(false));
            if (command.StartsWith("start:", StringComparison.Ordinal) ||
                command.StartsWith("stop:", StringComparison.Ordinal))
                Thread.Sleep(3000);
            else if (command.StartsWith("ShowForm:", StringComparison.Ordinal))
                Thread.Sleep(12000);
            return 0;
        }
    }
}
