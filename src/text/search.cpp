#include "text/search.h"

#include <algorithm>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace quillmoss::detail {

namespace {

// Large enough that a search rarely refills, small enough to stay in cache
// and to cost little when the match is near the start.
constexpr size_t kFoldWindow = 64 * 1024;

// Sought texts up to this length use the vector candidate filter. Its worst
// case is a full comparison at every byte, so longer ones go to memmem,
// which stays linear however long the sought text is.
constexpr size_t kFilterMaxLength = 32;

#if defined(__SSE2__)
constexpr bool kHaveFilter = true;
#else
constexpr bool kHaveFilter = false;
#endif

bool isLowerLetter(char c) { return c >= 'a' && c <= 'z'; }

}  // namespace

void foldBytes(const char* src, size_t n, char* dst) {
    size_t i = 0;
    for (; i + 8 <= n; i += 8) storeWord(dst + i, foldWord(loadWord(src + i)));
    for (; i < n; ++i) dst[i] = foldByte(src[i]);
}

std::string foldedCopy(std::string_view s) {
    std::string out(s.size(), '\0');
    foldBytes(s.data(), s.size(), out.data());
    return out;
}

bool hasLetter(std::string_view s) {
    return std::any_of(s.begin(), s.end(), [](char c) {
        return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z');
    });
}

Searcher::Searcher(std::string_view text, std::string_view sought, bool ignoreCase)
    : text_(text),
      // Without letters in the sought text, a folded comparison is an exact one.
      fold_(ignoreCase && hasLetter(sought)),
      // One exact byte is memchr's job.
      filtered_(kHaveFilter && sought.size() <= kFilterMaxLength && (sought.size() >= 2 || fold_)) {
    sought_ = fold_ ? foldedCopy(sought) : std::string(sought);
}

bool Searcher::matchesAt(size_t pos, size_t firstByte, size_t endByte) const {
    const char* t = text_.data() + pos;
    if (!fold_) return std::memcmp(t + firstByte, sought_.data() + firstByte, endByte - firstByte) == 0;
    for (size_t k = firstByte; k < endByte; ++k)
        if (foldByte(t[k]) != sought_[k]) return false;
    return true;
}

size_t Searcher::rawFindFiltered(size_t from) const {
    const size_t n = text_.size();
    const size_t m = sought_.size();
    size_t i = from;
#if defined(__SSE2__)
    // Candidates are where the first and the last byte of the sought text
    // both match, 16 positions at a time. A letter is compared with bit 5
    // set on the text side, which folds 'A'-'Z' onto 'a'-'z' and nothing else.
    const char first = sought_[0];
    const char last = sought_[m - 1];
    const __m128i wantFirst = _mm_set1_epi8(first);
    const __m128i wantLast = _mm_set1_epi8(last);
    const __m128i foldFirst = _mm_set1_epi8(fold_ && isLowerLetter(first) ? 0x20 : 0);
    const __m128i foldLast = _mm_set1_epi8(fold_ && isLowerLetter(last) ? 0x20 : 0);
    const char* s = text_.data();
    for (; i + m - 1 + 16 <= n; i += 16) {
        const __m128i a = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i));
        const __m128i b = _mm_loadu_si128(reinterpret_cast<const __m128i*>(s + i + m - 1));
        const __m128i hits = _mm_and_si128(_mm_cmpeq_epi8(_mm_or_si128(a, foldFirst), wantFirst),
                                           _mm_cmpeq_epi8(_mm_or_si128(b, foldLast), wantLast));
        auto mask = static_cast<unsigned>(_mm_movemask_epi8(hits));
        while (mask != 0) {
            const size_t pos = i + static_cast<size_t>(__builtin_ctz(mask));
            if (m <= 2 || matchesAt(pos, 1, m - 1)) return pos;
            mask &= mask - 1;
        }
    }
#endif
    for (; i + m <= n; ++i)
        if (matchesAt(i, 0, m)) return i;
    return npos;
}

