// SPDX-License-Identifier: GPL-2.0-or-later
// What a channel's "room_name" names: a gift script to replay (a file path,
// "demo" or "demo-loop"), or the address of a local gift endpoint, an HTTP
// URL on the loopback that the streamer's own tools post gifts to:
//   http://127.0.0.1:PORT/PATH   or   http://localhost:PORT/PATH
// optionally ending in "?token=SECRET", which posts must then present as
// "Authorization: Bearer SECRET".
using System;

namespace Tavrel
{
    sealed class GiftUrl
    {
        // "127.0.0.1" or "localhost", as the room names it.
        public string Host;
        public int Port;
        // The path, percent-escapes as the URL has them ("/" at least).
        public string Path;
        // null when the URL asks for no token.
        public string Token;

        // The URL without its token, for log lines: the token is a secret
        // and logs get shared when asking for help.
        public string Shown {
            get { return "http://" + Host + ":" + Port + Path + (Token != null ? "?token=…" : ""); }
        }

        // Where the posts go: the key of the endpoint on its port.
        public string Endpoint {
            get { return Port + Path; }
        }
    }

    static class RoomAddress
    {
        // True when `room` is meant as a URL (it has a scheme), whether or
        // not it is one the endpoint can take; then `url` is set, or, for a
        // URL that is refused, `error`.
        public static bool IsUrl(string room, out GiftUrl url, out string error)
        {
            url = null;
            error = null;
            int scheme = room.IndexOf("://", StringComparison.Ordinal);
            if (scheme <= 0 || room.Substring(0, scheme).IndexOfAny(new[] { '/', '\\', '.' }) >= 0)
                return false;
            Uri uri;
            if (!Uri.TryCreate(room, UriKind.Absolute, out uri)) {
                error = "not a valid URL";
                return true;
            }
            if (uri.Scheme != Uri.UriSchemeHttp) {
                error = "only http:// is taken (the endpoint is on this computer, so there is nothing to encrypt)";
                return true;
            }
            string host = uri.Host.ToLowerInvariant();
            if (host != "127.0.0.1" && host != "localhost") {
                error = "the gift endpoint listens on the loopback only: use http://127.0.0.1:PORT/… or http://localhost:PORT/…";
                return true;
            }
            if (uri.IsDefaultPort && room.IndexOf(":" + uri.Port, scheme + 3, StringComparison.Ordinal) < 0) {
                error = "the URL needs a port, as in http://127.0.0.1:8765/gifts";
                return true;
            }
            if (uri.Port < 1) {
                error = "the port must be between 1 and 65535";
                return true;
            }
            if (uri.UserInfo.Length > 0 || uri.Fragment.Length > 0) {
                error = "the URL may hold no user name and no #fragment";
                return true;
            }
            string token = null;
            if (uri.Query.Length > 0) {
                const string prefix = "?token=";
                string query = uri.Query;
                if (!query.StartsWith(prefix, StringComparison.Ordinal) || query.IndexOf('&') >= 0 ||
                    query.Length == prefix.Length) {
                    error = "the only query the URL may end in is ?token=SECRET";
                    return true;
                }
                token = Uri.UnescapeDataString(query.Substring(prefix.Length));
            }
            url = new GiftUrl { Host = host, Port = uri.Port, Path = uri.AbsolutePath, Token = token };
            return true;
        }
    }
}
