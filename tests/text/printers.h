// Readable failure messages: bytes outside printable ASCII are shown as \xNN.
#pragma once

#include <cstdio>
#include <ostream>
#include <string_view>

#include "text/text.h"

namespace quillmoss {

inline void printBytes(std::string_view bytes, std::ostream* os) {
    *os << '"';
    for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7F && b != '"' && b != '\\') {
            *os << c;
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", b);
            *os << hex;
        }
    }
    *os << '"';
}

inline void PrintTo(const Text& t, std::ostream* os) { printBytes(t.view(), os); }
inline void PrintTo(const ByteBuffer& b, std::ostream* os) { printBytes(b.view(), os); }
inline void PrintTo(const TextArray& a, std::ostream* os) {
    *os << '{';
    for (const Text& t : a) {
        PrintTo(t, os);
        *os << ' ';
    }
    *os << '}';
}

inline TextArray arrayOf(std::initializer_list<const char*> items) {
    TextArray a;
    for (const char* s : items) a.append(Text(s));
    return a;
}

}  // namespace quillmoss
