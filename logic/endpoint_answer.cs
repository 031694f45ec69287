// SPDX-License-Identifier: GPL-2.0-or-later
// An answer of the gift endpoint: a status and a small JSON object.
using System.Collections.Generic;

namespace Tavrel
{
    sealed class EndpointAnswer
    {
        public readonly int Status;
        // Extra headers: Retry-After, Allow, WWW-Authenticate.
        public readonly Dictionary<string, string> Headers = new Dictionary<string, string>();
        readonly JsonObject fields;

        public EndpointAnswer(int status) : this(status, new JsonObject())
        {
        }

        public EndpointAnswer(int status, JsonObject body)
        {
            Status = status;
            fields = body;
        }

        public static EndpointAnswer Error(int status, string message)
        {
            return new EndpointAnswer(status).With("error", message);
        }

        // `value` is a string, a number or a bool.
        public EndpointAnswer With(string name, object value)
        {
            fields.With(name, value);
            return this;
        }

        public EndpointAnswer WithHeader(string name, string value)
        {
            Headers[name] = value;
            return this;
        }

        public byte[] Body()
        {
            byte[] json = fields.Bytes();
            var body = new byte[json.Length + 1];
            json.CopyTo(body, 0);
            body[json.Length] = (byte)'\n';
            return body;
        }
    }
}
