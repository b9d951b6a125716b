// The COM identity of engine objects: reference counts, QueryInterface over the four
// interfaces, aggregation, ISupportErrorInfo and the count of objects made.
#include "EngineObjects.h"

#include <gtest/gtest.h>

namespace {

struct TInterfaceCase {
    const char* Name;
    const IID* Iid;
};

const TInterfaceCase EngineInterfaces[] = {
    {"IUnknown", &IID_IUnknown},
    {"ISupportErrorInfo", &IID_ISupportErrorInfo},
    {"ISpObjectWithToken", &IID_ISpObjectWithToken},
    {"ISpTTSEngine", &IID_ISpTTSEngine},
};

constexpr IID IID_Unrelated = {0x12345678, 0x1234, 0x1234, {1, 2, 3, 4, 5, 6, 7, 8}};

TEST(ComObject, EveryInterfaceLeadsBackToOneIdentity) {
    TKelvoraSAPI5Engine* object = nullptr;
    TComPtr<ISpTTSEngine> engine = NewEngine(&object);
    IUnknown* identity = object->NonDelegatingUnknown();
    for (const TInterfaceCase& entry : EngineInterfaces) {
        SCOPED_TRACE(entry.Name);
        void* pointer = nullptr;
        ASSERT_EQ(engine->QueryInterface(*entry.Iid, &pointer), S_OK);
        ASSERT_NE(pointer, nullptr);
        EXPECT_EQ(object->RefCount(), 2);
        IUnknown* unknown = nullptr;
        IUnknown* asked = static_cast<IUnknown*>(pointer);
        ASSERT_EQ(asked->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&unknown)), S_OK);
        EXPECT_EQ(unknown, identity);
        unknown->Release();
        asked->Release();
        EXPECT_EQ(object->RefCount(), 1);
    }
}

TEST(ComObject, CountsReferencesAndRefusesUnknownInterfaces) {
    TKelvoraSAPI5Engine* object = nullptr;
    TComPtr<ISpTTSEngine> engine = NewEngine(&object);
    EXPECT_EQ(engine->AddRef(), 2u);
    EXPECT_EQ(engine->Release(), 1u);
    void* pointer = &pointer;
    EXPECT_EQ(engine->QueryInterface(IID_Unrelated, &pointer), E_NOINTERFACE);
    EXPECT_EQ(pointer, nullptr);
    EXPECT_EQ(engine->QueryInterface(IID_IClassFactory, &pointer), E_NOINTERFACE);
    EXPECT_EQ(object->RefCount(), 1);
}

TEST(ComObject, SupportsErrorInfoForItsOwnInterfacesOnly) {
    TComPtr<ISpTTSEngine> engine = NewEngine();
    TComPtr<ISupportErrorInfo> errorInfo =
        Query<ISupportErrorInfo>(engine.Get(), IID_ISupportErrorInfo);
    ASSERT_TRUE(errorInfo);
    for (const TInterfaceCase& entry : EngineInterfaces)
        EXPECT_EQ(errorInfo->InterfaceSupportsErrorInfo(*entry.Iid), S_OK) << entry.Name;
    EXPECT_EQ(errorInfo->InterfaceSupportsErrorInfo(IID_Unrelated), S_FALSE);
    EXPECT_EQ(errorInfo->InterfaceSupportsErrorInfo(IID_IClassFactory), S_FALSE);
}

TEST(ComObject, ConstructionCountsObjectsAndDestructionDoesNot) {
    const std::int32_t before = FObjectCount;
    TKelvoraSAPI5Engine* object = TComObject::Construct<TKelvoraSAPI5Engine>(nullptr, nullptr);
    EXPECT_EQ(FObjectCount, before + 1);
    EXPECT_EQ(object->RefCount(), 0);
    EXPECT_EQ(object->Controller(), nullptr);
    object->ObjAddRef();
    EXPECT_EQ(object->ObjRelease(), 0u);
    EXPECT_EQ(FObjectCount, before + 1);
}

TEST(ComObject, AggregatedObjectDelegatesAllButItsInnerUnknown) {
    TOuterUnknown outer;
    TKelvoraSAPI5Engine* object = TComObject::Construct<TKelvoraSAPI5Engine>(nullptr, &outer);
    IUnknown* inner = nullptr;
    ASSERT_EQ(object->ObjQueryInterface(IID_IUnknown, reinterpret_cast<void**>(&inner)), S_OK);
    outer.Inner = inner;
    EXPECT_EQ(inner, object->NonDelegatingUnknown());
    EXPECT_EQ(object->Controller(), &outer);

    // The inner unknown counts the object itself.
    EXPECT_EQ(inner->AddRef(), 2u);
    EXPECT_EQ(inner->Release(), 1u);
    EXPECT_EQ(outer.References, 1);

    // Every other interface is reached through the inner unknown but forwards to the outer.
    ISpTTSEngine* engine = nullptr;
    ASSERT_EQ(inner->QueryInterface(IID_ISpTTSEngine, reinterpret_cast<void**>(&engine)), S_OK);
    EXPECT_EQ(object->RefCount(), 1);
    EXPECT_EQ(outer.References, 2);
    engine->AddRef();
    EXPECT_EQ(outer.References, 3);
    engine->Release();
    engine->Release();
    EXPECT_EQ(outer.References, 1);
    EXPECT_EQ(object->RefCount(), 1);

    // QueryInterface through a delegating interface asks the outer object.
    IUnknown* identity = nullptr;
    ASSERT_EQ(static_cast<ISpTTSEngine*>(object)->QueryInterface(
                  IID_IUnknown, reinterpret_cast<void**>(&identity)),
              S_OK);
    EXPECT_EQ(identity, &outer);
    EXPECT_EQ(outer.Queries, 1);
    identity->Release();

    inner->Release();
}

} // namespace
