#include "ComServer.h"

#include "Platform.h"

#include <mutex>
#include <shared_mutex>
#include <thread>

TComServer* ComServer = nullptr;

namespace {

// Something of this module's own, by whose address the module finds its file.
const char ModuleMarker = 0;

// The caption under which the system has always shown its creation failures; users and
// support know the box by it.
const char16_t* const ZezErrorCaption = u"ZEZ Error";

// A readers-writer lock whose exclusive holder may take it again, shared or exclusive.
class TReentrantSharedLock {
public:
    void LockExclusive() {
        if (FOwner.load() == std::this_thread::get_id()) {
            ++FDepth;
            return;
        }
        FLock.lock();
        FOwner = std::this_thread::get_id();
        FDepth = 1;
    }
    void UnlockExclusive() {
        if (--FDepth == 0) {
            FOwner = std::thread::id();
            FLock.unlock();
        }
    }
    // False when this thread holds the exclusive side already, which then covers it.
    bool LockShared() {
        if (FOwner.load() == std::this_thread::get_id())
            return false;
        FLock.lock_shared();
        return true;
    }
    void UnlockShared() { FLock.unlock_shared(); }

private:
    std::shared_mutex FLock;
    std::atomic<std::thread::id> FOwner{};
    int FDepth = 0;
};

class TExclusive {
public:
    explicit TExclusive(TReentrantSharedLock& lock) : FLock(lock) { FLock.LockExclusive(); }
    TExclusive(const TExclusive&) = delete;
    TExclusive& operator=(const TExclusive&) = delete;
    ~TExclusive() { FLock.UnlockExclusive(); }

private:
    TReentrantSharedLock& FLock;
};

class TShared {
public:
    explicit TShared(TReentrantSharedLock& lock) : FLock(lock), FTaken(lock.LockShared()) {}
    TShared(const TShared&) = delete;
    TShared& operator=(const TShared&) = delete;
    ~TShared() {
        if (FTaken)
            FLock.UnlockShared();
    }

private:
    TReentrantSharedLock& FLock;
    bool FTaken;
};

struct TRegistrySwitch {
    const char16_t* Name;
    enum { Stop, MachineWide, PerUser } Effect;
};

// Tried in this order; the first that is present decides.
constexpr TRegistrySwitch RegistrySwitches[] = {
    {u"AUTOMATION", TRegistrySwitch::Stop},
    {u"EMBEDDING", TRegistrySwitch::Stop},
    {u"REGSERVER", TRegistrySwitch::MachineWide},
    {u"UNREGSERVER", TRegistrySwitch::MachineWide},
    {u"REGSERVERPERUSER", TRegistrySwitch::PerUser},
    {u"UNREGSERVERPERUSER", TRegistrySwitch::PerUser},
};

char16_t Upper(char16_t c) {
    return c >= u'a' && c <= u'z' ? static_cast<char16_t>(c - 32) : c;
}

bool IsSwitch(const std::u16string& argument, std::u16string_view name) {
    if (argument.size() != name.size() + 1 || (argument[0] != u'-' && argument[0] != u'/'))
        return false;
    for (std::size_t i = 0; i < name.size(); ++i)
        if (Upper(argument[i + 1]) != Upper(name[i]))
            return false;
    return true;
}

// The creation failure box: the error's text (its bytes widened one by one), with a full
// stop added unless its last character sorts at or below "." (so "Geheugen vol!" stays as it
// is, while "Wat?" becomes "Wat?."), the rule by which the box has always ended its text.
// Built in a fixed buffer: the failure may be that memory ran out. A longer text is cut.
void ShowCreationError(const char* text) noexcept {
    char16_t message[512];
    std::size_t length = 0;
    for (; text[length] != '\0' && length < sizeof message / sizeof message[0] - 2; ++length)
        message[length] = static_cast<char16_t>(static_cast<unsigned char>(text[length]));
    if (length > 0 && message[length - 1] > u'.')
        message[length++] = u'.';
    message[length] = u'\0';
    Platform::ShowMessageBox(message, ZezErrorCaption,
                             Platform::MessageBoxOk | Platform::MessageBoxIconStop |
                                 Platform::MessageBoxSetForeground);
}

} // namespace

