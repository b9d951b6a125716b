#include "ComObject.h"

std::atomic<std::int32_t> FObjectCount{0};

HRESULT STDMETHODCALLTYPE TComObject::QueryInterface(REFIID riid, void** ppvObject) {
    if (FController)
        return FController->QueryInterface(riid, ppvObject);
    return ObjQueryInterface(riid, ppvObject);
}

ULONG STDMETHODCALLTYPE TComObject::AddRef() {
    if (FController)
        return FController->AddRef();
    return ObjAddRef();
}

ULONG STDMETHODCALLTYPE TComObject::Release() {
    if (FController)
        return FController->Release();
    return ObjRelease();
}

HRESULT STDMETHODCALLTYPE TComObject::InterfaceSupportsErrorInfo(REFIID riid) {
    return Find(riid) ? S_OK : S_FALSE;
}

void TComObject::Initialize() {}

ULONG TComObject::ObjAddRef() {
    return static_cast<ULONG>(++FRefCount);
}

HRESULT TComObject::ObjQueryInterface(REFIID riid, void** ppvObject) {
    if (!ppvObject)
        return E_POINTER;
    IUnknown* found = Find(riid);
    *ppvObject = found;
    if (!found)
        return E_NOINTERFACE;
    found->AddRef();
    return S_OK;
}

ULONG TComObject::ObjRelease() {
    std::int32_t count = --FRefCount;
    if (count == 0)
        delete this;
    return static_cast<ULONG>(count);
}

IUnknown* TComObject::Find(REFIID riid) {
    TInterfaceTable table = ClassInterfaces();
    for (std::size_t i = 0; i < table.Count; ++i)
        if (*table.Entries[i].Iid == riid)
            return table.Entries[i].Reach(*this);
    if (riid == IID_IUnknown)
        return &FInnerUnknown;
    if (riid == IID_ISupportErrorInfo)
        return static_cast<ISupportErrorInfo*>(this);
    return nullptr;
}
