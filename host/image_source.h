// SPDX-License-Identifier: GPL-2.0-or-later
// The base of every image source a plug-in adds to the host's scenes. The
// slot order is the host's ABI; slots a source does not override keep the
// base implementations below. Sources live in MainAllocator storage.
#pragma once

#include "host/host_types.h"

#include <cstddef>
#include <new>

class ImageSource {
public:
    virtual ~ImageSource() = default;
    virtual void Preprocess() {}
    virtual void Tick(float /*seconds*/) {}
    virtual void Render(const Vect2& position, const Vect2& size) = 0;
    virtual Vect2 GetSize() const = 0;
    virtual void UpdateSettings() {}
    virtual void BeginScene() {}
    virtual void EndScene() {}
    virtual void GlobalSourceLeaveScene() {}
    virtual void GlobalSourceEnterScene() {}
    virtual void SetFloat(CTSTR /*name*/, float /*value*/) {}
    virtual void SetInt(CTSTR /*name*/, int /*value*/) {}
    virtual void SetString(CTSTR /*name*/, CTSTR /*value*/) {}
    virtual void SetVector(CTSTR /*name*/, const Vect& /*value*/) {}
    virtual void SetVector2(CTSTR /*name*/, const Vect2& /*value*/) {}
    virtual void SetVector4(CTSTR /*name*/, const Vect4& /*value*/) {}
    virtual void SetMatrix(CTSTR /*name*/, const Matrix& /*value*/) {}
    virtual bool GetFloat(CTSTR /*name*/, float& /*value*/) const { return false; }
    virtual bool GetInt(CTSTR /*name*/, int& /*value*/) const { return false; }
    virtual bool GetString(CTSTR /*name*/, CTSTR& /*value*/) const { return false; }
    virtual bool GetVector(CTSTR /*name*/, Vect& /*value*/) const { return false; }
    virtual bool GetVector2(CTSTR /*name*/, Vect2& /*value*/) const { return false; }
    virtual bool GetVector4(CTSTR /*name*/, Vect4& /*value*/) const { return false; }
    virtual bool GetMatrix(CTSTR /*name*/, Matrix& /*value*/) const { return false; }

    // The host deletes sources with `delete`; storage comes from and goes
    // back to MainAllocator.
    static void* operator new(std::size_t size);
    static void* operator new(std::size_t, void* place) noexcept { return place; }
    static void operator delete(void* block) noexcept;
    static void operator delete(void*, void*) noexcept {}
};