// The list of class factories, made by its first use.
class TComClassFactoryList {
public:
    static TComClassFactoryList*& Instance() {
        static TComClassFactoryList* list = nullptr;
        return list;
    }
    static TComClassFactoryList& Get() {
        if (!Instance())
            Instance() = new TComClassFactoryList;
        return *Instance();
    }

    TReentrantSharedLock Lock;

    void AddToFront(TComClassFactory* factory) {
        TExclusive exclusive(Lock);
        factory->FNext = FHead;
        FHead = factory;
    }
    void Remove(TComClassFactory* factory) {
        TExclusive exclusive(Lock);
        for (TComClassFactory** link = &FHead; *link; link = &(*link)->FNext) {
            if (*link == factory) {
                *link = factory->FNext;
                return;
            }
        }
    }
    TComClassFactory* Find(REFCLSID clsid) {
        TShared shared(Lock);
        for (TComClassFactory* factory = FHead; factory; factory = factory->FNext)
            if (factory->FSettings.ClassId == clsid)
                return factory;
        return nullptr;
    }
    // Walks the list under the exclusive side, reading the next entry before it hands the
    // current one to `action`, which may take the factory out of the list.
    template <class TAction> void ForEach(TAction action) {
        TExclusive exclusive(Lock);
        for (TComClassFactory* factory = FHead; factory;) {
            TComClassFactory* next = factory->FNext;
            action(*factory);
            factory = next;
        }
    }

private:
    TComClassFactory* FHead = nullptr;
};

bool RegisterPerUserFromSwitches(const std::vector<std::u16string>& arguments) {
    for (const TRegistrySwitch& registrySwitch : RegistrySwitches) {
        for (const std::u16string& argument : arguments) {
            if (!IsSwitch(argument, registrySwitch.Name))
                continue;
            return registrySwitch.Effect == TRegistrySwitch::PerUser;
        }
    }
    return false;
}

TComServer::TComServer() {
    RegisterPerUser = RegisterPerUserFromSwitches(Platform::CommandLineArguments());
}

TComServer::~TComServer() {
    if (TComClassFactoryList* list = TComClassFactoryList::Instance())
        list->ForEach([](TComClassFactory& factory) { delete &factory; });
}

TComClassFactory::TComClassFactory(const TComClassSettings& settings) : FSettings(settings) {
    TComClassFactoryList::Get().AddToFront(this);
}

TComClassFactory::~TComClassFactory() {
    TComClassFactoryList::Get().Remove(this);
}

HRESULT STDMETHODCALLTYPE TComClassFactory::QueryInterface(REFIID riid, void** ppvObject) {
    if (!ppvObject)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IClassFactory) {
        *ppvObject = static_cast<IClassFactory*>(this);
        AddRef();
        return S_OK;
    }
    *ppvObject = nullptr;
    return E_NOINTERFACE;
}

ULONG STDMETHODCALLTYPE TComClassFactory::AddRef() {
    return static_cast<ULONG>(++ComServer->FFactoryCount);
}

ULONG STDMETHODCALLTYPE TComClassFactory::Release() {
    return static_cast<ULONG>(--ComServer->FFactoryCount);
}

HRESULT STDMETHODCALLTYPE TComClassFactory::CreateInstance(IUnknown* pUnkOuter, REFIID riid,
                                                           void** ppvObject) {
    if (!ppvObject)
        return E_POINTER;
    *ppvObject = nullptr;
    if (pUnkOuter && !(riid == IID_IUnknown))
        return CLASS_E_NOAGGREGATION;
    TComObject* object = nullptr;
    try {
        object = FSettings.Create(this, pUnkOuter);
    } catch (const std::bad_alloc&) {
        ShowCreationError("Out of memory");
        return E_UNEXPECTED;
    } catch (const std::exception& error) {
        ShowCreationError(error.what());
        return E_UNEXPECTED;
    } catch (...) {
        ShowCreationError("Unknown error");
        return E_UNEXPECTED;
    }
    const HRESULT result = object->ObjQueryInterface(riid, ppvObject);
    if (object->RefCount() == 0)
        delete object;
    return result;
}

