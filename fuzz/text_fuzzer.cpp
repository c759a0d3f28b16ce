// Drives every text primitive, the code-page conversions and urlEncode with
// fuzzed arguments over fuzzed bytes. The character-stepping operations are
// checked against plain byte-by-byte walks written straight from their rules;
// the rest against cheap invariants (no 0x00, lengths and positions in range,
// round trips).
#include <algorithm>
#include <cinttypes>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <vector>

#include "fuzz_support.h"
#include "text/codepage.h"
#include "text/text.h"
#include "text/url_encode.h"

namespace {

using namespace quillmoss;
using fuzzing::consumeOptionalPosition;
using fuzzing::consumePosition;
using fuzzing::consumeText;
using fuzzing::holdsNoZero;

// ---- walks written from the rules, one byte at a time ----------------------

bool isLead(char c) { return static_cast<unsigned char>(c) >= 0x80; }
char fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool sameAt(std::string_view t, size_t p, std::string_view s, bool ignoreCase) {
    for (size_t i = 0; i < s.size(); ++i) {
        char a = t[p + i], b = s[i];
        if (ignoreCase) a = fold(a), b = fold(b);
        if (a != b) return false;
    }
    return true;
}

// Next character boundary after p, or npos when a dangling lead byte ends the walk.
size_t step(std::string_view t, size_t p) {
    if (!isLead(t[p])) return p + 1;
    return p + 1 >= t.size() ? std::string_view::npos : p + 2;
}

int32_t walkFind(std::string_view t, std::string_view s, std::optional<int32_t> start, bool ic) {
    const int64_t skip = start ? std::max<int64_t>(int64_t{*start} - 1, 0) : 0;
    if (skip >= static_cast<int64_t>(t.size())) return -1;
    if (s.empty()) return 1;
    for (size_t p = static_cast<size_t>(skip); p != std::string_view::npos && p + s.size() <= t.size();
         p = step(t, p)) {
        if (sameAt(t, p, s, ic)) return static_cast<int32_t>(p + 1);
    }
    return -1;
}

int32_t walkFindLast(std::string_view t, std::string_view s, std::optional<int32_t> start, bool ic) {
    const int64_t length = static_cast<int64_t>(t.size());
    int64_t limit = length;
    if (start) limit = *start <= 1 ? 0 : std::min<int64_t>(int64_t{*start} - 1, length);
    if (s.empty()) return limit > 0 ? 1 : -1;
    int32_t last = -1;
    for (size_t p = 0; p != std::string_view::npos && static_cast<int64_t>(p + s.size()) <= limit;
         p = step(t, p)) {
        if (sameAt(t, p, s, ic)) last = static_cast<int32_t>(p + 1);
    }
    return last;
}

bool spaceAt(std::string_view t, size_t p, size_t* width) {
    if (t[p] == ' ') return *width = 1, true;
    if (static_cast<unsigned char>(t[p]) == 0xA1 && p + 1 < t.size() &&
        static_cast<unsigned char>(t[p + 1]) == 0xA1)
        return *width = 2, true;
    return false;
}

std::string walkTrim(std::string_view t) {
    size_t p = 0, w = 0;
    while (p < t.size() && spaceAt(t, p, &w)) p += w;
    size_t runStart = std::string_view::npos;
    for (size_t q = p; q < t.size();) {
        if (isLead(t[q]) && q + 1 >= t.size()) return std::string(t.substr(p, q - p));  // dangling lead
        if (spaceAt(t, q, &w)) {
            if (runStart == std::string_view::npos) runStart = q;
            q += w;
        } else {
            runStart = std::string_view::npos;
            q += isLead(t[q]) ? 2 : 1;
        }
    }
    const size_t end = runStart == std::string_view::npos ? t.size() : runStart;
    return std::string(t.substr(p, end - p));
}

std::string walkRemoveSpaces(std::string_view t) {
    std::string out;
    size_t w = 0;
    for (size_t p = 0; p < t.size();) {
        if (isLead(t[p]) && p + 1 >= t.size()) break;  // dangling lead byte goes
        if (spaceAt(t, p, &w)) {
            p += w;
        } else {
            const size_t n = isLead(t[p]) ? 2 : 1;
            out.append(t.substr(p, n));
            p += n;
        }
    }
    return out;
}

std::string walkLower(std::string_view t) {
    std::string out(t);
    for (size_t p = 0; p < out.size();) {
        if (isLead(out[p])) {
            p += 2;
        } else {
            out[p] = fold(out[p]);
            ++p;
        }
    }
    return out;
}

std::vector<std::string> walkSplit(std::string_view t, std::string_view d, std::optional<int32_t> maxParts) {
    std::vector<std::string> parts;
    if (t.empty() || (maxParts && *maxParts <= 0)) return parts;
    if (d.empty()) return {std::string(t)};
    size_t pieceStart = 0;
    size_t p = 0;
    while (p != std::string_view::npos && p + d.size() <= t.size()) {
        if (t.compare(p, d.size(), d) == 0) {
            parts.emplace_back(t.substr(pieceStart, p - pieceStart));
            if (maxParts && static_cast<int64_t>(parts.size()) == *maxParts) return parts;
            p += d.size();
            pieceStart = p;
            continue;
        }
        p = step(t, p);
    }
    if (pieceStart < t.size()) parts.emplace_back(t.substr(pieceStart));
    return parts;
}

std::string walkReplace(std::string_view t, std::string_view s, std::string_view r,
                        std::optional<int32_t> start, std::optional<int32_t> count, bool matchCase) {
    if (t.empty() || s.empty() || (start && int64_t{*start} - 1 >= static_cast<int64_t>(t.size())) ||
        (count && *count == 0))
        return std::string(t);
    size_t p = start && *start > 1 ? static_cast<size_t>(*start - 1) : 0;
    std::string out(t.substr(0, p));
    int32_t made = 0;
    while (p + s.size() <= t.size()) {
        if (sameAt(t, p, s, !matchCase)) {
            out.append(r);
            p += s.size();
            if (count && ++made == *count) break;
            continue;
        }
        if (!isLead(t[p])) {
            out += t[p++];
        } else if (p + 1 < t.size()) {
            out.append(t.substr(p, 2));
            p += 2;
        } else {
            ++p;  // a dangling lead byte met by the walk is dropped
        }
    }
    out.append(t.substr(std::min(p, t.size())));
    return out;
}

int32_t walkToInt(std::string_view t) {
    std::string ascii;
    for (size_t p = 0; p < t.size();) {
        const auto b0 = static_cast<unsigned char>(t[p]);
        if (b0 >= 0x80 && p + 1 < t.size()) {
            const auto b1 = static_cast<unsigned char>(t[p + 1]);
            if (b0 == 0xA3 && b1 >= 0xA1 && b1 <= 0xFE) ascii += static_cast<char>(b1 - 0x80);
            else if (b0 == 0xA1 && b1 == 0xA1) ascii += ' ';
            else if (b0 == 0xA1 && b1 == 0xAB) ascii += '~';
            else if (b0 == 0xA1 && (b1 == 0xEE || b1 == 0xEF)) ascii += '*';
            else ascii.append(t.substr(p, 2));
            p += 2;
        } else {
            ascii += t[p++];
        }
    }
    size_t p = 0;
    while (p < ascii.size() && ((ascii[p] >= 0x09 && ascii[p] <= 0x0D) || ascii[p] == ' ')) ++p;
    bool negative = false;
    if (p < ascii.size() && (ascii[p] == '+' || ascii[p] == '-')) negative = ascii[p++] == '-';
    uint32_t value = 0;
    for (; p < ascii.size() && ascii[p] >= '0' && ascii[p] <= '9'; ++p)
        value = value * 10u + static_cast<uint32_t>(ascii[p] - '0');
    if (negative) value = 0u - value;
    return static_cast<int32_t>(value);
}

std::string printed(const char* format, auto value) {
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, format, value);
    return buffer;
}

