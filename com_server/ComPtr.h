// TComPtr: a counted reference to a COM interface; AddRef on taking, Release on letting go.
#pragma once

#include "ComTypes.h"

#include <utility>

template <class TInterface> class TComPtr {
public:
    TComPtr() = default;
    explicit TComPtr(TInterface* pointer) : FPointer(pointer) {
        if (FPointer)
            FPointer->AddRef();
    }
    TComPtr(const TComPtr& other) : TComPtr(other.FPointer) {}
    TComPtr(TComPtr&& other) noexcept : FPointer(std::exchange(other.FPointer, nullptr)) {}
    TComPtr& operator=(TComPtr other) noexcept {
        std::swap(FPointer, other.FPointer);
        return *this;
    }
    ~TComPtr() {
        if (FPointer)
            FPointer->Release();
    }

    TInterface* Get() const { return FPointer; }
    TInterface* operator->() const { return FPointer; }
    TInterface& operator*() const { return *FPointer; }
    explicit operator bool() const { return FPointer != nullptr; }

    // The pointer with one added reference, as an out-parameter hands it over.
    TInterface* Share() const {
        if (FPointer)
            FPointer->AddRef();
        return FPointer;
    }

private:
    TInterface* FPointer = nullptr;
};
