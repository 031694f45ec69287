// SPDX-License-Identifier: GPL-2.0-or-later
// printf for the host's UTF-16 log formats, shared by every host's log so a
// plug-in's format reads its arguments the same way everywhere.
#pragma once

#include "host/host_string.h"

#include <cstdarg>

// Conversions: %s (UTF-16 text; "(null)" for null), %c (a UTF-16 unit),
// %d %i %u %x %X %o, %f %F %e %E %g %G, %%; flags "-+ #0", a width and a
// precision (digits or '*'), and the sizes h, l, ll and z for the integer
// conversions. Anything else is written as it stands and consumes no
// argument. A null format gives "".
String FormatLogText(CTSTR format, va_list args);
