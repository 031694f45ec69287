// SPDX-License-Identifier: GPL-2.0-or-later
// A small flat JSON object written with the framework's JSON writer, so that
// names and texts are escaped by it and never by hand: the gift endpoint's
// answer bodies and the messages the controls send to the plug-in.
using System.Collections.Generic;
using System.Globalization;
using System.IO;
using System.Runtime.Serialization.Json;
using System.Text;
using System.Xml;

namespace Tavrel
{
    sealed class JsonObject
    {
        static readonly Encoding utf8 = new UTF8Encoding(false);

        readonly List<KeyValuePair<string, object>> fields = new List<KeyValuePair<string, object>>();

        // `value` is a string, a number, a bool or null, written in the order
        // the fields were added.
        public JsonObject With(string name, object value)
        {
            fields.Add(new KeyValuePair<string, object>(name, value));
            return this;
        }

        public byte[] Bytes()
        {
            var stream = new MemoryStream();
            using (XmlDictionaryWriter writer = JsonReaderWriterFactory.CreateJsonWriter(stream, utf8, false)) {
                writer.WriteStartElement("root");
                writer.WriteAttributeString("type", "object");
                foreach (KeyValuePair<string, object> field in fields) {
                    writer.WriteStartElement(field.Key);
                    if (field.Value == null) {
                        writer.WriteAttributeString("type", "null");
                    } else if (field.Value is string) {
                        writer.WriteString((string)field.Value);
                    } else if (field.Value is bool) {
                        writer.WriteAttributeString("type", "boolean");
                        writer.WriteString((bool)field.Value ? "true" : "false");
                    } else {
                        writer.WriteAttributeString("type", "number");
                        writer.WriteString(System.Convert.ToString(field.Value, CultureInfo.InvariantCulture));
                    }
                    writer.WriteEndElement();
                }
                writer.WriteEndElement();
            }
            return stream.ToArray();
        }

        public string Text()
        {
            return utf8.GetString(Bytes());
        }
    }
}
