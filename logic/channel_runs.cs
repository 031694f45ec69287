// SPDX-License-Identifier: GPL-2.0-or-later
// What a channel does from "start:" to "stop:": its room feeds gifts into
// its engine, either a gift script replayed from its start or a gift
// endpoint taking posts, and the engine's thread shows the thanks.
//
// The room is read at "start:"; a later "Set:" that names another room
// switches to it at once. A room that cannot be played is reported in the
// host's log (command 200) and the channel shows its idle text.
//
// A window's engine, and the thanks waiting in it, outlive "stop:": they go
// with the window's next "init:" or with "quit".
using System.Collections.Generic;

namespace Tavrel
{
    sealed class ChannelRun
    {
        public GiftEngine Engine;
        public string Room;
        // One of these two, or neither for a room that cannot be played.
        public GiftReplay Replay;
        public GiftUrl Url;

        public void End()
        {
            if (Replay != null)
                Replay.End();
            if (Url != null)
                GiftEndpoints.Unsubscribe(Url, Engine);
            Engine.Stop();
        }
    }

    static class ChannelRuns
    {
        static readonly object sync = new object();
        static readonly Dictionary<int, ChannelRun> running = new Dictionary<int, ChannelRun>();
        static readonly Dictionary<int, GiftEngine> engines = new Dictionary<int, GiftEngine>();

        // Called on the plug-in's thread with "start:": logs the start and
        // starts the room, ending any earlier run of the window.
        public static void Start(int window)
        {
            Stop(window);
            Channel channel = ChannelTable.Get(window);
            if (channel == null)
                return;
            var run = new ChannelRun();
            lock (sync) {
                if (!engines.TryGetValue(window, out run.Engine)) {
                    run.Engine = new GiftEngine(window, channel);
                    engines[window] = run.Engine;
                }
            }
            bool ascii;
            lock (ChannelTable.Sync) {
                ascii = channel.Ascii;
                run.Room = channel.Settings.GetString("room_name", "");
            }
            string report = Open(run);
            WindowSender.SendText(window, WindowSender.LogText, "Tavrel: channel " + window + " started, " + report, ascii);
            lock (sync)
                running[window] = run;
            run.Engine.Start();
        }

        // Starts the run's room; what the log says of it.
        static string Open(ChannelRun run)
        {
            string room = run.Room;
            if (room.Length == 0)
                return "no room";
            GiftUrl url;
            string error;
            if (RoomAddress.IsUrl(room, out url, out error)) {
                if (error != null)
                    return "room " + WithoutQuery(room) + ": " + error + "; nothing listens";
                error = GiftEndpoints.Subscribe(url, run.Engine);
                if (error != null)
                    return "room " + url.Shown + ": " + error;
                run.Url = url;
                return "room " + url.Shown + ", taking gifts posted to it";
            }
            GiftScript script = GiftScript.ForRoom(room, out error);
            if (script == null)
                return "room " + room + ": cannot read the gift script: " + error;
            run.Replay = GiftReplay.Start(run.Engine, script);
            return "room " + room + ", " + script.Events.Count + " gifts" +
                   (script.LoopSeconds > 0 ? ", repeated every " + script.LoopSeconds + " s" : "") +
                   (script.BadLines > 0 ? ", " + script.BadLines + " bad lines skipped" : "");
        }

        // A refused URL may still carry a token, which logs must not show.
        static string WithoutQuery(string room)
        {
            int query = room.IndexOf('?');
            return query < 0 ? room : room.Substring(0, query) + "?…";
        }

        // Called with every "Set:": a running channel whose room changed
        // starts the new one.
        public static void SettingsChanged(int window)
        {
            ChannelRun run;
            lock (sync) {
                if (!running.TryGetValue(window, out run))
                    return;
            }
            Channel channel = ChannelTable.Get(window);
            string room;
            lock (ChannelTable.Sync)
                room = channel == null ? "" : channel.Settings.GetString("room_name", "");
            if (room != run.Room)
                Start(window);
        }

        // The window's engine, which outlives "stop:"; null before its first
        // "start:" and after "init:".
        public static GiftEngine EngineOf(int window)
        {
            lock (sync) {
                GiftEngine engine;
                return engines.TryGetValue(window, out engine) ? engine : null;
            }
        }

        public static void Stop(int window)
        {
            ChannelRun run;
            lock (sync) {
                if (!running.TryGetValue(window, out run))
                    return;
                running.Remove(window);
            }
            run.End();
        }

        // "init:" of a window: a new channel starts with an empty queue.
        public static void Reset(int window)
        {
            Stop(window);
            lock (sync)
                engines.Remove(window);
        }

        public static void StopAll()
        {
            List<ChannelRun> all;
            lock (sync) {
                all = new List<ChannelRun>(running.Values);
                running.Clear();
                engines.Clear();
            }
            foreach (ChannelRun run in all)
                run.End();
            GiftEndpoints.CloseAll();
        }
    }
}