HRESULT STDMETHODCALLTYPE TComClassFactory::LockServer(BOOL fLock) {
    const HRESULT result = Platform::LockObjectExternal(this, fLock != 0, true);
    if (fLock)
        ++FObjectCount;
    else
        --FObjectCount;
    return result;
}

void TComClassFactory::UpdateRegistry(bool registering) const {
    const bool perUser = ComServer && ComServer->RegisterPerUser;
    const Platform::TRegistryRoot root =
        perUser ? Platform::TRegistryRoot::CurrentUser : Platform::TRegistryRoot::ClassesRoot;
    const std::u16string prefix = perUser ? u"Software\\Classes\\" : u"";

    const std::u16string path = Platform::ModulePath(&ModuleMarker);
    if (path.empty())
        throw std::runtime_error("The server's own file cannot be found");
    std::u16string serverName = path.substr(path.rfind(u'\\') + 1);
    serverName = serverName.substr(0, serverName.rfind(u'.'));
    const std::u16string progId = serverName + u"." + FSettings.ClassName;
    const std::u16string clsidKey = prefix + u"CLSID\\" + Platform::ClsidText(FSettings.ClassId);
    const std::u16string progIdKey = prefix + progId;

    if (!registering) {
        Platform::DeleteRegistryKey(root, clsidKey + u"\\ProgID");
        Platform::DeleteRegistryKey(root, progIdKey + u"\\Clsid");
        Platform::DeleteRegistryKey(root, progIdKey);
        Platform::DeleteRegistryKey(root, clsidKey + u"\\InprocServer32");
        Platform::DeleteRegistryKey(root, clsidKey);
        return;
    }

    std::u16string serverPath = path;
    if (path.find(u' ') != std::u16string::npos) {
        std::u16string shortPath = Platform::ShortPath(path);
        if (!shortPath.empty())
            serverPath = shortPath;
    }
    const struct {
        std::u16string Key;
        const char16_t* ValueName;
        std::u16string Data;
    } values[] = {
        {clsidKey, u"", FSettings.Description},
        {clsidKey + u"\\InprocServer32", u"", serverPath},
        {clsidKey + u"\\InprocServer32", u"ThreadingModel", FSettings.ThreadingModel},
        {progIdKey, u"", FSettings.Description},
        {progIdKey + u"\\Clsid", u"", Platform::ClsidText(FSettings.ClassId)},
        {clsidKey + u"\\ProgID", u"", progId},
    };
    for (const auto& value : values)
        if (!Platform::WriteRegistryString(root, value.Key, value.ValueName, value.Data))
            throw TRegistryError();
}

HRESULT GetClassObject(REFCLSID rclsid, REFIID riid, void** ppv) {
    if (!ppv)
        return E_POINTER;
    if (TComClassFactory* factory = TComClassFactoryList::Get().Find(rclsid))
        return factory->QueryInterface(riid, ppv);
    *ppv = nullptr;
    return CLASS_E_CLASSNOTAVAILABLE;
}

HRESULT CanUnloadNow() {
    if (!ComServer)
        return S_OK;
    return FObjectCount.load() == 0 && ComServer->FFactoryCount.load() == 0 ? S_OK : S_FALSE;
}

namespace {

HRESULT UpdateServerRegistry(bool registering) {
    try {
        TComClassFactoryList::Get().ForEach(
            [registering](TComClassFactory& factory) { factory.UpdateRegistry(registering); });
        return S_OK;
    } catch (...) {
        return E_FAIL;
    }
}

} // namespace

HRESULT RegisterServer() {
    return UpdateServerRegistry(true);
}

HRESULT UnregisterServer() {
    return UpdateServerRegistry(false);
}

void DestroyClassFactoryList() {
    delete TComClassFactoryList::Instance();
    TComClassFactoryList::Instance() = nullptr;
}
