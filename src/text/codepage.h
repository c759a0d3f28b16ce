// Conversions between GBK (code page 936), UTF-16 and UTF-8, on ICU's
// "windows-936-2000" converter. Malformed input never stops a conversion: it
// becomes U+FFFD and then '?'. Pure; any thread.
#pragma once

#include <string>
#include <string_view>

#include "text/text.h"

namespace quillmoss {

// Windows code page numbers as the callers name them.
inline constexpr int32_t kCodePageAnsi = 0;  // the ANSI code page, which is 936 here
inline constexpr int32_t kCodePageGbk = 936;
inline constexpr int32_t kCodePageUtf8 = 65001;

Text ansiToUtf8(const Text& text);
ByteBuffer utf8ToAnsi(const ByteBuffer& data);

// UTF-16 travels as little-endian 16-bit units. toWide ends with one zero
// unit; utf8ToWide has no terminator; fromWide reads up to the zero unit.
ByteBuffer toWide(const Text& text, std::optional<int32_t> codePage = std::nullopt);
Text fromWide(const ByteBuffer& wide, std::optional<int32_t> codePage = std::nullopt);
ByteBuffer utf8ToWide(const ByteBuffer& data);

// The boundary to UTF-16 strings (Qt, the regular-expression engine).
std::u16string gbkToUtf16(const Text& text);
Text utf16ToGbk(std::u16string_view units);

// A GBK text from UTF-8 bytes, for literals written in the source files.
Text gbkFromUtf8(std::string_view utf8);

}  // namespace quillmoss
