// TComPtr: a counted reference to a COM interface; AddRef on taking, Release on letting go.
// Adopt and Receive take over a reference that a COM call has already added, as
// out-parameters hand them over; Query asks an object for another of its interfaces.
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

    // Holds `pointer` without adding a reference: the caller's own passes to this holder.
    static TComPtr Adopt(TInterface* pointer) {
        TComPtr held;
        held.FPointer = pointer;
        return held;
    }

    // Lets go of what is held and gives the place where a COM call writes an interface
    // pointer with its added reference.
    TInterface** Receive() {
        *this = TComPtr();
        return &FPointer;
    }
    void** ReceiveUntyped() { return reinterpret_cast<void**>(Receive()); }

private:
    TInterface* FPointer = nullptr;
};

// The object's interface `iid`, or null when it has none.
template <class TInterface> TComPtr<TInterface> Query(IUnknown* object, REFIID iid) {
    TComPtr<TInterface> held;
    if (!object || FAILED(object->QueryInterface(iid, held.ReceiveUntyped())))
        return {};
    return held;
}
