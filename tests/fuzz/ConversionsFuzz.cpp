// The small readers of outside data, chosen by the first byte: bookmark names as numbers,
// phone symbols as visemes, a voice token's "SamplingRate" through SetObjectToken, REG_SZ
// data as text, and UTF-8 as UTF-16.
#include "EngineObjects.h"
#include "PhoneLoop.h"
#include "PlatformInternal.h"
#include "TextCodec.h"
#include "ValueToken.h"
#include "Visemes.h"

#include <cstdlib>

namespace {

void Require(bool holds) {
    if (!holds)
        std::abort();
}

std::u16string Utf16Of(const std::uint8_t* data, std::size_t size) {
    std::u16string text(size / 2, u'\0');
    for (std::size_t i = 0; i < text.size(); ++i)
        text[i] = static_cast<char16_t>(data[2 * i] | data[2 * i + 1] << 8);
    return text;
}

void SamplingRateOfToken(const std::u16string& rate) {
    TValueToken token({{u"", u"Anna"}, {u"SamplingRate", rate}}, {}); // outlives the engine
    TComPtr<ISpTTSEngine> engine = NewEngine();
    const HRESULT result =
        Query<ISpObjectWithToken>(engine.Get(), IID_ISpObjectWithToken)->SetObjectToken(&token);
    WAVEFORMATEX* format = nullptr;
    GUID id{};
    engine->GetOutputFormat(nullptr, nullptr, &id, &format);
    Require(format != nullptr);
    // A refused rate keeps the one before; an accepted one is a positive 32-bit number.
    if (SUCCEEDED(result))
        Require(format->nSamplesPerSec != 0);
    Platform::TaskMemFree(format);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0)
        return 0;
    const std::uint8_t which = data[0];
    ++data;
    --size;
    switch (which % 5) {
    case 0:
        BookmarkNumber(Utf16Of(data, size));
        break;
    case 1:
        Require(PhonemeToViseme(Utf16Of(data, size)) >= 0);
        break;
    case 2:
        SamplingRateOfToken(Utf16Of(data, size));
        break;
    case 3:
        Require(Platform::RegistryStringFromBytes(data, size).size() <= size / 2);
        break;
    default: {
        const std::u16string text =
            Utf16FromUtf8(std::string_view(reinterpret_cast<const char*>(data), size));
        Require(text.size() <= size);
        // Valid UTF-8 comes back unchanged.
        const std::string again = Utf8FromUtf16(text);
        if (text.find(u'\uFFFD') == std::u16string::npos)
            Require(again == std::string(reinterpret_cast<const char*>(data), size));
        break;
    }
    }
    return 0;
}
