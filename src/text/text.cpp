#include "text/text.h"

#include <unistd.h>

#include <algorithm>
#include <cassert>
#include <charconv>
#include <cmath>
#include <cstring>
#include <ctime>
#include <limits>
#include <system_error>

#include "text/search.h"

namespace quillmoss {

using detail::isLead;
using detail::kHighBits;
using detail::loadWord;
using detail::Searcher;

namespace {

std::string_view untilZero(std::string_view bytes) {
    const void* zero = std::memchr(bytes.data(), 0, bytes.size());
    return zero ? bytes.substr(0, static_cast<size_t>(static_cast<const char*>(zero) - bytes.data()))
                : bytes;
}

size_t length(const Text& t) { return t.bytes().size(); }

// findText's Skip: start - 1, raised to 0; computed wide so that no start overflows.
size_t skipFor(std::optional<int32_t> start) {
    if (!start) return 0;
    return static_cast<size_t>(std::max<int64_t>(0, int64_t{*start} - 1));
}

int32_t position(size_t index) { return static_cast<int32_t>(index + 1); }

// True when the 8 bytes hold a 0x20.
bool hasSpaceByte(uint64_t w) {
    const uint64_t x = w ^ (detail::kOnes * 0x20);
    return ((x - detail::kOnes) & ~x & kHighBits) != 0;
}

}  // namespace

// ---- Text -------------------------------------------------------------------

Text::Text(const char* bytes) {
    if (bytes) bytes_ = bytes;
}

Text::Text(std::string_view bytes) : bytes_(untilZero(bytes)) {}

Text::Text(std::string&& bytes) : bytes_(std::move(bytes)) {
    const size_t zero = bytes_.find('\0');
    if (zero != std::string::npos) bytes_.resize(zero);
}

Text& Text::operator+=(const Text& other) {
    bytes_ += other.bytes_;
    return *this;
}

const Text& TextArray::at(int32_t index) const {
    if (index >= 1 && index <= size()) return items_[static_cast<size_t>(index - 1)];
    assert(!"TextArray::at: index outside 1..size()");
    static const Text empty;
    return empty;
}

// ---- Searching ----------------------------------------------------------------

int32_t findText(const Text& text, const Text& sought, std::optional<int32_t> start,
                 bool ignoreCase) {
    const size_t skip = skipFor(start);
    if (skip >= length(text)) return -1;
    if (sought.empty()) return 1;
    Searcher searcher(text.view(), sought.view(), ignoreCase);
    const size_t hit = searcher.find(skip);
    return hit == Searcher::npos ? -1 : position(hit);
}

int32_t findTextLast(const Text& text, const Text& sought, std::optional<int32_t> start,
                     bool ignoreCase) {
    const size_t n = length(text);
    size_t limit = n;
    if (start) limit = *start <= 1 ? 0 : std::min(n, static_cast<size_t>(*start - 1));
    if (sought.empty()) return limit > 0 ? 1 : -1;
    const std::string_view region = text.view().substr(0, limit);
    Searcher searcher(region, sought.view(), ignoreCase);
    int32_t last = -1;
    size_t from = 0;
    while (from < region.size()) {
        const size_t hit = searcher.find(from);
        if (hit == Searcher::npos) break;
        last = position(hit);
        from = hit + (isLead(region[hit]) ? 2 : 1);
    }
    return last;
}

// ---- Slicing ------------------------------------------------------------------

int32_t textLength(const Text& text) { return text.size(); }

Text textLeft(const Text& text, int32_t n) {
    if (n <= 0) return Text();
    return Text(text.view().substr(0, static_cast<size_t>(n)));
}

Text textRight(const Text& text, int32_t n) {
    if (n <= 0) return Text();
    const size_t len = length(text);
    const size_t k = std::min(len, static_cast<size_t>(n));
    return Text(text.view().substr(len - k));
}

Text textMid(const Text& text, int32_t start, int32_t n) {
    if (start < 1 || start > text.size() || n <= 0) return Text();
    return Text(text.view().substr(static_cast<size_t>(start - 1), static_cast<size_t>(n)));
}

// ---- Cleaning and case --------------------------------------------------------

Text trimSpaces(const Text& text) { return Text(detail::trimmedRange(text.view())); }

Text removeSpaces(const Text& text) {
    const std::string_view s = text.view();
    const size_t n = s.size();
    std::string out(n, '\0');
    size_t o = 0;
    size_t i = 0;
    while (i < n) {
        if (i + 8 <= n) {
            const uint64_t w = loadWord(s.data() + i);
            if ((w & kHighBits) == 0 && !hasSpaceByte(w)) {
                detail::storeWord(out.data() + o, w);
                o += 8;
                i += 8;
                continue;
            }
        }
        const unsigned char b = static_cast<unsigned char>(s[i]);
        if (b == 0x20) {
            ++i;
        } else if (b >= 0x80) {
            if (i + 1 >= n) break;  // a dangling lead byte is dropped
            if (!(b == 0xA1 && static_cast<unsigned char>(s[i + 1]) == 0xA1)) {
                out[o++] = s[i];
                out[o++] = s[i + 1];
            }
            i += 2;
        } else {
            out[o++] = s[i++];
        }
    }
    out.resize(o);
    return Text(std::move(out));
}

Text toLower(const Text& text) {
    const std::string_view s = text.view();
    const size_t n = s.size();
    std::string out(s);
    size_t i = 0;
    while (i < n) {
        if (i + 8 <= n) {
            const uint64_t w = loadWord(s.data() + i);
            if ((w & kHighBits) == 0) {
                detail::storeWord(out.data() + i, detail::foldWord(w));
                i += 8;
                continue;
            }
        }
        if (isLead(s[i])) {
            i += 2;  // the trail byte stays as it is
        } else {
            out[i] = detail::foldByte(s[i]);
            ++i;
        }
    }
    return Text(std::move(out));
}

// ---- Splitting and replacing --------------------------------------------------

TextArray splitText(const Text& text, const Text& delimiter, std::optional<int32_t> maxParts) {
    TextArray parts;
    if (text.empty() || (maxParts && *maxParts <= 0)) return parts;
    if (delimiter.empty()) {
        parts.append(text);
        return parts;
    }
    const std::string_view s = text.view();
    const size_t m = length(delimiter);
    Searcher searcher(s, delimiter.view(), false);
    size_t pieceStart = 0;
    while (true) {
        const size_t hit = searcher.find(pieceStart);
        if (hit == Searcher::npos) break;
        parts.append(Text(s.substr(pieceStart, hit - pieceStart)));
        pieceStart = hit + m;
        if (maxParts && parts.size() >= *maxParts) return parts;
    }
    if (pieceStart < s.size()) parts.append(Text(s.substr(pieceStart)));
    return parts;
}

Text replaceText(const Text& text, const Text& sought, const Text& replacement,
                 std::optional<int32_t> start, std::optional<int32_t> count, bool matchCase) {
    const size_t n = length(text);
    const size_t skip = skipFor(start);
    if (text.empty() || sought.empty() || skip >= n || (count && *count == 0)) return text;

    const std::string_view s = text.view();
    const size_t m = length(sought);
    Searcher searcher(s, sought.view(), !matchCase);
    std::string out;
    out.reserve(n);
    out.append(s.substr(0, skip));
    size_t from = skip;
    int64_t done = 0;
    while (true) {
        const size_t hit = searcher.find(from);
        if (hit == Searcher::npos) break;
        out.append(s.substr(from, hit - from));
        out.append(replacement.bytes());
        from = hit + m;
        if (count && ++done == *count) {
            out.append(s.substr(from));
            return Text(std::move(out));
        }
    }
    // The walk goes on while a whole sought text fits. A one-byte sought text
    // lets it reach a dangling lead byte, which it drops.
    size_t end = n;
    if (m == 1 && from < n && isLead(s[n - 1]) && searcher.isBoundary(from, n - 1)) end = n - 1;
    out.append(s.substr(from, end - from));
    return Text(std::move(out));
}

// ---- Conversions --------------------------------------------------------------

int32_t toInt(const Text& text) {
    const std::string_view s = text.view();
    const size_t n = s.size();
    size_t i = 0;
    // Next byte after full-width forms are mapped to ASCII; 0 at the end.
    // A double-byte character without an ASCII form yields its lead byte,
    // which stops the number as any byte >= 0x80 would.
    const auto next = [&]() -> unsigned char {
        if (i >= n) return 0;
        const auto b = static_cast<unsigned char>(s[i]);
        if (b < 0x80 || i + 1 >= n) {
            ++i;
            return b;
        }
        const auto t = static_cast<unsigned char>(s[i + 1]);
        i += 2;
        if (b == 0xA3 && t >= 0xA1 && t <= 0xFE) return static_cast<unsigned char>(t - 0x80);
        if (b == 0xA1) {
            if (t == 0xA1) return 0x20;
            if (t == 0xAB) return 0x7E;
            if (t == 0xEE || t == 0xEF) return 0x2A;
        }
        return b;
    };
    unsigned char c = next();
    while (c == 0x20 || (c >= 0x09 && c <= 0x0D)) c = next();
    bool negative = false;
    if (c == '+' || c == '-') {
        negative = c == '-';
        c = next();
    }
    uint32_t value = 0;  // wraps modulo 2^32 by design
    while (c >= '0' && c <= '9') {
        value = value * 10U + static_cast<uint32_t>(c - '0');
        c = next();
    }
    if (negative) value = 0U - value;
    return static_cast<int32_t>(value);
}

int32_t toInt(int32_t value) { return value; }

int32_t toInt(double value) {
    // Truncation toward zero; values the type cannot hold saturate instead of
    // being undefined, and NaN gives 0.
    if (std::isnan(value)) return 0;
    if (value >= 2147483647.0) return std::numeric_limits<int32_t>::max();
    if (value <= -2147483648.0) return std::numeric_limits<int32_t>::min();
    return static_cast<int32_t>(value);
}

Text toText(int32_t value) {
    char buf[16];
    const auto r = std::to_chars(buf, buf + sizeof buf, value);
    return Text(std::string_view(buf, static_cast<size_t>(r.ptr - buf)));
}

Text toText(double value) {
    // to_chars with general format and precision 13 is "%.13g", and unlike
    // printf it does not follow the process locale's decimal separator.
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::general, 13);
    if (r.ec != std::errc()) return Text();
    return Text(std::string_view(buf, static_cast<size_t>(r.ptr - buf)));
}

