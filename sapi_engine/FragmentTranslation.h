// Fragment translation: turns SAPI's list of text fragments into the one UTF-16 text the
// speech engine library reads (EngineInputText, with inline control sequences for tempo,
// pitch, volume and pauses), and into the sync list, one TSyncList node per fragment, that
// ties positions in that text to offsets in the caller's text and carries the bookmarks.
#pragma once

#include "SAPI5DDI.h"

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

struct TSyncList;
using Sync = TSyncList*;

struct TSyncList {
    std::uint32_t FIndex = 0; // where the fragment's own text begins in EngineInputText
    std::uint64_t SIndex = 0; // the fragment's ulTextSrcOffset
    std::int32_t HLLen = 0;   // 0 speech, >0 spelled out (one word of this length), -1 no words
    std::u16string BkMrk;     // bookmark name; empty but for bookmarks
    Sync Next = nullptr;
};

// The sync list of one Speak call: singly linked in fragment order, appended at the tail and
// consumed from the head. The nodes live in blocks owned by the list, so neither building
// nor consuming it allocates per node; a consumed node gives up its bookmark name at once.
class TSyncQueue {
public:
    TSyncQueue() = default;
    TSyncQueue(TSyncQueue&& other) noexcept;
    TSyncQueue& operator=(TSyncQueue&& other) noexcept;

    bool Empty() const { return !FHead; }
    Sync Head() const { return FHead; }
    void Append(TSyncList node);
    void DropHead();
    void Clear();

private:
    static constexpr std::size_t BlockSize = 256;
    std::vector<std::unique_ptr<TSyncList[]>> FBlocks;
    std::size_t FUsedInLastBlock = BlockSize;
    Sync FHead = nullptr;
    Sync FTail = nullptr;
};

struct TTranslation {
    std::u16string EngineInputText;
    TSyncQueue SyncList;
    bool Stopped = false; // memory ran out: the text is empty and the list incomplete
};

// Translates the fragments from `first` along pNext. Never throws: when memory runs out,
// the text is emptied, the nodes made so far are kept and Stopped is set.
TTranslation TranslateFragments(const SPVTEXTFRAG* first) noexcept;

// Every code unit followed by one space: "AB" becomes "A B ".
std::u16string SpellOutText(std::u16string_view text);

// Moves each space that stands before a punctuation mark behind it; the length is kept.
void AttachPunctuation(std::u16string& text);

// The pause units "$M" (1000 ms) down to "$I" (1 ms) that add up to `milliseconds`.
std::u16string PauseCode(std::uint32_t milliseconds);
