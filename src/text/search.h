// Internal to the text library: the character-stepping substring search that
// findText, splitText, replaceText and the marker extraction share.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace quillmoss::detail {

inline constexpr uint64_t kOnes = 0x0101010101010101ULL;
inline constexpr uint64_t kHighBits = 0x8080808080808080ULL;

inline bool isLead(char c) { return static_cast<unsigned char>(c) >= 0x80; }

inline uint64_t loadWord(const char* p) {
    uint64_t w;
    std::memcpy(&w, p, sizeof w);
    return w;
}

inline void storeWord(char* p, uint64_t w) { std::memcpy(p, &w, sizeof w); }

// 'A'-'Z' to 'a'-'z' in all eight bytes at once; no other byte changes.
inline uint64_t foldWord(uint64_t x) {
    const uint64_t low = x & ~kHighBits;
    const uint64_t atLeastA = low + kOnes * (0x80 - 'A');
    const uint64_t aboveZ = low + kOnes * (0x80 - 'Z' - 1);
    const uint64_t upper = atLeastA & ~aboveZ & ~x & kHighBits;
    return x | (upper >> 2);
}

inline char foldByte(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + ('a' - 'A')) : c;
}

// Folds every byte of [src, src + n) into dst, trail bytes included: that is
// how an ignore-case comparison sees both sides.
void foldBytes(const char* src, size_t n, char* dst);
std::string foldedCopy(std::string_view s);
bool hasLetter(std::string_view s);

// Finds `sought` in `text` at character boundaries. Each find(from) walks as
// findText does: `from` is taken as a character boundary, and a match never
// begins on the second byte of a double-byte character.
//
// Ignoring case, the text is folded lazily in windows that move forward with
// the searches, so a caller that searches again and again from increasing
// positions (extraction, replacing) folds each byte about once in total.
class Searcher {
public:
    static constexpr size_t npos = std::string_view::npos;

    Searcher(std::string_view text, std::string_view sought, bool ignoreCase);
    Searcher(const Searcher&) = delete;
    Searcher& operator=(const Searcher&) = delete;

    // 0-based index of the first match at or after `from`, npos when none.
    size_t find(size_t from);
    // Whether `pos` is a character boundary when walking from `from` (a boundary).
    bool isBoundary(size_t from, size_t pos) const;

    size_t soughtSize() const { return sought_.size(); }

private:
    size_t rawFind(size_t from);
    size_t rawFindFolded(size_t from);
    size_t rawFindFiltered(size_t from) const;
    bool matchesAt(size_t pos, size_t firstByte, size_t endByte) const;

    std::string_view text_;
    std::string sought_;
    bool fold_;
    bool filtered_;
    std::string window_;  // folded text_[windowBegin_, windowEnd_)
    size_t windowBegin_ = 0;
    size_t windowEnd_ = 0;
};

// The range of `s` that trimSpaces keeps.
std::string_view trimmedRange(std::string_view s);

}  // namespace quillmoss::detail
