// SPDX-License-Identifier: GPL-2.0-or-later
// The record of gifts a channel keeps when "is_save_record" is 1: every gift
// received, thanked or not, appended as one line of tab-separated values to
// "gifts-YYYY-MM-DD.tsv" (the local date) in the channel's "save_folder":
//   time  sender  gift  count  value  combo  outcome  id
// time is the local "yyyy-MM-dd HH:mm:ss" of its arrival; value and id are
// empty when the gift had none; outcome is "thanked", "merged", "filtered"
// (worth less than the minimum), "off" (thanks turned off) or "test" (the
// streamer's test gift). A gift whose waiting thanks the streamer cleared
// gets a second line with the outcome "cleared", timed when it was cleared.
// A tab, line
// break or backslash inside a text is written "\t", "\n", "\r" or "\\", so
// every gift stays one line.
//
// A line is written whole or not at all: it goes out in one write, and a
// write that fails half-way is cut off again.
using System;
using System.Collections.Generic;
using System.Globalization;
using System.IO;
using System.Text;

namespace Tavrel
{
    sealed class RecordedGift
    {
        public GiftEvent Gift;
        public GiftOutcome Outcome;
        public DateTime Arrived;
        // The engine's number for a gift it took (its announcement's
        // "gift_id"); 0 for one it did not take.
        public long GiftId;
    }

    static class GiftRecord
    {
        // Lines of several channels recording into one folder must not mix.
        static readonly object sync = new object();
        static readonly Encoding utf8 = new UTF8Encoding(false);

        public static string FileName(DateTime day)
        {
            return "gifts-" + day.ToString("yyyy-MM-dd", CultureInfo.InvariantCulture) + ".tsv";
        }

        public static string Line(RecordedGift entry)
        {
            GiftEvent gift = entry.Gift;
            var line = new StringBuilder();
            line.Append(entry.Arrived.ToString("yyyy-MM-dd HH:mm:ss", CultureInfo.InvariantCulture)).Append('\t');
            line.Append(Escape(gift.Sender)).Append('\t');
            line.Append(Escape(gift.Gift)).Append('\t');
            line.Append(gift.Count.ToString(CultureInfo.InvariantCulture)).Append('\t');
            if (gift.Value.HasValue)
                line.Append(gift.Value.Value.ToString("R", CultureInfo.InvariantCulture));
            line.Append('\t').Append(Escape(gift.Combo)).Append('\t');
            line.Append(OutcomeName(entry.Outcome)).Append('\t');
            line.Append(Escape(gift.Id ?? "")).Append('\n');
            return line.ToString();
        }

        // "thanked", "merged", ...: the outcome as the record and the plug-in
        // read it.
        public static string OutcomeName(GiftOutcome outcome)
        {
            return outcome.ToString().ToLowerInvariant();
        }

        static string Escape(string text)
        {
            if (text.IndexOfAny(new[] { '\\', '\t', '\n', '\r' }) < 0)
                return text;
            return text.Replace("\\", "\\\\").Replace("\t", "\\t").Replace("\n", "\\n").Replace("\r", "\\r");
        }

        // Appends the lines of `entries` to the record of each one's day;
        // null when all were written, else why not (the lines not written
        // are not in the file, not even in part).
        public static string Append(string folder, IList<RecordedGift> entries)
        {
            string error = null;
            lock (sync) {
                int i = 0;
                while (i < entries.Count) {
                    string name = FileName(entries[i].Arrived);
                    int end = i;
                    while (end < entries.Count && FileName(entries[end].Arrived) == name)
                        ++end;
                    error = AppendToFile(Path.Combine(folder, name), entries, i, end) ?? error;
                    i = end;
                }
            }
            return error;
        }

        static string AppendToFile(string path, IList<RecordedGift> entries, int first, int end)
        {
            try {
                // Unbuffered: each Write below is one write to the file.
                using (var stream = new FileStream(path, FileMode.Append, FileAccess.Write, FileShare.ReadWrite, 1)) {
                    for (int i = first; i < end; ++i) {
                        byte[] bytes = utf8.GetBytes(Line(entries[i]));
                        long whole = stream.Length;
                        try {
                            stream.Write(bytes, 0, bytes.Length);
                        } catch (IOException) {
                            stream.SetLength(whole);
                            throw;
                        }
                    }
                }
                return null;
            } catch (Exception e) when (e is IOException || e is UnauthorizedAccessException ||
                                        e is ArgumentException || e is NotSupportedException ||
                                        e is System.Security.SecurityException) {
                return e.Message;
            }
        }
    }
}
