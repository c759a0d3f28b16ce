#include "text/url_encode.h"

#include "text/codepage.h"

namespace quillmoss {

namespace {

// - . 0-9 A-Z a-z; the underscore and the tilde are encoded too.
bool isSafe(unsigned char b) {
    return (b > 0x2C && b < 0x3A && b != 0x2F) || (b > 0x40 && b < 0x5B) || (b > 0x60 && b < 0x7B);
}

}  // namespace

Text urlEncode(const Text& text, bool keepSafe, bool asUtf8) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const Text source = asUtf8 ? ansiToUtf8(text) : text;
    std::string out;
    out.reserve(source.bytes().size() * 3);
    for (const char c : source.bytes()) {
        const auto b = static_cast<unsigned char>(c);
        if (keepSafe && isSafe(b)) {
            out.push_back(c);
        } else {
            out.push_back('%');
            out.push_back(kHex[b >> 4]);
            out.push_back(kHex[b & 0x0F]);
        }
    }
    return Text(std::move(out));
}

}  // namespace quillmoss
