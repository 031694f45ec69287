// SPDX-License-Identifier: GPL-2.0-or-later
#include "host/main_allocator.h"

#include "host/image_source.h"

#include <atomic>
#include <cstdlib>

namespace {

class CountingAllocator final : public Allocator {
public:
    void* Allocate(std::size_t size) override {
        void* block = std::malloc(size ? size : 1);
        if (block) live_.fetch_add(1, std::memory_order_relaxed);
        return block;
    }
    void Free(void* block) override {
        if (!block) return;
        std::free(block);
        live_.fetch_sub(1, std::memory_order_relaxed);
    }
    std::size_t LiveBlocks() const override { return live_.load(std::memory_order_relaxed); }

private:
    std::atomic<std::size_t> live_{0};
};

CountingAllocator countingAllocator;

}  // namespace

Allocator* MainAllocator = &countingAllocator;

void* ImageSource::operator new(std::size_t size) {
    void* block = MainAllocator->Allocate(size);
    if (!block) throw std::bad_alloc();
    return block;
}

void ImageSource::operator delete(void* block) noexcept { MainAllocator->Free(block); }
