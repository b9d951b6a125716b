// Shared between the platform implementations only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace Platform {

// Passes a message box to the handler set with HandleMessageBoxes; false when none is set.
bool PassToMessageBoxHandler(std::u16string_view text, std::u16string_view caption, unsigned style);

// The text of REG_SZ data: little-endian UTF-16 up to the first NUL; an odd last byte and
// a missing terminator are tolerated.
std::u16string RegistryStringFromBytes(const std::uint8_t* data, std::size_t byteCount);

} // namespace Platform