bool Searcher::isBoundary(size_t from, size_t pos) const {
    // Walking back from pos over lead-range bytes stops at a known boundary:
    // either `from`, or just after a byte below 0x80, which always ends a
    // character. From there every high byte pairs with the next, so the
    // parity of the run decides.
    size_t j = pos;
    while (j > from && isLead(text_[j - 1])) --j;
    return ((pos - j) & 1) == 0;
}

size_t Searcher::find(size_t from) {
    const size_t m = sought_.size();
    if (m == 0) return from < text_.size() ? from : npos;
    size_t known = from;
    size_t pos = from;
    while (pos <= text_.size() && text_.size() - pos >= m) {
        const size_t hit = rawFind(pos);
        if (hit == npos) return npos;
        if (isBoundary(known, hit)) return hit;
        // hit is a trail byte, so the character ends right after it.
        known = hit + 1;
        pos = hit + 1;
    }
    return npos;
}

size_t Searcher::rawFind(size_t from) {
    const size_t m = sought_.size();
    if (filtered_) return rawFindFiltered(from);
    if (fold_) return rawFindFolded(from);
    if (m == 1) {
        const void* one = std::memchr(text_.data() + from, sought_[0], text_.size() - from);
        return one ? static_cast<size_t>(static_cast<const char*>(one) - text_.data()) : npos;
    }
    const void* hit = memmem(text_.data() + from, text_.size() - from, sought_.data(), m);
    return hit ? static_cast<size_t>(static_cast<const char*>(hit) - text_.data()) : npos;
}

size_t Searcher::rawFindFolded(size_t from) {
    const size_t n = text_.size();
    const size_t m = sought_.size();
    while (from + m <= n) {
        if (from < windowBegin_ || from + m > windowEnd_) {
            windowBegin_ = from;
            windowEnd_ = std::min(n, from + std::max(kFoldWindow, 2 * m));
            window_.resize(windowEnd_ - windowBegin_);
            foldBytes(text_.data() + windowBegin_, windowEnd_ - windowBegin_, window_.data());
        }
        const char* base = window_.data() + (from - windowBegin_);
        const void* hit = memmem(base, windowEnd_ - from, sought_.data(), m);
        if (hit) return windowBegin_ + static_cast<size_t>(static_cast<const char*>(hit) - window_.data());
        if (windowEnd_ == n) return npos;
        from = windowEnd_ - m + 1;  // the next window overlaps by m - 1 bytes
    }
    return npos;
}

std::string_view trimmedRange(std::string_view s) {
    const size_t n = s.size();
    const auto byte = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
    size_t head = 0;
    while (head < n) {
        if (byte(head) == 0x20) {
            ++head;
        } else if (byte(head) == 0xA1 && head + 1 < n && byte(head + 1) == 0xA1) {
            head += 2;
        } else {
            break;
        }
    }
    // The trailing run is found from the end. head is a character boundary;
    // so is the byte after any byte below 0x80, and within a run of high bytes
    // every second one from the run's start begins a character.
    const auto runStart = [&](size_t end) {
        size_t j = end;
        while (j > head && byte(j - 1) >= 0x80) --j;
        return j;
    };
    size_t end = n;
    while (end > head) {
        const unsigned char b = byte(end - 1);
        if (b < 0x80) {
            if (b != 0x20) break;
            // A 0x20 after a lead byte is that character's trail byte.
            if (end - 1 > head && byte(end - 2) >= 0x80 && ((end - 2 - runStart(end - 1)) & 1) == 0) break;
            --end;
            continue;
        }
        const size_t j = runStart(end);
        if (((end - j) & 1) != 0) {
            // Only the text's last byte can begin a character here: a dangling
            // lead byte, which goes, and the spaces before it stay.
            return s.substr(head, end - 1 - head);
        }
        while (end > j && byte(end - 2) == 0xA1 && byte(end - 1) == 0xA1) end -= 2;
        if (end > j) break;
    }
    return s.substr(head, end - head);
}

}  // namespace quillmoss::detail
