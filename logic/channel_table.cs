// SPDX-License-Identifier: GPL-2.0-or-later
// The channels the plug-in has announced, one per window number, each with
// the settings it was last sent. Timer threads read them too, so every
// access holds the table's lock.
using System.Collections.Generic;

namespace Tavrel
{
    sealed class Channel
    {
        public readonly int Window;
        public int Platform;
        public bool Running;
        // The plug-in expects thanks text as 8-bit ANSI rather than UTF-16.
        public bool Ascii;
        // The text mode last announced to the plug-in (1029 / 1030).
        public bool AsciiAnnounced;
        public readonly ChannelSettings Settings = new ChannelSettings();

        public Channel(int window)
        {
            Window = window;
        }
    }

    static class ChannelTable
    {
        static readonly object sync = new object();
        // Held while reading a channel's settings, which "Set:" replaces.
        public static object Sync { get { return sync; } }
        static readonly Dictionary<int, Channel> channels = new Dictionary<int, Channel>();
        // "setPlatform:" names the platform of the channel the next "init:" opens.
        static int pendingPlatform;
        // "ASCII" applies to the "Set:" that follows it, and to that one only.
        static bool pendingAscii;

        public static void SetPlatform(int platform)
        {
            lock (sync)
                pendingPlatform = platform;
        }

        // A window number announced again (a window handle reused by the
        // plug-in) starts over as a fresh channel.
        public static void Open(int window)
        {
            lock (sync)
                channels[window] = new Channel(window) { Platform = pendingPlatform };
        }

        public static void ExpectAsciiSettings()
        {
            lock (sync)
                pendingAscii = true;
        }

        // Settings for a window never announced open its channel: the
        // settings are what the plug-in relies on us to keep.
        public static void StoreSettings(int window, string[] fields, int first)
        {
            lock (sync) {
                Channel channel = Find(window, true);
                channel.Settings.Assign(fields, first);
                channel.Ascii = pendingAscii;
                pendingAscii = false;
            }
        }

        // Whether texts for `window` go as 8-bit ANSI text rather than UTF-16.
        public static bool WantsAnsiText(int window)
        {
            lock (sync) {
                Channel channel = Find(window, false);
                return channel != null && channel.Ascii;
            }
        }

        // The channel of `window`, or null when it was never announced.
        public static Channel Get(int window)
        {
            lock (sync)
                return Find(window, false);
        }

        public static void SetRunning(int window, bool running)
        {
            lock (sync) {
                Channel channel = Find(window, false);
                if (channel != null)
                    channel.Running = running;
            }
        }

        public static void StopAll()
        {
            lock (sync) {
                foreach (Channel channel in channels.Values)
                    channel.Running = false;
            }
        }

        static Channel Find(int window, bool create)
        {
            Channel channel;
            if (!channels.TryGetValue(window, out channel) && create) {
                channel = new Channel(window);
                channels[window] = channel;
            }
            return channel;
        }
    }
}
