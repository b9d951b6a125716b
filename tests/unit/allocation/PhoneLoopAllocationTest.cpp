// The phone loop allocates nothing: every operator new of this program is counted, and
// between the first and the last Write of a long utterance the count must not move.
#include "EngineObjects.h"
#include "EngineSiteBase.h"
#include "FakeEngineLibrary.h"
#include "FakeToken.h"
#include "FragmentList.h"
#include "ReplacedOperatorNew.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <new>
#include <vector>

namespace {

thread_local bool Counting = false;
std::atomic<long> Allocations{0};

} // namespace

void* TestAllocation(std::size_t size) {
    if (Counting)
        ++Allocations;
    if (void* block = std::malloc(size ? size : 1))
        return block;
    throw std::bad_alloc();
}

namespace {

// A site that records nothing that would allocate: counts, and the allocation count at the
// first and at the last Write.
class TCountingSite : public TEngineSiteBase {
public:
    long Writes = 0;
    long Events = 0;
    long AtFirstWrite = -1;
    long AtLastWrite = -1;

    HRESULT STDMETHODCALLTYPE AddEvents(const SPEVENT*, ULONG) override {
        ++Events;
        return S_OK;
    }
    DWORD STDMETHODCALLTYPE GetActions() override {
        return Writes == 10 ? DWORD{SPVES_RATE} : DWORD{0};
    }
    HRESULT STDMETHODCALLTYPE Write(const void*, ULONG, ULONG*) override {
        if (Writes++ == 0)
            AtFirstWrite = Allocations;
        AtLastWrite = Allocations;
        return S_OK;
    }
};

TEST(PhoneLoop, AllocatesNothingPerPhone) {
    using namespace FakeEngineLibrary;
    ResetResidency();
    UseVariant(u"standard");
    TFakeToken token{{u"", u"Anna"}, {u"SamplingRate", u"16000"}};
    TComPtr<ISpTTSEngine> engine = NewEngine();
    Query<ISpObjectWithToken>(engine.Get(), IID_ISpObjectWithToken)->SetObjectToken(&token);

    // 2000 sentences, each with a bookmark of a long name and a spelled-out word.
    std::vector<TFragment> descriptions;
    for (int i = 0; i < 2000; ++i) {
        descriptions.push_back(Speak(u"Dit is een zin met woorden,"));
        descriptions.push_back(Bookmark(u"bookmark-with-a-name-beyond-short-strings"));
        descriptions.push_back(SpellOut(u"KLM"));
    }
    TFragmentList fragments(descriptions);
    TCountingSite site;
    // The fake library records calls in a text of its own; give it room beforehand.
    ASSERT_TRUE(StartEngine());
    Export<void (*)(std::uint32_t)>("fakeReserveCallLog")(1 << 20);
    Counting = true;
    HRESULT result = engine->Speak(0, SPDFID_WaveFormatEx, nullptr, fragments.First(), &site);
    Counting = false;
    ASSERT_EQ(result, S_OK);
    EXPECT_GE(site.Writes, 50000);
    EXPECT_GT(site.Events, site.Writes);
    EXPECT_GT(site.AtFirstWrite, 0); // translation allocates, before the loop
    EXPECT_EQ(site.AtLastWrite, site.AtFirstWrite);

    engine = {};
    ResetResidency();
    RemoveInstallPath();
}

} // namespace
