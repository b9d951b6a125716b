// The phone loop of one Speak: pulls the phones of the text handed to a channel, raises the
// bookmark, word-boundary and viseme events that fall on each phone at the audio offset where
// it starts, and writes each phone's audio to the site straight from the library's buffer,
// until the text ends, the host aborts or skips, or a write is refused. Nothing is allocated
// per phone. Also the two conversions the events need: a bookmark's number and a phone's
// duration.
#pragma once

#include "FragmentTranslation.h"
#include "KElvoraAPI.h"
#include "SAPI5DDI.h"

#include <cstdint>
#include <string_view>

// The number a bookmark name stands for: leading spaces, an optional sign, then decimal
// digits or hexadecimal ones after "$", "x", "X", "0x" or "0X", up to the end; 0 when the
// name is no such number or it does not fit in 32 bits.
std::int32_t BookmarkNumber(std::u16string_view name);

// A phone's duration in ms: samples / (rate / 1000), halves to even, at most 65535; 0 at
// rate 0.
std::uint32_t PhoneMilliseconds(std::uint32_t sampleCount, std::uint32_t samplingRate);

class TPhoneLoop {
public:
    // `samplingRate` is read again for every phone's duration.
    TPhoneLoop(ISpTTSEngineSite& site, KelvoraChannel channel, TSyncQueue& syncList,
               const std::uint32_t& samplingRate)
        : FSite(site), FChannel(channel), FSyncList(syncList), FSamplingRate(samplingRate) {}

    void Run();

private:
    // The host's actions before a phone; false when they end the speaking.
    bool TakeActions();
    // The bookmarks of the sync nodes a word start reaches, then its word boundary.
    void ReachWordStart();
    // At the end of the text: the bookmarks of the nodes never reached.
    void RaiseRemainingBookmarks();

    void RaiseBookmark(const std::u16string& name);
    void RaiseWordBoundary(std::uint32_t length, std::uint32_t sourcePosition);
    void RaiseViseme(std::uint32_t milliseconds, std::int32_t viseme);
    void Raise(std::uint16_t id, std::uint16_t parameterType, WPARAM wParam, LPARAM lParam);

    ISpTTSEngineSite& FSite;
    const KelvoraChannel FChannel;
    TSyncQueue& FSyncList;
    const std::uint32_t& FSamplingRate;

    ULONGLONG FAudioOffset = 0;      // bytes written to the site so far
    std::uint32_t FTextPosition = 0; // of the word the last phone began
    std::uint32_t FWordLength = 0;   // 0 when the last phone began no word
    std::int32_t FReachedHLLen = 0;  // of the sync node reached last
    std::uint32_t FReachedFIndex = 0;
    std::uint32_t FReachedSIndex = 0;
    bool FHighlightPending = false; // a spelled-out fragment reached and not yet reported
    SPEVENT FEvent{};               // one record, refilled for each event
};