Text toText(const DateTime& value) {
    // GBK bytes of 年 月 日 时 分 秒.
    static constexpr std::string_view kYear = "\xC4\xEA", kMonth = "\xD4\xC2", kDay = "\xC8\xD5",
                                      kHour = "\xCA\xB1", kMinute = "\xB7\xD6",
                                      kSecond = "\xC3\xEB";
    std::string out;
    const auto put = [&](int32_t number, std::string_view unit) {
        out += toText(number).bytes();
        out += unit;
    };
    put(value.year, kYear);
    put(value.month, kMonth);
    put(value.day, kDay);
    if (value.second != 0) {
        put(value.hour, kHour);
        put(value.minute, kMinute);
        put(value.second, kSecond);
    } else if (value.minute != 0) {
        put(value.hour, kHour);
        put(value.minute, kMinute);
    } else if (value.hour != 0) {
        put(value.hour, kHour);
    }
    return Text(std::move(out));
}

Text toText(const ByteBuffer& value) { return Text(value.view()); }

Text toText(const Text& value) { return value; }

Text toHexText(int32_t value) {
    char buf[16];
    const auto r = std::to_chars(buf, buf + sizeof buf, static_cast<uint32_t>(value), 16);
    std::transform(buf, r.ptr, buf, [](char c) { return c >= 'a' ? static_cast<char>(c - 32) : c; });
    return Text(std::string_view(buf, static_cast<size_t>(r.ptr - buf)));
}

