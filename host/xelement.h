// SPDX-License-Identifier: GPL-2.0-or-later
// An element of the host's settings tree: typed values by key and child
// elements. Plug-ins see settings only through this interface, so the
// storage behind it (a JSON scene file here) can change with the host.
//
// Conversion rules when a stored value's type differs from the one asked for:
//  - GetInt of a number: integers keep their low 32 bits; fractions are
//    truncated toward zero (2.7 gives 2, -2.7 gives -2); NaN and numbers
//    beyond the 64-bit range give the default.
//  - GetInt of a text: String::ToInt(10) when the text starts (after blanks)
//    with a sign or a digit, otherwise the default ("abc" gives the default,
//    "12px" gives 12).
//  - GetFloat of a text: the longest leading decimal float (after blanks),
//    otherwise the default. GetFloat of an integer: the nearest float.
//    Values a float cannot hold, and "inf"/"nan" texts, give the default.
//  - GetString of a number: its decimal text (integers exactly, floats in the
//    shortest form that reads back the same). A bool reads as 0/1 or
//    "0"/"1"; an element, array or null reads as the default.
// Set* replace whatever the key held, keeping the key's place in the order.
#pragma once

#include "host/host_string.h"

class XElement {
public:
    virtual ~XElement() = default;

    virtual String GetName() const = 0;
    virtual bool HasItem(CTSTR name) const = 0;

    virtual int GetInt(CTSTR name, int defaultValue = 0) const = 0;
    virtual float GetFloat(CTSTR name, float defaultValue = 0.0f) const = 0;
    virtual String GetString(CTSTR name, CTSTR defaultValue = u"") const = 0;

    virtual void SetInt(CTSTR name, int value) = 0;
    virtual void SetFloat(CTSTR name, float value) = 0;
    virtual void SetString(CTSTR name, CTSTR value) = 0;

    // The child element of that name, or null when there is none (or the key
    // holds a plain value). The element stays valid as long as its document.
    virtual XElement* GetElement(CTSTR name) = 0;
    // Creates (or replaces a plain value by) an empty child element.
    virtual XElement* CreateElement(CTSTR name) = 0;
};
