// Text for the command-line tools: UTF-8 (what terminals and files hold) to and from the
// system's UTF-16.
#pragma once

#include <string>
#include <string_view>

std::u16string Utf16FromUtf8(std::string_view text);
std::string Utf8FromUtf16(std::u16string_view text);