Text charFromCode(int32_t code) {
    const char byte = static_cast<char>(static_cast<uint32_t>(code) & 0xFFU);
    return byte == 0 ? Text() : Text(std::string(1, byte));
}

Text blankText(int32_t n) {
    return n <= 0 ? Text() : Text(std::string(static_cast<size_t>(n), ' '));
}

ByteBuffer toBytes(const Text& text) { return ByteBuffer(text.view()); }

// ---- Byte buffers -------------------------------------------------------------

int32_t bytesLength(const ByteBuffer& buffer) { return buffer.size(); }

ByteBuffer bytesLeft(const ByteBuffer& buffer, int32_t n) {
    if (n <= 0) return ByteBuffer();
    return ByteBuffer(buffer.view().substr(0, static_cast<size_t>(n)));
}

ByteBuffer blankBytes(int32_t n) {
    return n <= 0 ? ByteBuffer() : ByteBuffer(std::string(static_cast<size_t>(n), '\0'));
}

int32_t findBytes(const ByteBuffer& buffer, const ByteBuffer& sought, std::optional<int32_t> start) {
    const size_t skip = skipFor(start);
    const size_t n = buffer.view().size();
    if (sought.empty() || skip >= n) return -1;
    const void* hit = memmem(buffer.data() + skip, n - skip, sought.data(), sought.view().size());
    return hit ? position(static_cast<size_t>(static_cast<const char*>(hit) - buffer.data())) : -1;
}

// ---- Other --------------------------------------------------------------------

int32_t bitOr(std::initializer_list<int32_t> values) {
    int32_t result = 0;
    for (int32_t v : values) result |= v;
    return result;
}

DateTime currentTime() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return DateTime{local.tm_year + 1900, local.tm_mon + 1, local.tm_mday,
                    local.tm_hour,        local.tm_min,     std::min(local.tm_sec, 59)};
}

Text runDirectory() {
    // The path's bytes as the file system holds them, so that they can be
    // handed back to it unchanged.
    std::string path(4096, '\0');
    while (true) {
        const ssize_t got = readlink("/proc/self/exe", path.data(), path.size());
        if (got < 0) return Text();
        if (static_cast<size_t>(got) < path.size()) {
            path.resize(static_cast<size_t>(got));
            break;
        }
        path.resize(path.size() * 2);
    }
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos) return Text();
    path.resize(slash == 0 ? 1 : slash);
    return Text(std::move(path));
}

}  // namespace quillmoss
