// Shared between the platform implementations only.
#pragma once

#include <string_view>

namespace Platform {

// Passes a message box to the observer set with ObserveMessageBoxes.
void ReportMessageBox(std::u16string_view text, std::u16string_view caption, unsigned style);

} // namespace Platform
