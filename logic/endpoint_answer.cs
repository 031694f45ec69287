// An answer of the gift endpoint: a status and a small JSON object, written
// with the framework's JSON writer.
using System.Collections.Generic;
using System.Globalization;
using System.IO;
using System.Runtime.Serialization.Json;
using System.Text;
using System.Xml;

namespace Tavrel
{
    sealed class EndpointAnswer
    {
        public readonly int Status;
        // Extra headers: Retry-After, Allow, WWW-Authenticate.
        public readonly Dictionary<string, string> Headers = new Dictionary<string, string>();
        readonly List<KeyValuePair<string, object>> fields = new List<KeyValuePair<string, object>>();

        public EndpointAnswer(int status)
        {
            Status = status;
        }

        public static EndpointAnswer Error(int status, string message)
        {
            return new EndpointAnswer(status).With("error", message);
        }

        // `value` is a string or a number.
        public EndpointAnswer With(string name, object value)
        {
            fields.Add(new KeyValuePair<string, object>(name, value));
            return this;
        }

        public EndpointAnswer WithHeader(string name, string value)
        {
            Headers[name] = value;
            return this;
        }

        public byte[] Body()
        {
            var stream = new MemoryStream();
            using (XmlDictionaryWriter writer = JsonReaderWriterFactory.CreateJsonWriter(stream, new UTF8Encoding(false), false)) {
                writer.WriteStartElement("root");
                writer.WriteAttributeString("type", "object");
                foreach (KeyValuePair<string, object> field in fields) {
                    writer.WriteStartElement(field.Key);
                    if (field.Value is string) {
                        writer.WriteString((string)field.Value);
                    } else {
                        writer.WriteAttributeString("type", "number");
                        writer.WriteString(System.Convert.ToString(field.Value, CultureInfo.InvariantCulture));
                    }
                    writer.WriteEndElement();
                }
                writer.WriteEndElement();
            }
            stream.WriteByte((byte)'\n');
            return stream.ToArray();
        }
    }
}
