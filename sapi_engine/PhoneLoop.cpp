#include "PhoneLoop.h"

#include "Platform.h"
#include "Visemes.h"

#include <cmath>
#include <limits>

namespace {

int HexDigit(char16_t c) {
    if (c >= u'0' && c <= u'9')
        return c - u'0';
    if (c >= u'a' && c <= u'f')
        return c - u'a' + 10;
    if (c >= u'A' && c <= u'F')
        return c - u'A' + 10;
    return -1;
}

// The viseme of a phone symbol in the system's code page; 0 for none.
std::int32_t VisemeOfSymbol(const char* symbol) {
    if (!symbol)
        return 0;
    // No symbol of the phone set is longer than two characters.
    constexpr std::size_t longest = 4;
    std::size_t length = 0;
    while (length <= longest && symbol[length] != '\0')
        ++length;
    if (length > longest)
        return 0;
    char16_t wide[longest];
    std::size_t wideLength = Platform::AnsiToUtf16(symbol, length, wide, longest);
    return PhonemeToViseme(std::u16string_view(wide, wideLength));
}

} // namespace

void TPhoneLoop::Run() {
    const TKelvoraAPI& api = KelvoraAPI;
    for (;;) {
        if (!TakeActions())
            return;

        const char* symbol = nullptr;
        std::uint32_t sampleCount = 0;
        const std::int16_t* samples = nullptr;
        if (!api.kelvoraGetPhone(FChannel, &symbol, &sampleCount, &samples, &FTextPosition,
                                 &FWordLength)) {
            RaiseRemainingBookmarks();
            return;
        }
        if (FWordLength != 0)
            ReachWordStart();
        RaiseViseme(PhoneMilliseconds(sampleCount, FSamplingRate), VisemeOfSymbol(symbol));

        const ULONG byteCount = sampleCount * 2;
        FAudioOffset += byteCount;
        ULONG written = 0;
        if (FSite.Write(samples, byteCount, &written) != S_OK)
            return;
    }
}

bool TPhoneLoop::TakeActions() {
    const DWORD actions = FSite.GetActions();
    if (actions == 0)
        return true;
    const TKelvoraAPI& api = KelvoraAPI;
    if (actions & SPVES_ABORT) {
        api.kelvoraSetInputTextW(FChannel, u"");
        return false;
    }
    // The library cannot skip by sentences or words: any skip ends this Speak, and -1 tells
    // SAPI that the whole rest was skipped, whatever was asked. A count of 0 asks for
    // nothing, so speaking goes on.
    if (actions & SPVES_SKIP) {
        SPVSKIPTYPE skipType = SPVST_SENTENCE;
        LONG itemCount = 0;
        FSite.GetSkipInfo(&skipType, &itemCount);
        if (itemCount != 0) {
            FSite.CompleteSkip(-1);
            api.kelvoraSetInputTextW(FChannel, u"");
            return false;
        }
    }
    if (actions & SPVES_RATE) {
        LONG rate = 0;
        FSite.GetRate(&rate);
        api.kelvoraSetTempo(FChannel, rate);
    }
    if (actions & SPVES_VOLUME) {
        USHORT volume = 0;
        FSite.GetVolume(&volume);
        api.kelvoraSetVolume(FChannel, volume);
    }
    return true;
}

void TPhoneLoop::ReachWordStart() {
    for (; !FSyncList.Empty() && FSyncList.Head()->FIndex <= FTextPosition; FSyncList.DropHead()) {
        const TSyncList& reached = *FSyncList.Head();
        FReachedHLLen = reached.HLLen;
        FReachedFIndex = reached.FIndex;
        FReachedSIndex = static_cast<std::uint32_t>(reached.SIndex);
        FHighlightPending = reached.HLLen > 0;
        if (!reached.BkMrk.empty())
            RaiseBookmark(reached.BkMrk);
    }
    const std::uint32_t sourcePosition = FTextPosition - FReachedFIndex + FReachedSIndex;
    if (FHighlightPending || FReachedHLLen == 0) {
        std::uint32_t length = FWordLength;
        if (FReachedHLLen > 0) {
            length = static_cast<std::uint32_t>(FReachedHLLen);
            FHighlightPending = false;
        }
        RaiseWordBoundary(length, sourcePosition);
    }
}

