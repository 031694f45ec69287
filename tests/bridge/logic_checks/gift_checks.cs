// SPDX-License-Identifier: GPL-2.0-or-later
// Checks of the assembly's gift handling that need no plug-in and no clock:
// the thanks queue on times given by hand, the reading of posted bodies,
// room URLs and the record file's lines.
using System;
using System.Collections.Generic;
using System.IO;
using System.Text;
using Tavrel;

static partial class LogicChecks
{
    static GiftEvent Gift(string sender, string gift, long count = 1, string combo = "", double? value = null)
    {
        return new GiftEvent { Sender = sender, Gift = gift, Count = count, Combo = combo, Value = value };
    }

    static GiftOutcome Offer(ThanksQueue queue, GiftEvent gift, GiftRules rules, double now)
    {
        GiftEvent thanks;
        return queue.Offer(gift, rules, now, out thanks);
    }

    static void TheQueueMergesWithinTheDelayAndKeepsArrivalOrder()
    {
        var queue = new ThanksQueue();
        var rules = new GiftRules { MinValue = 1, DelaySeconds = 2 };
        Expect(Offer(queue, Gift("A", "rose", 1, "x1"), rules, 0), GiftOutcome.Thanked, "first rose");
        Expect(Offer(queue, Gift("B", "star"), rules, 0.5), GiftOutcome.Thanked, "another sender");
        Expect(Offer(queue, Gift("A", "rose", 4, "x5"), rules, 1.9), GiftOutcome.Merged, "a rose within the delay");
        Expect(Offer(queue, Gift("A", "rose", 1, ""), rules, 1.95), GiftOutcome.Merged, "an empty combo keeps the last one");
        Expect(Offer(queue, Gift("A", "car"), rules, 1.9), GiftOutcome.Thanked, "another gift of the same sender");
        Expect(Offer(queue, Gift("A", "free", 1, "", 0), rules, 1), GiftOutcome.Filtered, "worth less than the minimum");
        Expect(Offer(queue, Gift("A", "cheap", 1, "", 0.99), rules, 1), GiftOutcome.Filtered, "a fraction below it");
        Expect(Offer(queue, Gift("A", "paid", 1, "", 1), rules, 1), GiftOutcome.Thanked, "worth the minimum");
        Expect(queue.TakeReady(1.99) == null, true, "nothing ready before the first delay ends");
        WaitingThanks first = queue.TakeReady(2);
        Expect(first.Gift.Count, 6L, "merged count");
        Expect(first.Gift.Combo, "x5", "latest combo");
        Expect(Offer(queue, Gift("A", "rose"), rules, 2.1), GiftOutcome.Thanked, "after the delay a rose is a new thanks");
        Expect(queue.TakeReady(2.4) == null, true, "B waits for its own delay");
        Expect(queue.TakeReady(2.5).Gift.Sender, "B", "B next");
        Expect(queue.TakeReady(10).Gift.Gift, "car", "then the car");
        Expect(queue.TakeReady(10).Gift.Gift, "paid", "then the paid gift");
        Expect(queue.TakeReady(10).Gift.Count, 1L, "the late rose alone");
        Expect(queue.Count, 0, "empty");

        // A shorter delay set later does not let a later thanks overtake.
        Offer(queue, Gift("C", "x"), rules, 20);
        Offer(queue, Gift("D", "y"), new GiftRules { DelaySeconds = 0 }, 20.5);
        Expect(queue.TakeReady(21) == null, true, "D waits behind C");
        Expect(queue.TakeReady(22).Gift.Sender, "C", "C first");

        var off = new GiftRules { UseThanks = false };
        Expect(Offer(queue, Gift("E", "z"), off, 30), GiftOutcome.Off, "thanks turned off");
        Expect(Offer(queue, Gift("F", "z", 1, "", 1e9), new GiftRules { MinValue = -5 }, 30), GiftOutcome.Thanked,
               "a negative minimum thanks all");
        var none = new GiftRules { MinValue = int.MaxValue };
        Expect(Offer(queue, Gift("G", "z"), none, 30), GiftOutcome.Thanked, "a gift of no stated value is thanked");
    }

    static void AFullQueueRefusesOnlyNewThanks()
    {
        var queue = new ThanksQueue();
        var rules = new GiftRules { DelaySeconds = 5 };
        for (int i = 0; i < ThanksQueue.Capacity; ++i)
            Offer(queue, Gift("s" + i, "g"), rules, 0);
        Expect(queue.WouldOverflow(new[] { Gift("new", "g") }, rules, 1), true, "a new sender overflows");
        Expect(queue.WouldOverflow(new[] { Gift("s7", "g") }, rules, 1), false, "a merge still fits");
        Expect(queue.WouldOverflow(new[] { Gift("new", "g", 1, "", 0) }, rules, 1), false, "a filtered gift still fits");
        Expect(queue.WouldOverflow(new[] { Gift("s7", "g") }, rules, 6), true, "after the delay it would be new");
        long big = int.MaxValue;
        Offer(queue, Gift("s1", "g", big), rules, 1);
        Offer(queue, Gift("s1", "g", big), rules, 1);
        Expect(queue.TakeReady(10).Gift.Count, 1L, "s0 first");
        Expect(queue.TakeReady(10).Gift.Count, 1 + 2 * big, "merged counts do not overflow");
    }

