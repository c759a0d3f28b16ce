#include "text/codepage.h"

#include "text/convert_detail.h"

#include <unicode/normalizer2.h>
#include <unicode/ucnv.h>
#include <unicode/unistr.h>
#include <unicode/ustring.h>

#include <bit>
#include <cstring>
#include <limits>
#include <memory>
#include <utility>
#include <vector>

#include "text/search.h"

namespace quillmoss {

namespace {

constexpr UChar32 kReplacement = 0xFFFD;
constexpr size_t kMaxIcuLength = static_cast<size_t>(std::numeric_limits<int32_t>::max());

struct ConverterCloser {
    void operator()(UConverter* c) const { ucnv_close(c); }
};
using ConverterPtr = std::unique_ptr<UConverter, ConverterCloser>;

int32_t normalisedCodePage(int32_t codePage) {
    return codePage == kCodePageAnsi ? kCodePageGbk : codePage;
}

UConverter* openConverter(int32_t codePage) {
    std::vector<std::string> names;
    if (codePage == kCodePageGbk) {
        // Exactly Microsoft's 936: 0x80 is the euro sign.
        names = {"windows-936-2000"};
    } else {
        const std::string number = std::to_string(codePage);
        names = {"windows-" + number, "cp" + number, "ibm-" + number};
    }
    for (const std::string& name : names) {
        UErrorCode err = U_ZERO_ERROR;
        UConverter* cnv = ucnv_open(name.c_str(), &err);
        if (U_FAILURE(err) || !cnv) continue;
        err = U_ZERO_ERROR;
        ucnv_setSubstChars(cnv, "?", 1, &err);
        return cnv;
    }
    return nullptr;
}

// A UConverter keeps conversion state and must not be shared between
// threads, so each thread opens its own, once per code page.
UConverter* converterFor(int32_t codePage) {
    thread_local std::vector<std::pair<int32_t, ConverterPtr>> cache;
    const int32_t key = normalisedCodePage(codePage);
    for (auto& [cp, cnv] : cache)
        if (cp == key) return cnv.get();
    cache.emplace_back(key, ConverterPtr(openConverter(key)));
    return cache.back().second.get();
}

// ---- UTF-16 <-> bytes of a code page ----------------------------------------

std::u16string decodeUtf8(std::string_view bytes) {
    if (bytes.empty() || bytes.size() > kMaxIcuLength) return {};
    // UTF-8 never needs more UTF-16 units than it has bytes.
    std::u16string out(bytes.size(), u'\0');
    UErrorCode err = U_ZERO_ERROR;
    int32_t len = 0;
    u_strFromUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &len, bytes.data(),
                         static_cast<int32_t>(bytes.size()), kReplacement, nullptr, &err);
    if (U_FAILURE(err)) return {};
    out.resize(static_cast<size_t>(len));
    return out;
}

std::string encodeUtf8(std::u16string_view units) {
    if (units.empty() || units.size() * 3 > kMaxIcuLength) return {};
    std::string out(units.size() * 3, '\0');
    UErrorCode err = U_ZERO_ERROR;
    int32_t len = 0;
    u_strToUTF8WithSub(out.data(), static_cast<int32_t>(out.size()), &len, units.data(),
                       static_cast<int32_t>(units.size()), kReplacement, nullptr, &err);
    if (U_FAILURE(err)) return {};
    out.resize(static_cast<size_t>(len));
    return out;
}

std::u16string decodeWith(UConverter* cnv, std::string_view bytes) {
    if (!cnv || bytes.empty() || bytes.size() > kMaxIcuLength) return {};
    // One unit per byte is enough for 936; other code pages may ask for more,
    // and ICU then tells the exact size.
    std::u16string out(bytes.size(), u'\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        UErrorCode err = U_ZERO_ERROR;
        const int32_t len = ucnv_toUChars(cnv, out.data(), static_cast<int32_t>(out.size()),
                                          bytes.data(), static_cast<int32_t>(bytes.size()), &err);
        if (err == U_BUFFER_OVERFLOW_ERROR) {
            out.assign(static_cast<size_t>(len), u'\0');
            continue;
        }
        if (U_FAILURE(err)) return {};
        out.resize(static_cast<size_t>(len));
        return out;
    }
    return {};
}

std::string encodeWith(UConverter* cnv, std::u16string_view units) {
    if (!cnv || units.empty()) return {};
    const size_t guess = (units.size() + 10) * static_cast<size_t>(ucnv_getMaxCharSize(cnv));
    if (guess > kMaxIcuLength) return {};
    std::string out(guess, '\0');
    for (int attempt = 0; attempt < 2; ++attempt) {
        UErrorCode err = U_ZERO_ERROR;
        const int32_t len = ucnv_fromUChars(cnv, out.data(), static_cast<int32_t>(out.size()),
                                            units.data(), static_cast<int32_t>(units.size()), &err);
        if (err == U_BUFFER_OVERFLOW_ERROR) {
            out.assign(static_cast<size_t>(len), '\0');
            continue;
        }
        if (U_FAILURE(err)) return {};
        out.resize(static_cast<size_t>(len));
        return out;
    }
    return {};
}

std::u16string decode(int32_t codePage, std::string_view bytes) {
    if (codePage == kCodePageUtf8) return decodeUtf8(bytes);
    return decodeWith(converterFor(codePage), bytes);
}

std::string encode(int32_t codePage, std::u16string_view units) {
    if (codePage == kCodePageUtf8) return encodeUtf8(units);
    return encodeWith(converterFor(codePage), units);
}

// Joins base characters and combining marks into precomposed characters
// (NFC). Text that is already composed, ASCII above all, is only scanned.
// Taken once through a function-local static: ICU publishes its singleton
// with atomics of its own, which a thread sanitizer cannot see.
const icu::Normalizer2* nfcInstance() {
    static const icu::Normalizer2* const nfc = [] {
        UErrorCode err = U_ZERO_ERROR;
        const icu::Normalizer2* instance = icu::Normalizer2::getNFCInstance(err);
        return U_SUCCESS(err) ? instance : nullptr;
    }();
    return nfc;
}

void compose(std::u16string& units) {
    const icu::Normalizer2* nfc = nfcInstance();
    if (!nfc || units.empty()) return;
    UErrorCode err = U_ZERO_ERROR;
    const icu::UnicodeString whole(false, units.data(), static_cast<int32_t>(units.size()));
    const int32_t done = nfc->spanQuickCheckYes(whole, err);
    if (U_FAILURE(err) || done == whole.length()) return;
    icu::UnicodeString out(whole, 0, done);
    nfc->normalizeSecondAndAppend(out, whole.tempSubString(done), err);
    if (U_FAILURE(err)) return;
    units.assign(out.getBuffer(), static_cast<size_t>(out.length()));
}

// ---- little-endian unit buffers ---------------------------------------------

ByteBuffer unitsToBytes(std::u16string_view units, bool terminate) {
    const size_t count = units.size() + (terminate ? 1 : 0);
    std::string out(count * 2, '\0');
    if constexpr (std::endian::native == std::endian::little) {
        std::memcpy(out.data(), units.data(), units.size() * 2);
    } else {
        for (size_t i = 0; i < units.size(); ++i) {
            out[2 * i] = static_cast<char>(units[i] & 0xFF);
            out[2 * i + 1] = static_cast<char>(units[i] >> 8);
        }
    }
    return ByteBuffer(std::move(out));
}

// The units of `bytes`, up to the first zero unit when stopAtZero is set. An
// odd last byte is not a unit and is ignored.
std::u16string bytesToUnits(std::string_view bytes, bool stopAtZero) {
    std::u16string units;
    units.reserve(bytes.size() / 2);
    for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
        const auto unit = static_cast<char16_t>(static_cast<unsigned char>(bytes[i]) |
                                                (static_cast<unsigned char>(bytes[i + 1]) << 8));
        if (stopAtZero && unit == 0) break;
        units.push_back(unit);
    }
    return units;
}

