// SPDX-License-Identifier: GPL-2.0-or-later
// Basic value types shared by the host and its plug-ins: wide text pointers,
// window and module handles, and the small vector types of the source slots.
#pragma once

#include <cstdint>

using CTSTR = const char16_t*;

// A window handle is pointer-sized; its number is the low 32 bits read as a
// signed integer (see WindowNumber in platform/).
using WindowHandle = intptr_t;
using ModuleHandle = void*;

struct Vect2 {
    float x = 0.0f;
    float y = 0.0f;
};

struct Vect {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
};

struct Vect4 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float w = 0.0f;
};

struct Matrix {
    Vect4 rows[4];
};