    static string ParseError(string json)
    {
        byte[] body = Encoding.UTF8.GetBytes(json);
        string error;
        List<GiftEvent> gifts = GiftRequest.Parse(body, body.Length, out error);
        Expect(gifts == null, error != null, "a body is taken or refused, not both: " + json);
        return error;
    }

    static void PostedBodiesAreReadOrRefusedWhole()
    {
        string error;
        byte[] one = Encoding.UTF8.GetBytes(
            "{\"sender\": \"老王\", \"gift\": \"啤酒\", \"count\": 5, \"combo\": \"连击x2\", \"value\": 500, \"id\": \"evt-123\", " +
            "\"extra\": {\"nested\": [1, 2]}, \"emoji ✨\": 1}");
        List<GiftEvent> gifts = GiftRequest.Parse(one, one.Length, out error);
        Expect(error, null, "a full gift");
        if (gifts != null) {
            Expect(gifts[0].Sender + gifts[0].Gift + gifts[0].Count + gifts[0].Combo + gifts[0].Value + gifts[0].Id,
                   "老王啤酒5连击x2500evt-123", "its fields");
        }
        byte[] minimal = Encoding.UTF8.GetBytes("[{\"sender\": \"A\", \"gift\": \"B\", \"combo\": null, \"value\": null}, {\"sender\": \"C\", \"gift\": \"D\"}]");
        gifts = GiftRequest.Parse(minimal, minimal.Length, out error);
        Expect(gifts != null && gifts.Count == 2 && gifts[0].Count == 1 && gifts[0].Combo == "" && gifts[0].Value == null,
               true, "defaults, and null as absent");
        Expect(ParseError("[]"), null, "an empty array is no fault");

        var faults = new Dictionary<string, string> {
            { "{\"gift\": \"g\"}", "sender is missing" },
            { "{\"sender\": \"\", \"gift\": \"g\"}", "sender must be a non-empty string" },
            { "{\"sender\": 5, \"gift\": \"g\"}", "sender must be a non-empty string" },
            { "{\"sender\": \"s\", \"gift\": \"g\", \"count\": 0}", "count must be a whole number from 1 to 2147483647" },
            { "{\"sender\": \"s\", \"gift\": \"g\", \"count\": 2.5}", "count must be a whole number from 1 to 2147483647" },
            { "{\"sender\": \"s\", \"gift\": \"g\", \"count\": \"3\"}", "count must be a whole number from 1 to 2147483647" },
            { "{\"sender\": \"s\", \"gift\": \"g\", \"count\": 99999999999}", "count must be a whole number from 1 to 2147483647" },
            { "{\"sender\": \"s\", \"gift\": \"g\", \"value\": -1}", "value must be a number of at least 0" },
            { "{\"sender\": \"s\", \"gift\": \"g\", \"value\": 1e400}", "value must be a number of at least 0" },
            { "{\"sender\": \"s\", \"gift\": \"g\", \"id\": \"\"}", "id must be a non-empty string" },
            { "{\"sender\": \"s\", \"sender\": \"t\", \"gift\": \"g\"}", "sender is given twice" },
            { "[{\"sender\": \"s\", \"gift\": \"g\"}, 7]", "gift 2: must be an object" },
            { "[{\"sender\": \"s\", \"gift\": \"g\"}, {\"sender\": \"s\"}]", "gift 2: gift is missing" },
            { "\"gift\"", "the body must be a gift object or an array of gifts" },
            { "{\"sender\": \"" + new string('x', GiftRequest.MaxTextLength + 1) + "\", \"gift\": \"g\"}",
              "sender is longer than 256 characters" },
        };
        foreach (KeyValuePair<string, string> fault in faults)
            Expect(ParseError(fault.Key), fault.Value, "the answer to " + (fault.Key.Length > 60 ? fault.Key.Substring(0, 60) : fault.Key));

        var many = new StringBuilder("[");
        for (int i = 0; i <= GiftRequest.MaxGifts; ++i)
            many.Append(i > 0 ? "," : "").Append("{\"sender\": \"s\", \"gift\": \"g\"}");
        Expect(ParseError(many.Append("]").ToString()), "an array may hold at most 100 gifts", "101 gifts");
        Expect(ParseError(""), "the body is empty", "an empty body");
        Expect(ParseError(new string('[', 30000) + new string(']', 30000)), "gift 1: must be an object", "nested arrays");
        string deep = "{\"sender\": \"s\", \"gift\": \"g\", \"x\": " + new string('[', 30000) + new string(']', 30000) + "}";
        foreach (string bad in new[] { "{", "{\"sender\": \"s\", \"gift\": \"g\"} x", "{'sender': 1}", deep }) {
            string answer = ParseError(bad);
            Expect(answer != null && answer.StartsWith("invalid JSON: "), true,
                   "a JSON error for " + (bad.Length > 20 ? bad.Substring(0, 20) + "…" : bad) + ": " + answer);
        }
        byte[] invalidUtf8 = { (byte)'{', (byte)'"', (byte)'s', (byte)'e', (byte)'n', (byte)'d', (byte)'e', (byte)'r',
                               (byte)'"', (byte)':', (byte)'"', 0xFF, 0xFE, (byte)'"', (byte)'}' };
        GiftRequest.Parse(invalidUtf8, invalidUtf8.Length, out error);
        Expect(error != null && error.StartsWith("invalid JSON: "), true, "invalid UTF-8: " + error);
    }

