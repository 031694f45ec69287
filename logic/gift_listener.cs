// SPDX-License-Identifier: GPL-2.0-or-later
// The HTTP side of the gift endpoints of one port: the framework's
// HttpListener bound to the loopback only (127.0.0.1, under both of its
// names), each request served asynchronously so that a client that stalls
// in its headers or its body holds up no other, and every answer written
// as the endpoint of the request's path decides.
//
// A Host header that names neither loopback name never reaches this code:
// the listener answers it 400 itself.
using System;
using System.Collections.Generic;
using System.IO;
using System.Net;
using System.Threading;
using System.Threading.Tasks;

namespace Tavrel
{
    sealed class GiftListener
    {
        // A body that has not arrived whole by then is refused.
        static readonly TimeSpan BodyTimeout = TimeSpan.FromSeconds(10);

        readonly HttpListener listener = new HttpListener();
        readonly Func<string, GiftEndpoint> route;

        GiftListener(Func<string, GiftEndpoint> route)
        {
            this.route = route;
        }

        // Listens on `port`, routing each request by its path; null with
        // `error` set when the port cannot be bound.
        public static GiftListener Open(int port, Func<string, GiftEndpoint> route, out string error)
        {
            error = null;
            var opened = new GiftListener(route);
            try {
                opened.listener.Prefixes.Add("http://127.0.0.1:" + port + "/");
                opened.listener.Prefixes.Add("http://localhost:" + port + "/");
                opened.listener.IgnoreWriteExceptions = true;
                opened.listener.Start();
                opened.listener.BeginGetContext(opened.Accepted, null);
                return opened;
            } catch (Exception e) {
                error = "cannot listen on 127.0.0.1:" + port + ": " + e.Message;
                try {
                    opened.listener.Close();
                } catch (Exception) {
                }
                return null;
            }
        }

        public void Close()
        {
            try {
                listener.Close();
            } catch (Exception) {
                // Closing a listener whose sockets are gone already.
            }
        }

        void Accepted(IAsyncResult result)
        {
            HttpListenerContext context;
            try {
                context = listener.EndGetContext(result);
            } catch (Exception) {
                return;  // closed
            }
            try {
                listener.BeginGetContext(Accepted, null);
            } catch (Exception) {
                // Closed meanwhile: this last request is still answered.
            }
            Serve(context);
        }

        async void Serve(HttpListenerContext context)
        {
            try {
                var unread = new UnreadBody();
                EndpointAnswer answer = await Answer(context, unread);
                if (answer != null)
                    await Reply(context, answer, unread.Left);
            } catch (Exception) {
                // A client gone half-way, or a fault of ours: either way
                // nothing thrown here may end the host's process.
                try {
                    context.Response.Abort();
                } catch (Exception) {
                }
            }
        }

        // Whether the request's body was left (partly) unread by a refusal.
        sealed class UnreadBody
        {
            public bool Left;
        }

        // The answer; null when the connection was cut instead. A refusal
        // that comes before the body is read whole marks it `unread`.
        async Task<EndpointAnswer> Answer(HttpListenerContext context, UnreadBody unread)
        {
            HttpListenerRequest http = context.Request;
            var request = new EndpointRequest {
                Method = http.HttpMethod,
                Host = http.Headers["Host"],
                Origin = http.Headers["Origin"],
                Authorization = http.Headers["Authorization"],
                ContentType = http.ContentType,
                ContentLength = http.HasEntityBody ? http.ContentLength64 : 0,
            };
            unread.Left = http.HasEntityBody;
            EndpointAnswer answer = GiftEndpoint.RefuseWebPage(request);
            if (answer != null)
                return answer;
            GiftEndpoint endpoint = route(http.Url.AbsolutePath);
            if (endpoint == null)
                return GiftEndpoint.NotFound();
            List<GiftSubscriber> audience;
            answer = endpoint.Check(request, out audience);
            if (answer != null)
                return answer;

            // Read at most one byte more than is allowed, to tell a body
            // that is too large from one that just fits; a declared length
            // (already checked) needs no more than itself and that byte.
            long expected = request.ContentLength >= 0 ? request.ContentLength : GiftEndpoint.MaxBodyBytes;
            var body = new byte[expected + 1];
            int length = 0;
            Stream input = http.InputStream;
            using (var stalled = new CancellationTokenSource()) {
                Task timeout = Task.Delay(BodyTimeout, stalled.Token);
                try {
                    while (length < body.Length) {
                        Task<int> read = input.ReadAsync(body, length, body.Length - length);
                        if (await Task.WhenAny(read, timeout) != read) {
                            // Else the listener would wait for the rest of the
                            // body before the answer goes out.
                            context.Response.KeepAlive = false;
                            Write(context.Response, EndpointAnswer.Error(408, "the body did not arrive within " + BodyTimeout.TotalSeconds + " s"));
                            return null;
                        }
                        int got = await read;
                        if (got == 0)
                            break;
                        length += got;
                    }
                } finally {
                    // A body that came in time leaves no timer behind.
                    stalled.Cancel();
                }
            }
            if (length > GiftEndpoint.MaxBodyBytes)
                return GiftEndpoint.TooLarge();
            unread.Left = false;
            return endpoint.Post(body, length, audience);
        }

        // Writes the answer. When a refusal left the body unread, the rest of
        // it is read and dropped (up to a bound, for a short while) before
        // the connection is closed: closing a socket with bytes still
        // unread resets the connection, and the client would lose the
        // answer it was sent, seeing only "connection reset".
        static async Task Reply(HttpListenerContext context, EndpointAnswer answer, bool bodyLeft)
        {
            HttpListenerResponse response = context.Response;
            if (!bodyLeft) {
                Write(response, answer);
                return;
            }
            response.KeepAlive = false;
            Send(response, answer);
            await Discard(context.Request.InputStream);
            response.Close();
        }

        // What a client may still send after its body was refused.
        const long MaxDiscardedBytes = 16 * 1024 * 1024;
        static readonly TimeSpan DiscardTimeout = TimeSpan.FromSeconds(2);

        static async Task Discard(Stream input)
        {
            var sink = new byte[64 * 1024];
            long dropped = 0;
            using (var late = new CancellationTokenSource()) {
                Task timeout = Task.Delay(DiscardTimeout, late.Token);
                try {
                    while (dropped < MaxDiscardedBytes) {
                        Task<int> read = input.ReadAsync(sink, 0, sink.Length);
                        if (await Task.WhenAny(read, timeout) != read)
                            return;
                        int got = await read;
                        if (got == 0)
                            return;
                        dropped += got;
                    }
                } catch (Exception) {
                    // The client went away, or sent a chunk that does not parse.
                } finally {
                    late.Cancel();
                }
            }
        }

        static void Write(HttpListenerResponse response, EndpointAnswer answer)
        {
            Send(response, answer);
            response.Close();
        }

        // The status, headers and body, on their way to the client.
        static void Send(HttpListenerResponse response, EndpointAnswer answer)
        {
            byte[] body = answer.Body();
            response.StatusCode = answer.Status;
            response.ContentType = "application/json; charset=utf-8";
            foreach (KeyValuePair<string, string> header in answer.Headers)
                response.AddHeader(header.Key, header.Value);
            response.ContentLength64 = body.Length;
            response.OutputStream.Write(body, 0, body.Length);
            response.OutputStream.Flush();
        }
    }
}
