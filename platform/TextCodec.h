// UTF-8, what terminals, files and Linux hold, to and from the system's UTF-16. Invalid
// UTF-8 becomes U+FFFD.
#pragma once

#include <string>
#include <string_view>

std::u16string Utf16FromUtf8(std::string_view text);
std::string Utf8FromUtf16(std::u16string_view text);