bool isAscii(std::string_view s) {
    for (char c : s)
        if (static_cast<unsigned char>(c) >= 0x80) return false;
    return true;
}

}  // namespace

Text ansiToUtf8(const Text& text) {
    if (isAscii(text.view())) return text;
    return Text(encodeUtf8(decode(kCodePageGbk, text.view())));
}

ByteBuffer utf8ToAnsi(const ByteBuffer& data) {
    // ASCII is the same bytes in UTF-8 and GBK, so long ASCII runs are copied
    // and only the stretches around other characters go through ICU. Each
    // stretch takes the ASCII byte before it along, as a combining mark may
    // compose with it; ASCII never composes with or reorders around what
    // follows it, so the stretches convert exactly as the whole text would.
    constexpr size_t kAsciiRunToSplit = 16;
    const std::string_view s = data.view();
    const size_t n = s.size();
    UConverter* cnv = converterFor(kCodePageGbk);
    if (!cnv) return ByteBuffer();
    std::string out;
    out.reserve(n);
    std::u16string units;
    size_t i = 0;
    while (i < n) {
        size_t high = i;
        while (high + 8 <= n && (detail::loadWord(s.data() + high) & detail::kHighBits) == 0) high += 8;
        while (high < n && static_cast<unsigned char>(s[high]) < 0x80) ++high;
        if (high == n) {
            out.append(s.substr(i));
            break;
        }
        const size_t begin = high > i ? high - 1 : high;
        out.append(s.substr(i, begin - i));
        size_t end = high;
        while (end < n) {
            while (end < n && static_cast<unsigned char>(s[end]) >= 0x80) ++end;
            size_t run = end;
            while (run < n && run - end < kAsciiRunToSplit && static_cast<unsigned char>(s[run]) < 0x80) ++run;
            if (run - end >= kAsciiRunToSplit || run == n) break;
            end = run;
        }
        units = decodeUtf8(s.substr(begin, end - begin));
        compose(units);
        out += encodeWith(cnv, units);
        i = end;
    }
    return ByteBuffer(std::move(out));
}

ByteBuffer toWide(const Text& text, std::optional<int32_t> codePage) {
    const int32_t cp = codePage.value_or(kCodePageUtf8);
    if (cp != kCodePageUtf8 && !converterFor(cp)) return ByteBuffer();
    return unitsToBytes(decode(cp, text.view()), true);
}

Text fromWide(const ByteBuffer& wide, std::optional<int32_t> codePage) {
    // Sized by the converter of the code page actually written, so no
    // character, however much it grows, can overrun the buffer.
    return Text(encode(codePage.value_or(kCodePageAnsi), bytesToUnits(wide.view(), true)));
}

ByteBuffer utf8ToWide(const ByteBuffer& data) {
    return unitsToBytes(decodeUtf8(data.view()), false);
}

std::u16string gbkToUtf16(const Text& text) { return decode(kCodePageGbk, text.view()); }

Text utf16ToGbk(std::u16string_view units) { return Text(encode(kCodePageGbk, units)); }

namespace detail {

std::string utf8ToGbkWhole(std::string_view utf8) {
    std::u16string units = decodeUtf8(utf8);
    compose(units);
    return encode(kCodePageGbk, units);
}

}  // namespace detail

Text gbkFromUtf8(std::string_view utf8) { return Text(utf8ToAnsi(ByteBuffer(utf8)).view()); }

}  // namespace quillmoss
