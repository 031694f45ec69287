// SPDX-License-Identifier: GPL-2.0-or-later
// The host's heap. Plug-ins take their heap objects from it; it counts live
// blocks so that a test can prove nothing leaked.
#pragma once

#include <cstddef>

class Allocator {
public:
    virtual ~Allocator() = default;
    // A block of at least `size` bytes (contents undefined), or null.
    virtual void* Allocate(std::size_t size) = 0;
    // Gives a block back; null is ignored.
    virtual void Free(void* block) = 0;
    virtual std::size_t LiveBlocks() const = 0;
};

extern Allocator* MainAllocator;
