// SPDX-License-Identifier: GPL-2.0-or-later
// One gift endpoint, a port and a path: what it answers to a request, and
// where the gifts of a post go. Every channel whose room is this URL (and
// whose token, if it has one, the request presents) gets every gift; a
// post is taken by all of them or by none.
//
// Answers, each with a small JSON body:
//   202 {"accepted": N, "duplicates": D}   the gifts were taken; D of them
//       carried an id already taken (here, or by one of the channels by
//       another route) and were left out
//   200 {"queued": Q, "showing": "…", "paused": P, "received": R}   for GET
//       (ThanksState)
//   400 {"error": …}   the first fault of the body; nothing of it is taken
//   401 the room URL has a token and the request lacks "Bearer TOKEN"
//   403 an Origin header (a web page), or a Host other than the URL's
//   404 another path; 405 another method; 408 a body that stalls
//   413 a body over 64 KiB; 415 a content type other than JSON in UTF-8
//   503 with Retry-After: about ThanksQueue.Capacity thanks already wait,
//       or no channel of this URL runs now
// Each channel the post is for announces its gifts (GiftReceived): those
// taken, those left out as duplicates, or, when a full queue refused the
// post, the gifts it would have taken, as refused.
using System;
using System.Collections.Generic;

namespace Tavrel
{
    sealed class GiftSubscriber
    {
        public GiftUrl Url;
        public GiftEngine Engine;
    }

    // What the listener knows of a request before its body.
    sealed class EndpointRequest
    {
        public string Method;
        public string Host;
        public string Origin;
        public string Authorization;
        public string ContentType;
        // -1 when the body is chunked.
        public long ContentLength;
    }

    sealed class GiftEndpoint
    {
        public const int MaxBodyBytes = 64 * 1024;
        // What a refused sender waits while the URL's sources are hidden.
        const int NotShownRetrySeconds = 5;

        readonly object sync = new object();
        // Replaced, never changed, so requests read it without the lock.
        volatile List<GiftSubscriber> subscribers = new List<GiftSubscriber>();
        readonly RecentIds ids = new RecentIds();

        public void Add(GiftSubscriber subscriber)
        {
            lock (sync)
                subscribers = new List<GiftSubscriber>(subscribers) { subscriber };
        }

        public void Remove(GiftEngine engine)
        {
            lock (sync) {
                var rest = new List<GiftSubscriber>(subscribers);
                rest.RemoveAll(subscriber => subscriber.Engine == engine);
                subscribers = rest;
            }
        }

        // A page in the streamer's browser could otherwise post fake gifts.
        public static EndpointAnswer RefuseWebPage(EndpointRequest request)
        {
            return request.Origin != null
                   ? EndpointAnswer.Error(403, "requests from web pages (with an Origin header) are refused")
                   : null;
        }

        public static EndpointAnswer NotFound()
        {
            return EndpointAnswer.Error(404, "no gift endpoint at this path");
        }

        // The answer to `request` when it is known before the body, else
        // null, with `audience` the channels the body is for.
        public EndpointAnswer Check(EndpointRequest request, out List<GiftSubscriber> audience)
        {
            audience = null;
            List<GiftSubscriber> all = subscribers;
            if (all.Count == 0)
                return EndpointAnswer.Error(503, "no source takes gifts at this URL now (it is hidden); post again later")
                                     .WithHeader("Retry-After", NotShownRetrySeconds.ToString());
            if (!all.Exists(s => string.Equals(request.Host, s.Url.Host + ":" + s.Url.Port, StringComparison.OrdinalIgnoreCase)))
                return EndpointAnswer.Error(403, "the Host header must be " + all[0].Url.Host + ":" + all[0].Url.Port);
            string bearer = null;
            const string scheme = "Bearer ";
            if (request.Authorization != null && request.Authorization.StartsWith(scheme, StringComparison.OrdinalIgnoreCase))
                bearer = request.Authorization.Substring(scheme.Length).Trim();
            audience = all.FindAll(s => s.Url.Token == null || bearer != null && SameSecret(s.Url.Token, bearer));
            if (audience.Count == 0)
                return EndpointAnswer.Error(401, "this endpoint needs \"Authorization: Bearer\" with the room's token")
                                     .WithHeader("WWW-Authenticate", "Bearer");
            if (request.Method == "GET")
                return new EndpointAnswer(200, audience[0].Engine.State().Json());
            if (request.Method != "POST")
                return EndpointAnswer.Error(405, "post gifts with POST, read the state with GET").WithHeader("Allow", "GET, POST");
            if (!IsJson(request.ContentType))
                return EndpointAnswer.Error(415, "the body must be JSON: Content-Type: application/json");
            if (request.ContentLength > MaxBodyBytes)
                return TooLarge();
            return null;
        }