void TPhoneLoop::RaiseRemainingBookmarks() {
    for (; !FSyncList.Empty(); FSyncList.DropHead())
        if (!FSyncList.Head()->BkMrk.empty())
            RaiseBookmark(FSyncList.Head()->BkMrk);
}

void TPhoneLoop::RaiseBookmark(const std::u16string& name) {
    Raise(SPEI_TTS_BOOKMARK, SPET_LPARAM_IS_STRING,
          static_cast<WPARAM>(static_cast<std::int64_t>(BookmarkNumber(name))),
          reinterpret_cast<LPARAM>(name.c_str()));
}

void TPhoneLoop::RaiseWordBoundary(std::uint32_t length, std::uint32_t sourcePosition) {
    Raise(SPEI_WORD_BOUNDARY, SPET_LPARAM_IS_UNDEFINED, length,
          static_cast<LPARAM>(sourcePosition));
}

// The duration in bits 16 to 31 of wParam (the next viseme, bits 0 to 15, is always 0), the
// viseme in bits 0 to 15 of lParam (no feature flags); both sign-extended.
void TPhoneLoop::RaiseViseme(std::uint32_t milliseconds, std::int32_t viseme) {
    const auto durationBits = static_cast<std::int32_t>(milliseconds << 16);
    const auto visemeBits = static_cast<std::int32_t>(viseme & 0xFFFF);
    Raise(SPEI_VISEME, SPET_LPARAM_IS_UNDEFINED,
          static_cast<WPARAM>(static_cast<std::int64_t>(durationBits)),
          static_cast<LPARAM>(visemeBits));
}

// Every event carries the offset from before the audio of the phone it falls on, and is
// added by itself.
void TPhoneLoop::Raise(std::uint16_t id, std::uint16_t parameterType, WPARAM wParam,
                       LPARAM lParam) {
    FEvent.eEventId = id;
    FEvent.elParamType = parameterType;
    FEvent.ulStreamNum = 0;
    FEvent.ullAudioStreamOffset = FAudioOffset;
    FEvent.wParam = wParam;
    FEvent.lParam = lParam;
    FSite.AddEvents(&FEvent, 1);
}

std::int32_t BookmarkNumber(std::u16string_view name) {
    std::size_t i = 0;
    while (i < name.size() && name[i] == u' ')
        ++i;
    bool negative = false;
    if (i < name.size() && (name[i] == u'+' || name[i] == u'-'))
        negative = name[i++] == u'-';
    std::u16string_view digits = name.substr(i);
    std::uint64_t value = 0;
    if (!digits.empty() &&
        (digits[0] == u'$' || digits[0] == u'x' || digits[0] == u'X' ||
         (digits.size() > 1 && digits[0] == u'0' && (digits[1] == u'x' || digits[1] == u'X')))) {
        digits.remove_prefix(digits[0] == u'0' ? 2 : 1);
        if (digits.empty())
            return 0;
        for (char16_t c : digits) {
            int digit = HexDigit(c);
            if (digit < 0)
                return 0;
            value = value << 4 | static_cast<std::uint64_t>(digit);
            if (value > std::numeric_limits<std::uint32_t>::max())
                return 0;
        }
        // A hexadecimal number is the bit pattern of the signed one.
        const auto pattern = static_cast<std::uint32_t>(value);
        return static_cast<std::int32_t>(negative ? 0u - pattern : pattern);
    }
    if (digits.empty())
        return 0;
    const std::uint64_t limit =
        negative ? std::uint64_t{1} << 31 : std::uint64_t{std::numeric_limits<std::int32_t>::max()};
    for (char16_t c : digits) {
        if (c < u'0' || c > u'9')
            return 0;
        value = value * 10 + static_cast<std::uint64_t>(c - u'0');
        if (value > limit)
            return 0;
    }
    return negative ? static_cast<std::int32_t>(-static_cast<std::int64_t>(value))
                    : static_cast<std::int32_t>(value);
}

std::uint32_t PhoneMilliseconds(std::uint32_t sampleCount, std::uint32_t samplingRate) {
    if (samplingRate == 0)
        return 0;
    // Round-to-nearest is the floating-point default: halves go to the even neighbour.
    const double milliseconds = std::nearbyint(sampleCount / (samplingRate / 1000.0));
    return milliseconds >= 65535.0 ? 65535u : static_cast<std::uint32_t>(milliseconds);
}
