// SPDX-License-Identifier: GPL-2.0-or-later
// Replays a gift script into a channel's engine after "start:": each gift
// is offered at its time, counted from the start, and a looping script
// starts over every round until "stop:". While the engine's queue is full
// the script waits rather than lose a gift.
//
// End() returns at once; the thread notices it at its next wait.
using System;
using System.Diagnostics;
using System.Collections.Generic;
using System.Threading;

namespace Tavrel
{
    sealed class GiftReplay
    {
        const double FullQueueRetrySeconds = 0.5;

        readonly object sync = new object();
        bool stopped;
        readonly GiftEngine engine;
        readonly GiftScript script;

        GiftReplay(GiftEngine engine, GiftScript script)
        {
            this.engine = engine;
            this.script = script;
        }

        public static GiftReplay Start(GiftEngine engine, GiftScript script)
        {
            var replay = new GiftReplay(engine, script);
            var thread = new Thread(replay.Run) { IsBackground = true, Name = "Tavrel replay " + engine.Window };
            thread.Start();
            return replay;
        }

        public void End()
        {
            lock (sync) {
                stopped = true;
                Monitor.PulseAll(sync);
            }
        }

        void Run()
        {
            try {
                Replay();
            } catch (Exception e) {
                // Nothing thrown here may end the host's process.
                Console.Error.WriteLine("Tavrel: channel " + engine.Window + ": the replay failed: " + e);
            }
        }

        void Replay()
        {
            var clock = Stopwatch.StartNew();
            List<GiftEvent> events = script.Events;
            for (int round = 0; events.Count > 0; ++round) {
                foreach (GiftEvent scripted in events) {
                    if (!WaitUntil(clock, round * script.LoopSeconds + scripted.Seconds))
                        return;
                    var gift = new[] { scripted };
                    while (engine.WouldOverflow(gift))
                        if (!WaitUntil(clock, clock.Elapsed.TotalSeconds + FullQueueRetrySeconds))
                            return;
                    engine.Offer(gift);
                }
                if (script.LoopSeconds <= 0)
                    return;
            }
        }

        // False once the replay has ended.
        bool WaitUntil(Stopwatch clock, double seconds)
        {
            lock (sync) {
                while (!stopped) {
                    double left = seconds - clock.Elapsed.TotalSeconds;
                    if (left <= 0)
                        break;
                    Monitor.Wait(sync, TimeSpan.FromSeconds(Math.Min(left, 3600)));
                }
                return !stopped;
            }
        }
    }
}