    static void RoomUrlsAreTakenOnTheLoopbackOnly()
    {
        GiftUrl url;
        string error;
        Expect(RoomAddress.IsUrl("demo", out url, out error), false, "a built-in room");
        Expect(RoomAddress.IsUrl("/home/me/gifts.txt", out url, out error), false, "a script path");
        Expect(RoomAddress.IsUrl("rooms/a://b.txt", out url, out error), false, "a relative path with :// inside");
        Expect(RoomAddress.IsUrl("http://127.0.0.1:8765/gifts?token=s%20cret", out url, out error), true, "a URL");
        Expect(url != null && url.Port == 8765 && url.Path == "/gifts" && url.Token == "s cret" && error == null, true,
               "its parts");
        if (url != null)
            Expect(url.Shown, "http://127.0.0.1:8765/gifts?token=…", "the token is not shown");
        RoomAddress.IsUrl("http://LOCALHOST:9/", out url, out error);
        Expect(url != null && url.Host == "localhost" && url.Path == "/", true, "localhost, the root path");
        var refused = new[] {
            "http://0.0.0.0:8765/gifts", "http://192.168.1.5:8765/gifts", "http://[::1]:8765/gifts",
            "http://example.com:8765/gifts", "https://127.0.0.1:8765/gifts", "http://127.0.0.1/gifts",
            "http://127.0.0.1:8765/gifts?x=1", "http://127.0.0.1:8765/gifts?token=", "http://u:p@127.0.0.1:8765/",
            "http://127.0.0.1:99999/", "http://127.0.0.1:0/",
        };
        foreach (string room in refused) {
            Expect(RoomAddress.IsUrl(room, out url, out error) && url == null && error != null, true, "refused: " + room);
        }
    }

    static void RecordLinesStayOneLineAndAreWrittenWhole()
    {
        var entry = new RecordedGift {
            Gift = new GiftEvent { Sender = "a\tb\nc\\", Gift = "花", Count = 3, Combo = "x\r", Value = 0.5, Id = "e1" },
            Outcome = GiftOutcome.Merged, Arrived = new DateTime(2026, 12, 8, 21, 5, 9),
        };
        Expect(GiftRecord.Line(entry), "2026-12-08 21:05:09\ta\\tb\\nc\\\\\t花\t3\t0.5\tx\\r\tmerged\te1\n", "an escaped line");
        string folder = Path.Combine(Path.GetTempPath(), "gift-checks-" + Guid.NewGuid().ToString("N"));
        Directory.CreateDirectory(folder);
        try {
            var late = new RecordedGift { Gift = Gift("b", "g"), Outcome = GiftOutcome.Off, Arrived = new DateTime(2026, 12, 9, 0, 0, 1) };
            Expect(GiftRecord.Append(folder, new[] { entry, late }), null, "appended");
            Expect(File.ReadAllText(Path.Combine(folder, "gifts-2026-12-08.tsv")), GiftRecord.Line(entry), "the day's file");
            Expect(File.ReadAllText(Path.Combine(folder, "gifts-2026-12-09.tsv")), GiftRecord.Line(late), "the next day's file");
            Expect(GiftRecord.Append(Path.Combine(folder, "missing"), new[] { entry }) != null, true, "a missing folder is reported");
        } finally {
            Directory.Delete(folder, true);
        }
    }

    static void GiftChecks()
    {
        TheQueueMergesWithinTheDelayAndKeepsArrivalOrder();
        AFullQueueRefusesOnlyNewThanks();
        PostedBodiesAreReadOrRefusedWhole();
        RoomUrlsAreTakenOnTheLoopbackOnly();
        RecordLinesStayOneLineAndAreWrittenWhole();
    }
}
