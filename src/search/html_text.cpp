#include "search/html_text.h"

#include <array>
#include <cstring>
#include <string>
#include <string_view>

#include "text/codepage.h"

namespace quillmoss {
namespace {

struct NamedReference {
    std::string_view name;
    char32_t codePoint;
};

// The references index pages use in names and links; the rest of HTML's long
// list is rare there and stays as written.
constexpr std::array<NamedReference, 38> kNamedReferences{{
    {"amp", U'&'},       {"lt", U'<'},        {"gt", U'>'},        {"quot", U'"'},
    {"apos", U'\''},     {"nbsp", U'\u00A0'}, {"AMP", U'&'},       {"LT", U'<'},
    {"GT", U'>'},        {"QUOT", U'"'},      {"copy", U'\u00A9'}, {"reg", U'\u00AE'},
    {"trade", U'\u2122'}, {"hellip", U'\u2026'}, {"mdash", U'\u2014'}, {"ndash", U'\u2013'},
    {"lsquo", U'\u2018'}, {"rsquo", U'\u2019'}, {"ldquo", U'\u201C'}, {"rdquo", U'\u201D'},
    {"laquo", U'\u00AB'}, {"raquo", U'\u00BB'}, {"middot", U'\u00B7'}, {"bull", U'\u2022'},
    {"times", U'\u00D7'}, {"divide", U'\u00F7'}, {"deg", U'\u00B0'}, {"plusmn", U'\u00B1'},
    {"yen", U'\u00A5'},  {"euro", U'\u20AC'}, {"sect", U'\u00A7'}, {"para", U'\u00B6'},
    {"micro", U'\u00B5'}, {"cent", U'\u00A2'}, {"pound", U'\u00A3'}, {"shy", U'\u00AD'},
    {"ensp", U'\u2002'}, {"emsp", U'\u2003'},
}};

// Numeric references 0x80-0x9F mean the Windows-1252 characters, as browsers
// read them (0 where that code page has a hole).
constexpr std::array<char16_t, 32> kWindows1252High{
    0x20AC, 0,      0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, 0x02C6, 0x2030, 0x0160,
    0x2039, 0x0152, 0,      0x017D, 0,      0,      0x2018, 0x2019, 0x201C, 0x201D, 0x2022,
    0x2013, 0x2014, 0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0,      0x017E, 0x0178};

bool isAsciiDigit(char c) { return c >= '0' && c <= '9'; }
bool isAsciiHexDigit(char c) { return isAsciiDigit(c) || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F'); }
bool isAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
bool isHtmlSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
bool isLeadByte(char c) { return static_cast<unsigned char>(c) >= 0x80; }

void appendCodePoint(std::string& out, char32_t cp) {
    if (cp >= 0x80 && cp <= 0x9F && kWindows1252High[cp - 0x80] != 0) cp = kWindows1252High[cp - 0x80];
    if (cp == 0 || (cp >= 0xD800 && cp <= 0xDFFF) || cp > 0x10FFFF) cp = 0xFFFD;
    if (cp == 0xA0) cp = U' ';  // GBK has no no-break space; a blank is what shows
    if (cp < 0x80) {
        out += static_cast<char>(cp);
        return;
    }
    std::u16string units;
    if (cp < 0x10000) {
        units += static_cast<char16_t>(cp);
    } else {
        cp -= 0x10000;
        units += static_cast<char16_t>(0xD800 + (cp >> 10));
        units += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    }
    out += utf16ToGbk(units).bytes();
}

// Parses the reference that starts with the '&' at `at`. On success appends
// its character and returns the length of the reference; 0 otherwise.
size_t decodeReferenceAt(std::string_view text, size_t at, std::string& out) {
    size_t i = at + 1;
    if (i < text.size() && text[i] == '#') {
        ++i;
        const bool hex = i < text.size() && (text[i] == 'x' || text[i] == 'X');
        if (hex) ++i;
        const size_t digitsStart = i;
        char32_t value = 0;
        bool overflow = false;
        while (i < text.size() && (hex ? isAsciiHexDigit(text[i]) : isAsciiDigit(text[i]))) {
            const char c = text[i];
            const char32_t digit = isAsciiDigit(c) ? static_cast<char32_t>(c - '0')
                                                   : static_cast<char32_t>((c | 0x20) - 'a' + 10);
            if (value > 0x10FFFF) overflow = true;
            else value = value * (hex ? 16 : 10) + digit;
            ++i;
        }
        if (i == digitsStart || i >= text.size() || text[i] != ';') return 0;
        appendCodePoint(out, overflow ? 0xFFFD : value);
        return i + 1 - at;
    }
    const size_t nameStart = i;
    while (i < text.size() && i - nameStart < 8 && (isAsciiLetter(text[i]) || isAsciiDigit(text[i]))) ++i;
    if (i == nameStart || i >= text.size() || text[i] != ';') return 0;
    const std::string_view name = text.substr(nameStart, i - nameStart);
    for (const NamedReference& reference : kNamedReferences) {
        if (reference.name == name) {
            appendCodePoint(out, reference.codePoint);
            return i + 1 - at;
        }
    }
    return 0;
}

// Drops tags and comments; a tag's quoted attribute values may hold '>'.
std::string dropTags(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (isLeadByte(c)) {
            out.append(text.substr(i, 2));
            i += 2;
            continue;
        }
        const bool opensTag = c == '<' && i + 1 < text.size() &&
                              (isAsciiLetter(text[i + 1]) || text[i + 1] == '/' || text[i + 1] == '!' ||
                               text[i + 1] == '?');
        if (!opensTag) {
            out += c;
            ++i;
            continue;
        }
        if (text.substr(i, 4) == "<!--") {
            const size_t end = text.find("-->", i + 4);
            i = end == std::string_view::npos ? text.size() : end + 3;
            continue;
        }
        char quote = 0;
        ++i;
        while (i < text.size()) {
            const char t = text[i];
            if (quote != 0) {
                if (t == quote) quote = 0;
            } else if (t == '"' || t == '\'') {
                quote = t;
            } else if (t == '>') {
                break;
            }
            i += isLeadByte(t) ? 2 : 1;
        }
        ++i;  // past the '>' (or the end: an unclosed tag hides the rest, as in a browser)
    }
    return out;
}

std::string collapseSpaces(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    bool pendingSpace = false;
    size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (isHtmlSpace(c)) {
            pendingSpace = !out.empty();
            ++i;
            continue;
        }
        if (pendingSpace) out += ' ';
        pendingSpace = false;
        const size_t n = isLeadByte(c) ? 2 : 1;
        out.append(text.substr(i, n));
        i += n;
    }
    return out;
}

}  // namespace

Text decodeCharacterReferences(const Text& html) {
    const std::string_view text = html.view();
    if (text.find('&') == std::string_view::npos) return html;
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (isLeadByte(c)) {
            out.append(text.substr(i, 2));  // a trail byte is never taken for '&'
            i += 2;
            continue;
        }
        if (c == '&') {
            const size_t length = decodeReferenceAt(text, i, out);
            if (length > 0) {
                i += length;
                continue;
            }
        }
        out += c;
        ++i;
    }
    return Text(std::move(out));
}

Text htmlToDisplayText(const Text& html) {
    return decodeCharacterReferences(Text(collapseSpaces(dropTags(html.view()))));
}

}  // namespace quillmoss
