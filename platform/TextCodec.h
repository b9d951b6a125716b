// UTF-8, what terminals, files and Linux hold, to and from the system's UTF-16. Invalid
// UTF-8 becomes U+FFFD, and so does a lone surrogate of UTF-16.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

std::u16string Utf16FromUtf8(std::string_view text);
std::string Utf8FromUtf16(std::u16string_view text);

// The UTF-8 bytes (1 to 4, written to `out`) of the code point at `text[position]`, a
// surrogate pair taken whole and a lone surrogate as U+FFFD; `position` moves past it.
// Allocates nothing.
std::size_t Utf8OfCodePoint(std::u16string_view text, std::size_t& position, char out[4]);
