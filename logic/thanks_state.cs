// SPDX-License-Identifier: GPL-2.0-or-later
// What a channel's engine reports of itself, to a GET on its gift endpoint
// and to the controls' "state:":
//   {"queued": Q, "showing": "…", "paused": true|false, "received": R}
// Q thanks wait; "showing" is the thanks text on screen ("" for the idle
// text or none); R gifts were received since the engine began (test gifts
// are not counted).
namespace Tavrel
{
    sealed class ThanksState
    {
        public int Queued;
        public string Showing;
        public bool Paused;
        public long Received;

        public JsonObject Json()
        {
            return new JsonObject().With("queued", Queued).With("showing", Showing)
                                   .With("paused", Paused).With("received", Received);
        }
    }
}
