// The parts of the platform seam that are the same on every operating system.
#include "Platform.h"
#include "PlatformInternal.h"

#include <atomic>

namespace Platform {

namespace {
std::atomic<TMessageBoxHandler> MessageBoxHandler{nullptr};
} // namespace

void HandleMessageBoxes(TMessageBoxHandler handler) {
    MessageBoxHandler = handler;
}

bool PassToMessageBoxHandler(std::u16string_view text, std::u16string_view caption,
                             unsigned style) {
    TMessageBoxHandler handler = MessageBoxHandler.load();
    if (!handler)
        return false;
    handler(text, caption, style);
    return true;
}

std::u16string RegistryStringFromBytes(const std::uint8_t* data, std::size_t byteCount) {
    std::u16string text;
    for (std::size_t i = 0; i + 1 < byteCount; i += 2) {
        const auto unit = static_cast<char16_t>(data[i] | data[i + 1] << 8);
        if (unit == u'\0')
            break;
        text.push_back(unit);
    }
    return text;
}

bool WriteRegistryString(TRegistryRoot root, std::u16string_view key, std::u16string_view valueName,
                         std::u16string_view text) {
    std::u16string terminated(text);
    return WriteRegistryValue(root, key, valueName, RegistryString, terminated.c_str(),
                              (terminated.size() + 1) * sizeof(char16_t));
}

} // namespace Platform
