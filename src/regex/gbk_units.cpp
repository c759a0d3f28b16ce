#include "regex/gbk_units.h"

#include <algorithm>
#include <string>
#ifdef __SSE2__
#include <emmintrin.h>
#endif
#include <vector>

#include "text/codepage.h"

namespace quillmoss::regex {
namespace {

constexpr unsigned kLeadFirst = 0x81, kLeadLast = 0xFE;
constexpr unsigned kTrailFirst = 0x40, kTrailLast = 0xFE;
constexpr unsigned kTrails = kTrailLast - kTrailFirst + 1;

size_t pairIndex(unsigned lead, unsigned trail) { return (lead - kLeadFirst) * kTrails + (trail - kTrailFirst); }

// For every two-byte character: the one unit it converts to when that unit
// converts back to the same two bytes, else 0. Built once through the text
// library's own converter, each character on a line of its own so that a
// malformed one cannot shift the others.
const std::vector<char16_t>& roundTrips() {
    static const std::vector<char16_t> table = [] {
        std::string all;
        for (unsigned lead = kLeadFirst; lead <= kLeadLast; ++lead) {
            for (unsigned trail = kTrailFirst; trail <= kTrailLast; ++trail) {
                all.push_back(static_cast<char>(lead));
                all.push_back(static_cast<char>(trail));
                all.push_back('\n');
            }
        }
        const std::u16string units = gbkToUtf16(Text(std::string_view(all)));
        std::vector<char16_t> single((kLeadLast - kLeadFirst + 1) * kTrails, 0);
        std::u16string joined;
        size_t at = 0;
        for (size_t i = 0; i < single.size(); ++i) {
            const size_t lf = units.find(u'\n', at);
            if (lf == std::u16string::npos) break;
            if (lf == at + 1 && units[at] != 0xFFFD) single[i] = units[at];
            joined.push_back(single[i] != 0 ? single[i] : u'?');
            joined.push_back(u'\n');
            at = lf + 1;
        }
        const std::string back = utf16ToGbk(joined).bytes();
        std::vector<char16_t> table(single.size(), 0);
        size_t pos = 0;
        for (size_t i = 0; i < single.size() && pos < back.size(); ++i) {
            const size_t lf = back.find('\n', pos);
            if (lf == std::string::npos) break;
            if (single[i] != 0 && lf == pos + 2 && back.compare(pos, 2, all, i * 3, 2) == 0) table[i] = single[i];
            pos = lf + 1;
        }
        return table;
    }();
    return table;
}

}  // namespace

bool GbkUnitCursor::advanceTo(size_t unit) {
    if (broken_ || unit < unit_ || unit > units_.size()) return false;
    const char16_t* table = roundTrips().data();
    const char16_t* u = units_.data();
    const auto* b = reinterpret_cast<const unsigned char*>(bytes_.data());
    const size_t nb = bytes_.size();
    size_t i = unit_, o = byte_;
    bool ok = true;
    while (i < unit) {
        // Runs of ASCII, which most of a page is, compare unit to byte.
        const size_t run = std::min(unit - i, nb - o);
        size_t k = 0;
#ifdef __SSE2__
        for (; k + 16 <= run; k += 16) {
            const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(b + o + k));
            const __m128i zero = _mm_setzero_si128();
            const __m128i lo = _mm_cmpeq_epi16(_mm_unpacklo_epi8(bytes, zero),
                                               _mm_loadu_si128(reinterpret_cast<const __m128i*>(u + i + k)));
            const __m128i hi = _mm_cmpeq_epi16(_mm_unpackhi_epi8(bytes, zero),
                                               _mm_loadu_si128(reinterpret_cast<const __m128i*>(u + i + k + 8)));
            // Sixteen equal pairs, every byte below 0x80.
            if (_mm_movemask_epi8(_mm_packs_epi16(lo, hi)) != 0xFFFF || _mm_movemask_epi8(bytes) != 0) break;
        }
#endif
        while (k < run && u[i + k] < 0x80 && u[i + k] == b[o + k]) ++k;
        i += k;
        o += k;
        if (i == unit) break;
        const char16_t c = u[i];
        if (c < 0x80 || o + 1 >= nb || b[o] < kLeadFirst || b[o] > kLeadLast || b[o + 1] < kTrailFirst ||
            b[o + 1] > kTrailLast || table[pairIndex(b[o], b[o + 1])] != c) {
            ok = false;
            break;
        }
        i += 1;
        o += 2;
    }
    unit_ = i;
    byte_ = o;
    if (!ok) broken_ = true;
    return ok;
}

}  // namespace quillmoss::regex
