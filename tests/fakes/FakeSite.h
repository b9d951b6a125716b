// An output site for tests: records the audio, the events (with copies of bookmark names)
// and the buffers handed to Write, and plays a script per pass of the phone loop (a pass
// begins with GetActions): actions, the skip count, rate and volume, a refused write.
#pragma once

#include "EngineSiteBase.h"

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

struct TRecordedEvent {
    std::uint16_t Id;
    std::uint16_t ParameterType;
    ULONG StreamNumber;
    ULONGLONG AudioOffset;
    WPARAM WParam;
    LPARAM LParam;
    std::u16string Name; // the bookmark name lParam pointed to
};

struct TPassScript {
    DWORD Actions = 0;
    LONG SkipCount = 0;
    LONG Rate = 0;
    USHORT Volume = 100;
    HRESULT WriteResult = S_OK;
};

class TFakeSite : public TEngineSiteBase {
public:
    std::map<int, TPassScript> Script; // by pass, from 0
    LONG Rate = 0;       // what GetRate answers; a pass flagging SPVES_RATE changes it
    USHORT Volume = 100; // what GetVolume answers; a pass flagging SPVES_VOLUME changes it
    std::function<void(const void* buffer)> OnWrite;

    std::vector<TRecordedEvent> Events;
    std::vector<std::uint8_t> Audio;
    std::vector<const void*> WriteBuffers;
    std::vector<LONG> CompletedSkips;
    int Passes = 0;

    HRESULT STDMETHODCALLTYPE AddEvents(const SPEVENT* events, ULONG count) override {
        for (ULONG i = 0; i < count; ++i) {
            const SPEVENT& e = events[i];
            TRecordedEvent recorded{e.eEventId,
                                    e.elParamType,
                                    e.ulStreamNum,
                                    e.ullAudioStreamOffset,
                                    e.wParam,
                                    e.lParam,
                                    {}};
            if (e.elParamType == SPET_LPARAM_IS_STRING && e.lParam)
                recorded.Name = reinterpret_cast<const char16_t*>(e.lParam);
            Events.push_back(recorded);
        }
        return count == 1 ? S_OK : E_INVALIDARG;
    }
    DWORD STDMETHODCALLTYPE GetActions() override {
        FCurrent = Script.count(Passes) ? Script[Passes] : TPassScript{};
        ++Passes;
        if (FCurrent.Actions & SPVES_RATE)
            Rate = FCurrent.Rate;
        if (FCurrent.Actions & SPVES_VOLUME)
            Volume = FCurrent.Volume;
        return FCurrent.Actions;
    }
    HRESULT STDMETHODCALLTYPE Write(const void* buffer, ULONG byteCount, ULONG* written) override {
        WriteBuffers.push_back(buffer);
        if (OnWrite)
            OnWrite(buffer);
        if (FCurrent.WriteResult != S_OK)
            return FCurrent.WriteResult;
        const auto* bytes = static_cast<const std::uint8_t*>(buffer);
        Audio.insert(Audio.end(), bytes, bytes + byteCount);
        if (written)
            *written = byteCount;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetRate(LONG* rate) override {
        *rate = Rate;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetVolume(USHORT* volume) override {
        *volume = Volume;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE GetSkipInfo(SPVSKIPTYPE* type, LONG* count) override {
        *type = SPVST_SENTENCE;
        *count = FCurrent.SkipCount;
        return S_OK;
    }
    HRESULT STDMETHODCALLTYPE CompleteSkip(LONG skipped) override {
        CompletedSkips.push_back(skipped);
        return S_OK;
    }

    std::vector<TRecordedEvent> EventsOf(std::uint16_t id) const {
        std::vector<TRecordedEvent> matching;
        for (const TRecordedEvent& e : Events)
            if (e.Id == id)
                matching.push_back(e);
        return matching;
    }

private:
    TPassScript FCurrent;
};
