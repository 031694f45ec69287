// SPDX-License-Identifier: GPL-2.0-or-later
// Keeping a shared library in memory for the rest of the process.
#pragma once

#include "platform/message_window.h"

// Keeps the shared library that holds `addressInLibrary` loaded until the
// process ends, whatever unloads it later: for a thread left running in its
// code, or a registry that keeps pointers into it.
MORVIK_PLATFORM_API void KeepLibraryLoaded(const void* addressInLibrary);
