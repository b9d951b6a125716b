// TComObject: the COM identity of an object. Reference counting, QueryInterface over an
// interface table per class (the class's interfaces, then the base's IUnknown and
// ISupportErrorInfo), aggregation with a delegating and a non-delegating IUnknown, and the
// construction sequence a class factory runs. FObjectCount counts the objects ever made
// (and LockServer's locks); destruction does not lower it, on purpose: once an engine has
// been made, DllCanUnloadNow answers S_FALSE until the process ends, so COM never unloads
// the DLL under the ticker thread, the loaded speech engine library or the library handles
// that engine objects of this process may still hold.
#pragma once

#include "ComTypes.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <new>

class TComClassFactory;
class TComObject;

extern std::atomic<std::int32_t> FObjectCount;

// One interface an object answers for: its IID and how to reach it from the object.
struct TInterfaceEntry {
    const IID* Iid;
    IUnknown* (*Reach)(TComObject& object);
};

struct TInterfaceTable {
    const TInterfaceEntry* Entries;
    std::size_t Count;
};

class TComObject : public ISupportErrorInfo {
public:
    TComObject(const TComObject&) = delete;
    TComObject& operator=(const TComObject&) = delete;

    // The delegating IUnknown of ISupportErrorInfo and of every interface of a derived
    // class: to the controller when aggregated, else to the Obj* operations.
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override;
    ULONG STDMETHODCALLTYPE AddRef() override;
    ULONG STDMETHODCALLTYPE Release() override;

    HRESULT STDMETHODCALLTYPE InterfaceSupportsErrorInfo(REFIID riid) override;

    virtual void Initialize();
    virtual ULONG ObjAddRef();
    virtual HRESULT ObjQueryInterface(REFIID riid, void** ppvObject);
    virtual ULONG ObjRelease();
    virtual ~TComObject() = default;

    // The object's identity: its non-delegating IUnknown.
    IUnknown* NonDelegatingUnknown() { return &FInnerUnknown; }
    IUnknown* Controller() const { return FController; }
    TComClassFactory* Factory() const { return FFactory; }
    std::int32_t RefCount() const { return FRefCount.load(); }

    // The construction sequence: a new object of class T with count 1 while Initialize
    // runs, FObjectCount raised, then count 0; the caller takes the first interface through
    // ObjQueryInterface. Throws std::bad_alloc when memory is exhausted.
    template <class T> static T* Construct(TComClassFactory* factory, IUnknown* controller) {
        T* object = new T();
        object->FRefCount = 1;
        object->FFactory = factory;
        object->FController = controller;
        ++FObjectCount;
        object->Initialize();
        object->FRefCount = 0;
        return object;
    }

protected:
    TComObject() = default;

    // The interfaces of the derived class, searched before the base's.
    virtual TInterfaceTable ClassInterfaces() const = 0;

private:
    class TNonDelegatingUnknown : public IUnknown {
    public:
        explicit TNonDelegatingUnknown(TComObject& owner) : FOwner(owner) {}
        HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override {
            return FOwner.ObjQueryInterface(riid, ppvObject);
        }
        ULONG STDMETHODCALLTYPE AddRef() override { return FOwner.ObjAddRef(); }
        ULONG STDMETHODCALLTYPE Release() override { return FOwner.ObjRelease(); }

    private:
        TComObject& FOwner;
    };

    IUnknown* Find(REFIID riid);

    IUnknown* FController = nullptr;
    TComClassFactory* FFactory = nullptr;
    std::atomic<std::int32_t> FRefCount{0};
    TNonDelegatingUnknown FInnerUnknown{*this};
};

// The base of a class that implements the interfaces TInterfaces: their IUnknown slots are
// the base's delegating ones.
template <class... TInterfaces> class TComClass : public TComObject, public TInterfaces... {
public:
    HRESULT STDMETHODCALLTYPE QueryInterface(REFIID riid, void** ppvObject) override {
        return TComObject::QueryInterface(riid, ppvObject);
    }
    ULONG STDMETHODCALLTYPE AddRef() override { return TComObject::AddRef(); }
    ULONG STDMETHODCALLTYPE Release() override { return TComObject::Release(); }
};

// How an interface table reaches the interface TInterface of an object of class TClass.
template <class TClass, class TInterface> IUnknown* ReachInterface(TComObject& object) {
    return static_cast<TInterface*>(static_cast<TClass*>(&object));
}