        public static EndpointAnswer TooLarge()
        {
            return EndpointAnswer.Error(413, "the body may be at most " + MaxBodyBytes + " bytes");
        }

        // "application/json", with no charset or UTF-8's.
        static bool IsJson(string contentType)
        {
            if (contentType == null)
                return false;
            string[] parts = contentType.Split(';');
            if (!string.Equals(parts[0].Trim(), "application/json", StringComparison.OrdinalIgnoreCase))
                return false;
            for (int i = 1; i < parts.Length; ++i) {
                string[] parameter = parts[i].Split(new[] { '=' }, 2);
                if (string.Equals(parameter[0].Trim(), "charset", StringComparison.OrdinalIgnoreCase) &&
                    (parameter.Length < 2 || !string.Equals(parameter[1].Trim().Trim('"'), "utf-8", StringComparison.OrdinalIgnoreCase)))
                    return false;
            }
            return true;
        }

        // Compares in time that does not depend on where the texts differ.
        static bool SameSecret(string expected, string given)
        {
            int difference = expected.Length ^ given.Length;
            for (int i = 0; i < given.Length; ++i)
                difference |= given[i] ^ expected[i % Math.Max(1, expected.Length)];
            return difference == 0 && expected.Length > 0;
        }

        // An id one of the channels took by another route (a "gifts:" command).
        static bool TakenBy(List<GiftSubscriber> audience, string id)
        {
            return audience.Exists(subscriber => subscriber.Engine.HasTaken(id));
        }

        public EndpointAnswer Post(byte[] body, int length, List<GiftSubscriber> audience)
        {
            string error;
            List<GiftEvent> gifts = GiftRequest.Parse(body, length, out error);
            if (gifts == null)
                return EndpointAnswer.Error(400, error);
            lock (sync) {
                var fresh = new List<GiftEvent>(gifts.Count);
                var leftOut = new HashSet<GiftEvent>();
                var inBody = new HashSet<string>();
                foreach (GiftEvent gift in gifts) {
                    if (gift.Id == null || !ids.Contains(gift.Id) && !TakenBy(audience, gift.Id) && inBody.Add(gift.Id))
                        fresh.Add(gift);
                    else
                        leftOut.Add(gift);
                }
                GiftSubscriber full = audience.Find(subscriber => subscriber.Engine.WouldOverflow(fresh));
                if (full != null) {
                    foreach (GiftSubscriber subscriber in audience)
                        subscriber.Engine.Refuse(fresh);
                    return EndpointAnswer.Error(503, "about " + ThanksQueue.Capacity + " thanks are already waiting; post again later")
                                         .WithHeader("Retry-After", full.Engine.RetryAfterSeconds.ToString());
                }
                foreach (GiftEvent gift in fresh)
                    if (gift.Id != null)
                        ids.Remember(gift.Id);
                foreach (GiftSubscriber subscriber in audience)
                    subscriber.Engine.Offer(gifts, leftOut);
                return new EndpointAnswer(202).With("accepted", fresh.Count).With("duplicates", leftOut.Count);
            }
        }
    }
}