bool isSafeByte(unsigned char b) {
    return (b > 0x2C && b < 0x3A && b != 0x2F) || (b > 0x40 && b < 0x5B) || (b > 0x60 && b < 0x7B);
}

// Undoes urlEncode; nullopt when the text is not in its output form.
std::optional<std::string> percentDecode(std::string_view e, bool keepSafe) {
    static constexpr std::string_view kHex = "0123456789ABCDEF";
    std::string out;
    for (size_t p = 0; p < e.size();) {
        if (e[p] != '%') {
            if (!keepSafe || !isSafeByte(static_cast<unsigned char>(e[p]))) return std::nullopt;
            out += e[p++];
            continue;
        }
        if (p + 3 > e.size()) return std::nullopt;
        const size_t hi = kHex.find(e[p + 1]), lo = kHex.find(e[p + 2]);
        if (hi == std::string_view::npos || lo == std::string_view::npos) return std::nullopt;
        const auto b = static_cast<unsigned char>(hi * 16 + lo);
        if (keepSafe && isSafeByte(b)) return std::nullopt;  // should have been kept as is
        out += static_cast<char>(b);
        p += 3;
    }
    return out;
}

bool isValidUtf8(std::string_view s) {
    for (size_t p = 0; p < s.size();) {
        const auto b = static_cast<unsigned char>(s[p]);
        size_t n = 0;
        uint32_t cp = 0;
        if (b < 0x80) n = 1, cp = b;
        else if (b >= 0xC2 && b <= 0xDF) n = 2, cp = b & 0x1F;
        else if (b >= 0xE0 && b <= 0xEF) n = 3, cp = b & 0x0F;
        else if (b >= 0xF0 && b <= 0xF4) n = 4, cp = b & 0x07;
        else return false;
        if (p + n > s.size()) return false;
        for (size_t i = 1; i < n; ++i) {
            const auto c = static_cast<unsigned char>(s[p + i]);
            if ((c & 0xC0) != 0x80) return false;
            cp = (cp << 6) | (c & 0x3F);
        }
        if ((n == 3 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (n == 4 && (cp < 0x10000 || cp > 0x10FFFF)))
            return false;
        p += n;
    }
    return true;
}

// ---- the driver ------------------------------------------------------------

constexpr size_t kPool = 4;
constexpr size_t kMaxTextBytes = 512;

struct Driver {
    FuzzedDataProvider& fdp;
    Text pool[kPool];

    Text& pick() { return pool[fdp.ConsumeIntegralInRange<size_t>(0, kPool - 1)]; }
    // Keeps a result for later operations, so operations feed each other.
    void keep(Text t) {
        FUZZ_CHECK(holdsNoZero(t));
        if (t.size() <= static_cast<int32_t>(4 * kMaxTextBytes)) pick() = std::move(t);
    }

    void search() {
        Text t = pick();
        Text s = pick();
        // Now and then a text longer than the window the case-folding
        // search works in, with the interesting bytes on either side of
        // the window's edges.
        if (fdp.ConsumeIntegralInRange<int>(0, 7) == 0) {
            static constexpr char kFillers[] = {'a', 'A', '\x81', ' '};
            const char filler = kFillers[fdp.ConsumeIntegralInRange<size_t>(0, 3)];
            const auto length = static_cast<size_t>((64 << 10) + fdp.ConsumeIntegralInRange<int>(-16, 16));
            t = t + Text(std::string(length, filler)) + pick();
            s = textLeft(s, 16);
        }
        const auto start = consumeOptionalPosition(fdp, t.size());
        const bool ic = fdp.ConsumeBool();
        const int32_t found = findText(t, s, start, ic);
        FUZZ_CHECK(found == walkFind(t.view(), s.view(), start, ic));
        const int32_t last = findTextLast(t, s, start, ic);
        FUZZ_CHECK(last == walkFindLast(t.view(), s.view(), start, ic));
    }

    void slice() {
        const Text& t = pick();
        const int32_t n = consumePosition(fdp, t.size());
        const int32_t start = consumePosition(fdp, t.size());
        const auto len = static_cast<int64_t>(t.size());
        FUZZ_CHECK(textLength(t) == t.size());
        const int64_t keepN = std::clamp<int64_t>(n, 0, len);
        FUZZ_CHECK(textLeft(t, n).view() == t.view().substr(0, keepN));
        FUZZ_CHECK(textRight(t, n).view() == t.view().substr(len - keepN));
        const Text mid = textMid(t, start, n);
        if (start < 1 || start > len || n <= 0) {
            FUZZ_CHECK(mid.empty());
        } else {
            FUZZ_CHECK(mid.view() == t.view().substr(start - 1, std::min<int64_t>(n, len - start + 1)));
        }
        keep(mid);
    }

    void clean() {
        const Text& t = pick();
        const Text trimmed = trimSpaces(t);
        FUZZ_CHECK(trimmed.view() == walkTrim(t.view()));
        const Text removed = removeSpaces(t);
        FUZZ_CHECK(removed.view() == walkRemoveSpaces(t.view()));
        const Text lower = toLower(t);
        FUZZ_CHECK(lower.view() == walkLower(t.view()));
        keep(trimmed);
    }

    void split() {
        const Text& t = pick();
        Text d = fdp.ConsumeBool() ? pick() : consumeText(fdp, 4);
        const std::optional<int32_t> maxParts =
            fdp.ConsumeBool() ? std::optional<int32_t>(fdp.ConsumeIntegralInRange<int32_t>(-2, 8)) : std::nullopt;
        const TextArray parts = splitText(t, d, maxParts);
        const auto expected = walkSplit(t.view(), d.view(), maxParts);
        FUZZ_CHECK(parts.size() == static_cast<int32_t>(expected.size()));
        for (int32_t i = 1; i <= parts.size(); ++i) FUZZ_CHECK(parts.at(i).view() == expected[i - 1]);
        if (!parts.empty()) keep(parts.at(parts.size()));
        const TextArray commas = splitText(t);
        FUZZ_CHECK(commas.size() == static_cast<int32_t>(walkSplit(t.view(), ",", std::nullopt).size()));
    }

    void replace() {
        const Text& t = pick();
        const Text& s = pick();
        const Text r = fdp.ConsumeBool() ? pick() : consumeText(fdp, 8);
        const auto start = consumeOptionalPosition(fdp, t.size());
        const std::optional<int32_t> count =
            fdp.ConsumeBool() ? std::optional<int32_t>(fdp.ConsumeIntegralInRange<int32_t>(-1, 6)) : std::nullopt;
        const bool matchCase = fdp.ConsumeBool();
        const Text out = replaceText(t, s, r, start, count, matchCase);
        FUZZ_CHECK(holdsNoZero(out));
        // A negative count is not one the rules give a meaning to.
        if (!count || *count >= 0)
            FUZZ_CHECK(out.view() == walkReplace(t.view(), s.view(), r.view(), start, count, matchCase));
        keep(out);
    }

    void numbers() {
        const Text& t = pick();
        FUZZ_CHECK(toInt(t) == walkToInt(t.view()));
        const auto i = fdp.ConsumeIntegral<int32_t>();
        FUZZ_CHECK(toInt(i) == i);
        FUZZ_CHECK(toText(i).view() == printed("%d", i));
        FUZZ_CHECK(toInt(toText(i)) == i);
        FUZZ_CHECK(toHexText(i).view() == printed("%X", static_cast<uint32_t>(i)));
        static constexpr double kOddDoubles[] = {
            std::numeric_limits<double>::quiet_NaN(), std::numeric_limits<double>::infinity(),
            -std::numeric_limits<double>::infinity(), -0.0, std::numeric_limits<double>::denorm_min(),
            2147483647.5, 2147483648.0, -2147483648.9, -2147483649.0, 1e300};
        const double d = fdp.ConsumeBool() ? kOddDoubles[fdp.ConsumeIntegralInRange<size_t>(0, std::size(kOddDoubles) - 1)]
                                           : fdp.ConsumeFloatingPoint<double>();
        const Text dt = toText(d);
        FUZZ_CHECK(!dt.empty() && dt.size() < 40 && holdsNoZero(dt));
        const double magnitude = d < 0 ? -d : d;
        if (d == 0.0 || (magnitude >= 1e-4 && magnitude < 1e12)) FUZZ_CHECK(dt.view() == printed("%.13g", d));
        if (d > -2147483648.0 && d < 2147483648.0) FUZZ_CHECK(toInt(d) == static_cast<int32_t>(d));
        else (void)toInt(d);  // out of range: any value, but no trap
        const Text c = charFromCode(i);
        FUZZ_CHECK((i & 0xFF) == 0 ? c.empty() : c.view() == std::string(1, static_cast<char>(i & 0xFF)));
        const int32_t n = fdp.ConsumeIntegralInRange<int32_t>(-8, 64);
        FUZZ_CHECK(blankText(n).view() == std::string(std::max(n, 0), ' '));
        FUZZ_CHECK(bytesLength(blankBytes(n)) == std::max(n, 0));
        FUZZ_CHECK(blankBytes(n).view() == std::string(std::max(n, 0), '\0'));
        const int32_t a = fdp.ConsumeIntegral<int32_t>(), b = fdp.ConsumeIntegral<int32_t>();
        FUZZ_CHECK(bitOr({a, b, i}) == (a | b | i));
        keep(toText(i) + c);
    }

    void dateTime() {
        DateTime value;
        value.year = fdp.ConsumeIntegral<int32_t>();
        value.month = fdp.ConsumeIntegral<int32_t>();
        value.day = fdp.ConsumeIntegral<int32_t>();
        value.hour = fdp.ConsumeIntegralInRange<int32_t>(-1, 24);
        value.minute = fdp.ConsumeIntegralInRange<int32_t>(-1, 60);
        value.second = fdp.ConsumeIntegralInRange<int32_t>(-1, 60);
        const Text t = toText(value);
        FUZZ_CHECK(holdsNoZero(t) && t.size() > 0 && t.size() < 128);
        // The date part is always there, in the integer form.
        FUZZ_CHECK(t.view().substr(0, toText(value.year).view().size()) == toText(value.year).view());
    }

    void bytes() {
        const std::string raw = fuzzing::consumeBytes(fdp, 64);
        const ByteBuffer buffer(raw);
        // Construction from bytes ends before the first zero byte.
        const std::string_view beforeZero = std::string_view(raw).substr(0, raw.find('\0'));
        FUZZ_CHECK(Text(std::string_view(raw)).view() == beforeZero);
        FUZZ_CHECK(Text(std::string(raw)).view() == beforeZero);
        FUZZ_CHECK(toText(buffer).view() == beforeZero);
        const Text& t = pick();
        FUZZ_CHECK(toText(toBytes(t)) == t);
        FUZZ_CHECK(toText(t) == t);
        FUZZ_CHECK(bytesLength(toBytes(t)) == t.size());
        const int32_t n = consumePosition(fdp, buffer.size());
        FUZZ_CHECK(bytesLeft(buffer, n).view() == buffer.view().substr(0, std::clamp<int64_t>(n, 0, buffer.size())));

        const ByteBuffer sought(fuzzing::consumeBytes(fdp, 4));
        const auto start = consumeOptionalPosition(fdp, buffer.size());
        const int32_t found = findBytes(buffer, sought, start);
        const size_t from = start && *start > 1 ? static_cast<size_t>(*start - 1) : 0;
        const size_t expected = sought.empty() || from > buffer.view().size()
                                    ? std::string_view::npos
                                    : buffer.view().find(sought.view(), from);
        FUZZ_CHECK(found == (expected == std::string_view::npos ? -1 : static_cast<int32_t>(expected + 1)));

        Text joined = t;
        joined += Text(beforeZero);
        FUZZ_CHECK(joined == t + Text(beforeZero));
        FUZZ_CHECK(joined.view() == std::string(t.view()) + std::string(beforeZero));
        FUZZ_CHECK((toBytes(t) + buffer).view() == std::string(t.view()) + raw);
        keep(joined);
    }

    void arrays() {
        TextArray items;
        const int count = fdp.ConsumeIntegralInRange<int>(0, 6);
        items.reserve(fdp.ConsumeIntegralInRange<int32_t>(-2, 8));
        for (int i = 0; i < count; ++i) items.append(pick());
        FUZZ_CHECK(items.size() == count);
        TextArray copy = items;
        FUZZ_CHECK(copy == items);
        for (int32_t i = 1; i <= items.size(); ++i) FUZZ_CHECK(holdsNoZero(items.at(i)));
        copy.clear();
        FUZZ_CHECK(copy.empty() && copy.size() == 0);
    }

    void codePages() {
        const Text& t = pick();
        const Text utf8 = ansiToUtf8(t);
        FUZZ_CHECK(holdsNoZero(utf8) && isValidUtf8(utf8.view()));
        // Only the euro sign (one byte) grows more than twofold, to three.
        FUZZ_CHECK(utf8.size() <= 3 * t.size());
        const ByteBuffer gbk = utf8ToAnsi(toBytes(t));
        FUZZ_CHECK(gbk.size() <= 2 * t.size());
        const ByteBuffer rawUtf8(fuzzing::consumeBytes(fdp, 64));
        FUZZ_CHECK(utf8ToAnsi(rawUtf8).size() <= 2 * rawUtf8.size());
        static constexpr int32_t kPages[] = {kCodePageAnsi, kCodePageGbk, kCodePageUtf8, 1252, -1};
        const std::optional<int32_t> page =
            fdp.ConsumeBool() ? std::optional<int32_t>(kPages[fdp.ConsumeIntegralInRange<size_t>(0, 4)]) : std::nullopt;
        const ByteBuffer wide = toWide(t, page);
        FUZZ_CHECK(wide.size() % 2 == 0);
        if (!wide.empty()) FUZZ_CHECK(wide.view().substr(wide.size() - 2) == std::string_view("\0\0", 2));
        const Text back = fromWide(wide, page);
        FUZZ_CHECK(holdsNoZero(back));
        const ByteBuffer rawWide(fuzzing::consumeBytes(fdp, 64));
        FUZZ_CHECK(holdsNoZero(fromWide(rawWide, page)));
        FUZZ_CHECK(utf8ToWide(rawUtf8).size() % 2 == 0);
        FUZZ_CHECK(utf8ToWide(rawUtf8).size() <= 2 * rawUtf8.size());

        const std::u16string units = gbkToUtf16(t);
        FUZZ_CHECK(units.find(u'\0') == std::u16string::npos && units.size() <= static_cast<size_t>(t.size()));
        FUZZ_CHECK(holdsNoZero(utf16ToGbk(units)));
        const std::string rawUnits = fuzzing::consumeBytes(fdp, 64);
        std::u16string fuzzedUnits(rawUnits.size() / 2, u'\0');
        std::memcpy(fuzzedUnits.data(), rawUnits.data(), fuzzedUnits.size() * 2);
        const Text fromUnits = utf16ToGbk(fuzzedUnits);
        FUZZ_CHECK(holdsNoZero(fromUnits) && fromUnits.size() <= static_cast<int32_t>(2 * fuzzedUnits.size()));
        FUZZ_CHECK(holdsNoZero(gbkFromUtf8(std::string_view(rawUtf8.view()))));
        keep(back);
    }

    void encode() {
        const Text& t = pick();
        const bool keepSafe = fdp.ConsumeBool(), asUtf8 = fdp.ConsumeBool();
        const Text e = urlEncode(t, keepSafe, asUtf8);
        const std::string source = asUtf8 ? std::string(ansiToUtf8(t).view()) : std::string(t.view());
        const auto decoded = percentDecode(e.view(), keepSafe);
        FUZZ_CHECK(decoded && *decoded == source);
        if (!keepSafe) FUZZ_CHECK(e.size() == 3 * static_cast<int32_t>(source.size()));
        keep(e);
    }

    void clock() {
        const DateTime now = currentTime();
        FUZZ_CHECK(now.month >= 1 && now.month <= 12 && now.day >= 1 && now.day <= 31);
        FUZZ_CHECK(now.hour >= 0 && now.hour <= 23 && now.minute >= 0 && now.minute <= 59);
        FUZZ_CHECK(now.second >= 0 && now.second <= 60);
        const Text dir = runDirectory();
        FUZZ_CHECK(!dir.empty() && holdsNoZero(dir) && dir.view().back() != '/');
    }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzedDataProvider fdp(data, size);
    Driver driver{fdp, {}};
    for (Text& t : driver.pool) t = consumeText(fdp, kMaxTextBytes);
    for (int steps = 0; steps < 32 && fdp.remaining_bytes() > 0; ++steps) {
        switch (fdp.ConsumeIntegralInRange<int>(0, 11)) {
        case 0: driver.search(); break;
        case 1: driver.slice(); break;
        case 2: driver.clean(); break;
        case 3: driver.split(); break;
        case 4: driver.replace(); break;
        case 5: driver.numbers(); break;
        case 6: driver.dateTime(); break;
        case 7: driver.bytes(); break;
        case 8: driver.arrays(); break;
        case 9: driver.codePages(); break;
        case 10: driver.encode(); break;
        default:
            // Rarely: the clock and the run directory are not fuzzable, only called.
            if (fdp.ConsumeIntegralInRange<int>(0, 15) == 0) driver.clock();
            else driver.search();
            break;
        }
    }
    return 0;
}
