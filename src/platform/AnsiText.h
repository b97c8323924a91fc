// Single-byte text as documents and clipboard blocks hold it (object names, font face names):
// Windows code page 1252, which files from other systems use there. The program itself works
// with UTF-8 strings; these convert at the file boundary.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace zepho {

// Every byte becomes its character. The five bytes the code page leaves undefined become the
// control characters of the same value, so that they are written back unchanged.
std::string AnsiToUtf8(std::string_view bytes);

// One byte per character, at most maxChars of them. A character the code page cannot hold, and
// a byte that is not part of valid UTF-8, becomes '?'.
std::string Utf8ToAnsi(std::string_view utf8, std::size_t maxChars = std::string::npos);

// True when the bytes are valid UTF-8 throughout.
bool IsUtf8(std::string_view bytes);

// UTF-8 to UTF-16 and back, as file formats with wide-character text hold it. Bytes that are not
// valid UTF-8, and halves of surrogate pairs, become U+FFFD.
std::u16string Utf8ToUtf16(std::string_view utf8);
std::string Utf16ToUtf8(std::u16string_view utf16);

// The first maxChars characters of a UTF-8 string, never splitting a sequence; invalid bytes
// count as one character each.
std::string CutUtf8(std::string_view utf8, std::size_t maxChars);

// The longest prefix of at most maxBytes bytes that ends on a character boundary.
std::string CutUtf8Bytes(std::string_view utf8, std::size_t maxBytes);

} // namespace zepho
