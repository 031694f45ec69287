// SPDX-License-Identifier: GPL-2.0-or-later
// The gift endpoints of the process: one listener a port, shared by every
// path on it, opened by the first channel whose room is a URL on that port
// and kept until "quit". While no channel of a URL runs (its sources hidden),
// posts to it are answered 503 with Retry-After, so a bridge posts them again
// later. Closing the listener instead would not do: Mono's listener answers
// a request that comes afterwards on a connection kept alive from before
// with an empty 200, and the gift would be lost as if it had been taken.
// An endpoint keeps its recent event ids for the life of the process, so a
// bridge that posts again after a scene switch does not get its gifts
// thanked twice.
using System;
using System.Collections.Generic;
using System.Runtime.CompilerServices;

namespace Tavrel
{
    static class GiftEndpoints
    {
        static readonly object sync = new object();
        static readonly Dictionary<int, GiftListener> listeners = new Dictionary<int, GiftListener>();
        static readonly Dictionary<string, GiftEndpoint> endpoints = new Dictionary<string, GiftEndpoint>();

        // Starts taking the gifts posted to `url` into `engine`; null, or
        // why it cannot (the port is taken by another program, say).
        public static string Subscribe(GiftUrl url, GiftEngine engine)
        {
            string missing = JsonReaderMissing();
            if (missing != null)
                return missing;
            lock (sync) {
                if (!listeners.ContainsKey(url.Port)) {
                    string error;
                    int port = url.Port;
                    GiftListener listener = GiftListener.Open(port, path => Route(port, path), out error);
                    if (listener == null)
                        return error;
                    listeners[port] = listener;
                }
                GiftEndpoint endpoint;
                if (!endpoints.TryGetValue(url.Endpoint, out endpoint)) {
                    endpoint = new GiftEndpoint();
                    endpoints[url.Endpoint] = endpoint;
                }
                endpoint.Add(new GiftSubscriber { Url = url, Engine = engine });
                return null;
            }
        }

        public static void Unsubscribe(GiftUrl url, GiftEngine engine)
        {
            lock (sync) {
                GiftEndpoint endpoint;
                if (endpoints.TryGetValue(url.Endpoint, out endpoint))
                    endpoint.Remove(engine);
            }
        }

        // "quit": the host is about to stop the runtime.
        public static void CloseAll()
        {
            lock (sync) {
                foreach (GiftListener listener in listeners.Values)
                    listener.Close();
                listeners.Clear();
            }
        }

        // Bodies are read and answers written with the JSON reader of Mono's
        // class library, a package of its own on Debian: without it the
        // endpoint could take no gift, so it does not listen.
        [MethodImpl(MethodImplOptions.NoInlining)]
        static string JsonReaderMissing()
        {
            try {
                LoadJsonReader();
                return null;
            } catch (Exception e) when (e is System.IO.FileNotFoundException || e is TypeLoadException) {
                return "Mono's JSON reader (System.Runtime.Serialization, package " +
                       "libmono-system-runtime-serialization4.0-cil) is not installed: " + e.Message;
            }
        }

        // Apart, so that the missing assembly fails this call, not its caller's.
        [MethodImpl(MethodImplOptions.NoInlining)]
        static void LoadJsonReader()
        {
            System.Runtime.CompilerServices.RuntimeHelpers.RunClassConstructor(
                typeof(System.Runtime.Serialization.Json.JsonReaderWriterFactory).TypeHandle);
        }

        // The endpoint of `path` on `port`, or null for a path no channel
        // has named.
        static GiftEndpoint Route(int port, string path)
        {
            lock (sync) {
                GiftEndpoint endpoint;
                return endpoints.TryGetValue(port + path, out endpoint) ? endpoint : null;
            }
        }
    }
}
