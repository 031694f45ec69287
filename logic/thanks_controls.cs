// SPDX-License-Identifier: GPL-2.0-or-later
// The streamer's controls, commands this host adds to the vocabulary, N being
// a channel's window number:
//   test:N         a sample gift through the channel's engine (GiftEngine.OfferTest)
//   skip:N         the thanks on screen ends now
//   pause:N        no thanks starts until resume:N; gifts still wait
//   resume:N
//   clear:N        the waiting thanks are dropped, recorded as "cleared"
//   gifts:N|JSON   JSON is a body of the gift endpoint (GiftRequest), taken
//                  whole or not at all, ids the channel took lately left out
//   again:N|ID     the gift numbered ID ("gift_id" of its GiftReceived), one
//                  of the last KeptGifts.Capacity the channel took, thanked
//                  again as a test gift is (GiftEngine.OfferAgain)
//   state:N
// Each is answered exactly once with command 300 (ControlAnswer) to window
// N, sent on the calling thread: the plug-in's thread, which owns the
// window, so its window procedure has the answer before Command returns.
// The answer is one JSON object:
//   gifts:   {"accepted": N, "duplicates": D}
//   clear:   the state (ThanksState) and "cleared": the thanks dropped
//   state:   the state and "managed_heap_bytes": the bytes the assembly's
//            collected heap holds now (GC.GetTotalMemory without a
//            collection), for watching the assembly's memory over an evening
//   others:  the state after the action (again too)
//   failure: {"error": "…"}, nothing done
// The command's result stays 0, as for every command. A host whose logic
// assembly sends no 300 knows the assembly does not have these commands.
using System;
using System.Collections.Generic;
using System.Globalization;
using System.Text;

namespace Tavrel
{
    static class ThanksControls
    {
        const string NotShownError = "the channel has not been shown yet";

        const string GiftsPrefix = "gifts:";
        const string AgainPrefix = "again:";
        // Larger numbers do not survive a JSON reader that reads doubles.
        const long MaxGiftId = (1L << 53) - 1;
        static readonly string[] actions = { "test:", "skip:", "pause:", "resume:", "clear:", "state:" };
        static readonly Encoding utf8 = new UTF8Encoding(false);

        // Runs and answers `command` when it is a control command; any other
        // is left alone.
        public static void Run(string command)
        {
            int window;
            string argument;
            if (TryArgument(command, GiftsPrefix, out window, out argument)) {
                Answer(window, TakeGifts(window, argument));
                return;
            }
            if (TryArgument(command, AgainPrefix, out window, out argument)) {
                Answer(window, ThankAgain(window, argument));
                return;
            }
            foreach (string action in actions) {
                if (CommandDispatcher.TryArgument(command, action, out window)) {
                    Answer(window, Act(window, action));
                    return;
                }
            }
        }

        static JsonObject Act(int window, string action)
        {
            GiftEngine engine = ChannelRuns.EngineOf(window);
            if (engine == null)
                return Error(NotShownError);
            ThanksState after;
            switch (action) {
            case "test:": {
                string error = engine.OfferTest(new GiftEvent { Sender = "测试观众", Gift = "测试礼物", Count = 1 }, out after);
                return error == null ? after.Json() : Error(error);
            }
            case "skip:":
                return engine.Skip().Json();
            case "pause:":
                return engine.SetPaused(true).Json();
            case "resume:":
                return engine.SetPaused(false).Json();
            case "clear:": {
                int cleared = engine.Clear(out after);
                return after.Json().With("cleared", cleared);
            }
            default:
                return engine.State().Json().With("managed_heap_bytes", GC.GetTotalMemory(false));
            }
        }

        // The command is `prefix`, a window number, "|" and `argument`.
        static bool TryArgument(string command, string prefix, out int window, out string argument)
        {
            window = 0;
            argument = null;
            if (!command.StartsWith(prefix, StringComparison.Ordinal))
                return false;
            int bar = command.IndexOf('|');
            if (bar < 0 || !CommandDispatcher.ParseInt(command.Substring(prefix.Length, bar - prefix.Length), out window))
                return false;
            argument = command.Substring(bar + 1);
            return true;
        }

        static JsonObject ThankAgain(int window, string idText)
        {
            long giftId;
            if (!long.TryParse(idText, NumberStyles.None, CultureInfo.InvariantCulture, out giftId) || giftId < 1 || giftId > MaxGiftId)
                return Error("again needs the gift's number (gift_id), a whole number from 1 to " + MaxGiftId +
                             "; got \"" + idText + "\"");
            GiftEngine engine = ChannelRuns.EngineOf(window);
            if (engine == null)
                return Error(NotShownError);
            ThanksState after;
            string error = engine.OfferAgain(giftId, out after);
            return error == null ? after.Json() : Error(error);
        }

        static JsonObject TakeGifts(int window, string json)
        {
            GiftEngine engine = ChannelRuns.EngineOf(window);
            if (engine == null)
                return Error(NotShownError);
            if (!engine.Running)
                return Error(GiftEngine.HiddenError);
            byte[] body = utf8.GetBytes(json);
            if (body.Length > GiftEndpoint.MaxBodyBytes)
                return Error("the gifts may be at most " + GiftEndpoint.MaxBodyBytes + " bytes of JSON");
            string error;
            List<GiftEvent> gifts = GiftRequest.Parse(body, body.Length, out error);
            if (gifts == null)
                return Error(error);
            int accepted, duplicates;
            error = engine.OfferBatch(gifts, out accepted, out duplicates);
            if (error != null)
                return Error(error);
            return new JsonObject().With("accepted", accepted).With("duplicates", duplicates);
        }

        static JsonObject Error(string message)
        {
            return new JsonObject().With("error", message);
        }

        static void Answer(int window, JsonObject answer)
        {
            WindowSender.SendText(window, WindowSender.ControlAnswer, answer.Text(), ChannelTable.WantsAnsiText(window));
        }
    }
}
