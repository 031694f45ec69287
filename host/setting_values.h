// SPDX-License-Identifier: GPL-2.0-or-later
// The conversions XElement promises when a stored value's type differs from
// the one asked for (see host/xelement.h), shared by every host's settings
// storage so that they all read a value the same way.
#pragma once

#include "host/host_string.h"

#include <string>

// A stored floating-point number read with GetInt: truncated toward zero,
// low 32 bits kept; NaN and numbers beyond the 64-bit range give the default.
int IntOfStoredDouble(double value, int defaultValue);
// A stored text read with GetInt: String::ToInt(10) when it starts (after
// blanks) with a sign and a digit or a digit, otherwise the default.
int IntOfStoredText(const std::string& utf8, int defaultValue);
// A stored number read with GetFloat: the default when a float cannot hold it.
float FloatOfStoredDouble(double value, float defaultValue);
// A stored text read with GetFloat: its longest leading decimal float.
float FloatOfStoredText(const std::string& utf8, float defaultValue);
// A stored floating-point number read with GetString: the shortest text
// that reads back the same; the default when it cannot be written.
String TextOfStoredDouble(double value, CTSTR defaultValue);
// The double a float is stored as: the one its shortest decimal text reads
// as, so that storage shows 180.4 rather than 180.39999389648438.
double FloatForStorage(float value);
