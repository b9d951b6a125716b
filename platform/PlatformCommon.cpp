// The parts of the platform seam that are the same on every operating system.
#include "Platform.h"

#include <atomic>

namespace Platform {

namespace {
std::atomic<TMessageBoxObserver> MessageBoxObserver{nullptr};
} // namespace

void ObserveMessageBoxes(TMessageBoxObserver observer) {
    MessageBoxObserver = observer;
}

void ReportMessageBox(std::u16string_view text, std::u16string_view caption, unsigned style) {
    if (TMessageBoxObserver observer = MessageBoxObserver.load())
        observer(text, caption, style);
}

bool WriteRegistryString(TRegistryRoot root, std::u16string_view key, std::u16string_view valueName,
                         std::u16string_view text) {
    std::u16string terminated(text);
    return WriteRegistryValue(root, key, valueName, RegistryString, terminated.c_str(),
                              (terminated.size() + 1) * sizeof(char16_t));
}

} // namespace Platform
