// SPDX-License-Identifier: GPL-2.0-or-later
// The command journal: when the environment variable TAVREL_JOURNAL names a
// file, every command received is appended to it as one UTF-8 line, written
// through at once so that a reader sees it while the host still runs.
//
// One command, one line: a backslash is written "\\", a line feed "\n" and a
// carriage return "\r". The variable is read on every command, so a journal
// can be started, moved or stopped while the assembly is loaded.
using System;
using System.IO;
using System.Text;

namespace Tavrel
{
    static class Journal
    {
        static readonly object sync = new object();
        static readonly Encoding utf8 = new UTF8Encoding(false);

        public static void Append(string command)
        {
            string path = Environment.GetEnvironmentVariable("TAVREL_JOURNAL");
            if (string.IsNullOrEmpty(path))
                return;
            byte[] line = utf8.GetBytes(Escape(command) + "\n");
            // A journal that cannot be written must not change what the
            // command does.
            try {
                lock (sync) {
                    using (var stream = new FileStream(path, FileMode.Append, FileAccess.Write, FileShare.ReadWrite))
                        stream.Write(line, 0, line.Length);
                }
            } catch (IOException) {
            } catch (UnauthorizedAccessException) {
            } catch (ArgumentException) {
            } catch (NotSupportedException) {
            }
        }

        static string Escape(string command)
        {
            if (command.IndexOfAny(new[] { '\\', '\n', '\r' }) < 0)
                return command;
            return command.Replace("\\", "\\\\").Replace("\n", "\\n").Replace("\r", "\\r");
        }
    }
}
