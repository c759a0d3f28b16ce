#include "text/search.h"

#include <algorithm>

namespace quillmoss::detail {

namespace {

// Large enough that a search rarely refills, small enough to stay in cache
// and to cost little when the match is near the start.
constexpr size_t kFoldWindow = 64 * 1024;

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
      fold_(ignoreCase && hasLetter(sought)) {
    sought_ = fold_ ? foldedCopy(sought) : std::string(sought);
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
    if (fold_) return rawFindFolded(from);
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
    // keepEnd: one past the last character that is not a space.
    size_t keepEnd = head;
    size_t i = head;
    while (i < n) {
        if (i + 8 <= n) {
            const uint64_t w = loadWord(s.data() + i);
            if ((w & kHighBits) == 0) {
                if (s[i + 7] != ' ') {
                    keepEnd = i + 8;
                } else {
                    for (size_t k = 0; k < 8; ++k)
                        if (s[i + k] != ' ') keepEnd = i + k + 1;
                }
                i += 8;
                continue;
            }
        }
        const unsigned char b = byte(i);
        if (b == 0x20) {
            ++i;
        } else if (b >= 0x80) {
            // A dangling lead byte goes, and the spaces before it stay.
            if (i + 1 >= n) return s.substr(head, i - head);
            if (!(b == 0xA1 && byte(i + 1) == 0xA1)) keepEnd = i + 2;
            i += 2;
        } else {
            keepEnd = ++i;
        }
    }
    return s.substr(head, keepEnd - head);
}

}  // namespace quillmoss::detail
