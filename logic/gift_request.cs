// SPDX-License-Identifier: GPL-2.0-or-later
// The body of a post to the gift endpoint: one gift, or an array of at most
// MaxGifts, each an object
//   {"sender": "老王", "gift": "啤酒", "count": 5, "combo": "连击x2", "value": 500, "id": "evt-123"}
// "sender" and "gift" are required non-empty strings; "count" a whole
// number of at least 1 (default 1); "combo" a string (default empty);
// "value" a number of at least 0; "id" a non-empty string. An optional
// field may be null, which is the same as leaving it out; fields of other
// names are ignored, so a bridge may send more than this.
//
// Read with the framework's JSON reader, whose depth quota stops deeply
// nested bodies before they cost anything; it also refuses invalid UTF-8.
// A body is taken whole or not at all: the first fault found is the answer.
using System;
using System.Collections.Generic;
using System.Globalization;
using System.Runtime.Serialization.Json;
using System.Text;
using System.Xml;

namespace Tavrel
{
    static class GiftRequest
    {
        public const int MaxGifts = 100;
        // Longer names than this are no viewer's: a text field over it is a fault.
        public const int MaxTextLength = 256;
        // Array, gift object, field, and a little room for nested values of
        // fields that are ignored.
        const int MaxDepth = 8;

        // The gifts of `body`, or null with `error` naming the first fault.
        public static List<GiftEvent> Parse(byte[] body, int length, out string error)
        {
            error = length == 0 ? "the body is empty" : null;
            if (error != null)
                return null;
            var gifts = new List<GiftEvent>();
            var quotas = new XmlDictionaryReaderQuotas { MaxDepth = MaxDepth };
            try {
                using (XmlDictionaryReader reader = JsonReaderWriterFactory.CreateJsonReader(body, 0, length, Encoding.UTF8, quotas, null)) {
                    reader.MoveToContent();
                    string type = reader.GetAttribute("type");
                    if (type == "object") {
                        error = ReadGift(reader, "", gifts);
                    } else if (type == "array") {
                        error = ReadArray(reader, gifts);
                    } else {
                        error = "the body must be a gift object or an array of gifts";
                    }
                    // The rest must be well-formed too: "{} x" is no JSON.
                    while (error == null && reader.Read()) {
                    }
                }
            } catch (XmlException e) {
                error = "invalid JSON: " + e.Message;
            } catch (Exception e) when (e is FormatException || e is OverflowException || e is ArgumentException ||
                                        e is InvalidOperationException || e is System.Runtime.Serialization.SerializationException) {
                error = "invalid JSON: " + e.Message;
            }
            return error == null ? gifts : null;
        }

        static string ReadArray(XmlDictionaryReader reader, List<GiftEvent> gifts)
        {
            if (reader.IsEmptyElement) {
                reader.Read();
                return null;
            }
            reader.ReadStartElement();
            while (reader.MoveToContent() == XmlNodeType.Element) {
                if (gifts.Count == MaxGifts)
                    return "an array may hold at most " + MaxGifts + " gifts";
                string where = "gift " + (gifts.Count + 1) + ": ";
                if (reader.GetAttribute("type") != "object")
                    return where + "must be an object";
                string error = ReadGift(reader, where, gifts);
                if (error != null)
                    return error;
            }
            reader.ReadEndElement();
            return null;
        }

        // Reads one gift object, the reader on its element, and adds it.
        static string ReadGift(XmlDictionaryReader reader, string where, List<GiftEvent> gifts)
        {
            var gift = new GiftEvent();
            var seen = new HashSet<string>();
            if (reader.IsEmptyElement) {
                reader.Read();
            } else {
                reader.ReadStartElement();
                while (reader.MoveToContent() == XmlNodeType.Element) {
                    // Names that are no XML names arrive as <item item="name">.
                    string name = reader.LocalName == "item" && reader.GetAttribute("item") != null
                                  ? reader.GetAttribute("item") : reader.LocalName;
                    string type = reader.GetAttribute("type");
                    if (!seen.Add(name))
                        return where + name + " is given twice";
                    string error = ReadField(reader, name, type, gift);
                    if (error != null)
                        return where + error;
                }
                reader.ReadEndElement();
            }
            if (gift.Sender == null)
                return where + "sender is missing";
            if (gift.Gift == null)
                return where + "gift is missing";
            gifts.Add(gift);
            return null;
        }

        static string ReadField(XmlDictionaryReader reader, string name, string type, GiftEvent gift)
        {
            switch (name) {
            case "sender":
                return ReadText(reader, name, type, false, ref gift.Sender);
            case "gift":
                return ReadText(reader, name, type, false, ref gift.Gift);
            case "combo":
                return ReadText(reader, name, type, true, ref gift.Combo);
            case "id":
                return ReadText(reader, name, type, true, ref gift.Id);
            case "count": {
                if (type == "null")
                    break;
                string text = type == "number" ? reader.ReadElementContentAsString() : null;
                long count;
                if (text == null || !long.TryParse(text, NumberStyles.None, CultureInfo.InvariantCulture, out count) ||
                    count < 1 || count > int.MaxValue)
                    return "count must be a whole number from 1 to " + int.MaxValue;
                gift.Count = count;
                return null;
            }
            case "value": {
                if (type == "null")
                    break;
                string text = type == "number" ? reader.ReadElementContentAsString() : null;
                double value;
                if (text == null || !double.TryParse(text, NumberStyles.Float, CultureInfo.InvariantCulture, out value) ||
                    double.IsInfinity(value) || double.IsNaN(value) || value < 0)
                    return "value must be a number of at least 0";
                gift.Value = value;
                return null;
            }
            }
            reader.Skip();
            return null;
        }

        // A required text must be a non-empty string; an optional one may
        // also be null, which leaves `field` as it is. The combo may be empty.
        static string ReadText(XmlDictionaryReader reader, string name, string type, bool optional, ref string field)
        {
            if (optional && type == "null") {
                reader.Skip();
                return null;
            }
            string text = type == "string" ? reader.ReadElementContentAsString() : null;
            if (text == null || text.Length == 0 && name != "combo")
                return name + " must be a non-empty string";
            if (text.Length > MaxTextLength)
                return name + " is longer than " + MaxTextLength + " characters";
            field = text;
            return null;
        }
    }
}
