// The fast search paths (word-at-a-time scans, memmem candidates checked for
// character boundaries, folded windows) against a plain byte-by-byte walk of
// the same rules, on random texts built from the bytes that matter: letters in
// both cases, spaces of both kinds, lead bytes and trail bytes that look like
// ASCII.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "printers.h"
#include "text/markers.h"
#include "text/text.h"

namespace quillmoss {
namespace {

bool lead(const std::string& s, size_t i) { return static_cast<unsigned char>(s[i]) >= 0x80; }

char fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c + 32) : c; }

bool equalAt(const std::string& s, size_t p, const std::string& q, bool ignoreCase) {
    for (size_t k = 0; k < q.size(); ++k) {
        const char a = ignoreCase ? fold(s[p + k]) : s[p + k];
        const char b = ignoreCase ? fold(q[k]) : q[k];
        if (a != b) return false;
    }
    return true;
}

// Next candidate after p, or npos when a dangling lead byte ends the walk.
size_t step(const std::string& s, size_t p) {
    if (!lead(s, p)) return p + 1;
    return p + 1 == s.size() ? std::string::npos : p + 2;
}

int32_t modelFind(const std::string& s, const std::string& q, std::optional<int32_t> start, bool ic) {
    const int64_t skip = start ? std::max<int64_t>(0, int64_t{*start} - 1) : 0;
    if (skip >= static_cast<int64_t>(s.size())) return -1;
    if (q.empty()) return 1;
    for (size_t p = static_cast<size_t>(skip); p != std::string::npos && p + q.size() <= s.size(); p = step(s, p))
        if (equalAt(s, p, q, ic)) return static_cast<int32_t>(p + 1);
    return -1;
}

int32_t modelFindLast(const std::string& s, const std::string& q, std::optional<int32_t> start, bool ic) {
    size_t limit = s.size();
    if (start) limit = *start <= 1 ? 0 : std::min(s.size(), static_cast<size_t>(*start - 1));
    if (q.empty()) return limit > 0 ? 1 : -1;
    int32_t last = -1;
    for (size_t p = 0; p != std::string::npos && p + q.size() <= limit; p = step(s, p))
        if (equalAt(s, p, q, ic)) last = static_cast<int32_t>(p + 1);
    return last;
}

bool spaceAt(const std::string& s, size_t p) {
    return s[p] == ' ' || (p + 1 < s.size() && s[p] == '\xA1' && s[p + 1] == '\xA1');
}

std::string modelTrim(const std::string& s) {
    size_t head = 0;
    while (head < s.size() && spaceAt(s, head)) head += s[head] == ' ' ? 1 : 2;
    size_t keep = head;
    for (size_t p = head; p < s.size();) {
        if (lead(s, p) && p + 1 == s.size()) return s.substr(head, p - head);
        const size_t next = lead(s, p) ? p + 2 : p + 1;
        if (!spaceAt(s, p)) keep = next;
        p = next;
    }
    return s.substr(head, keep - head);
}

std::string modelRemoveSpaces(const std::string& s) {
    std::string out;
    for (size_t p = 0; p < s.size();) {
        if (lead(s, p) && p + 1 == s.size()) break;
        const size_t next = lead(s, p) ? p + 2 : p + 1;
        if (!spaceAt(s, p)) out += s.substr(p, next - p);
        p = next;
    }
    return out;
}

std::string modelLower(const std::string& s) {
    std::string out = s;
    for (size_t p = 0; p < s.size(); p = lead(s, p) ? p + 2 : p + 1) out[p] = fold(s[p]);
    return out;
}

TextArray modelSplit(const std::string& s, const std::string& d) {
    TextArray out;
    if (s.empty()) return out;
    if (d.empty()) {
        out.append(Text(s));
        return out;
    }
    size_t piece = 0;
    size_t p = 0;
    while (p != std::string::npos && p + d.size() <= s.size()) {
        if (equalAt(s, p, d, false)) {
            out.append(Text(s.substr(piece, p - piece)));
            p = piece = p + d.size();
        } else {
            p = step(s, p);
        }
    }
    if (piece < s.size()) out.append(Text(s.substr(piece)));
    return out;
}

std::string modelReplace(const std::string& s, const std::string& q, const std::string& r,
                         std::optional<int32_t> start, bool matchCase) {
    const size_t skip = start ? static_cast<size_t>(std::max(0, *start - 1)) : 0;
    if (s.empty() || q.empty() || skip >= s.size()) return s;
    std::string out = s.substr(0, skip);
    size_t p = skip;
    while (p + q.size() <= s.size()) {
        if (equalAt(s, p, q, !matchCase)) {
            out += r;
            p += q.size();
        } else if (lead(s, p)) {
            if (p + 1 == s.size()) return out;  // a dangling lead byte is dropped
            out += s.substr(p, 2);
            p += 2;
        } else {
            out += s[p++];
        }
    }
    return out + s.substr(std::min(p, s.size()));
}

// The extraction as the plain composition of findText, textMid and trimSpaces.
TextArray modelExtract(const Text& text, const Text& front, const Text& back, bool matchCase) {
    TextArray out;
    int32_t p = 1;
    while (true) {
        const int32_t at = findText(text, front, p, !matchCase);
        if (at == -1) break;
        const int32_t s = at + textLength(front);
        const int32_t q = findText(text, back, s, !matchCase);
        if (q == -1) break;
        const Text piece = trimSpaces(textMid(text, s, q - s));
        if (piece.empty()) break;
        out.append(piece);
        p = q;
    }
    return out;
}

class RandomTexts : public ::testing::Test {
protected:
    std::string randomText(size_t maxLength) {
        static const char kAlphabet[] = {'a', 'A', 'b', 'B', ' ', ' ', ':', '\xA1', '\xA1', '\xB0', '\x81', 'x'};
        std::uniform_int_distribution<size_t> len(0, maxLength);
        std::uniform_int_distribution<size_t> pick(0, sizeof kAlphabet - 1);
        std::string s(len(rng_), ' ');
        for (char& c : s) c = kAlphabet[pick(rng_)];
        return s;
    }
    int32_t randomStart(size_t length) {
        return std::uniform_int_distribution<int32_t>(-1, static_cast<int32_t>(length) + 2)(rng_);
    }

    std::mt19937 rng_{20240611};
};

TEST_F(RandomTexts, SearchesMatchTheByteWalk) {
    for (int round = 0; round < 20000; ++round) {
        const std::string s = randomText(40);
        const std::string q = randomText(3);
        const int32_t start = randomStart(s.size());
        const bool ic = round % 2 == 0;
        ASSERT_EQ(findText(Text(s), Text(q), start, ic), modelFind(s, q, start, ic))
            << ::testing::PrintToString(Text(s)) << " " << ::testing::PrintToString(Text(q)) << " " << start;
        ASSERT_EQ(findTextLast(Text(s), Text(q), start, ic), modelFindLast(s, q, start, ic))
            << ::testing::PrintToString(Text(s)) << " " << ::testing::PrintToString(Text(q)) << " " << start;
    }
}

TEST_F(RandomTexts, LongTextsAcrossFoldedWindows) {
    // Long texts of the same bytes, so matches fall on and around the edges of
    // the folded windows and on long runs of lead bytes.
    for (int round = 0; round < 6; ++round) {
        std::string s = randomText(0);
        while (s.size() < 200000) s += randomText(64);
        for (int k = 0; k < 40; ++k) {
            const std::string q = "b" + randomText(4) + "A";
            const int32_t start = randomStart(s.size());
            ASSERT_EQ(findText(Text(s), Text(q), start, true), modelFind(s, q, start, true)) << k;
        }
        // Sought texts too long for the vector filter, planted in the text
        // with their case changed, some of them on a trail byte.
        std::string planted = s;
        std::string q;
        while (q.size() < 40) q += randomText(8);
        q.resize(40);
        std::string swapped = q;
        for (char& c : swapped) c = (c == 'a') ? 'A' : (c == 'B') ? 'b' : c;
        for (size_t at = 1000; at + q.size() < planted.size(); at += 37000) planted.replace(at, q.size(), swapped);
        for (int k = 0; k < 10; ++k) {
            const int32_t start = randomStart(planted.size());
            for (const bool ic : {true, false}) {
                ASSERT_EQ(findText(Text(planted), Text(q), start, ic), modelFind(planted, q, start, ic)) << k;
                ASSERT_EQ(findText(Text(planted), Text(swapped), start, ic), modelFind(planted, swapped, start, ic))
                    << k;
            }
        }
    }
}

TEST_F(RandomTexts, CleaningSplittingAndReplacingMatchTheByteWalk) {
    for (int round = 0; round < 20000; ++round) {
        const std::string s = randomText(40);
        const Text t(s);
        ASSERT_EQ(trimSpaces(t), Text(modelTrim(s))) << ::testing::PrintToString(t);
        ASSERT_EQ(removeSpaces(t), Text(modelRemoveSpaces(s))) << ::testing::PrintToString(t);
        ASSERT_EQ(toLower(t), Text(modelLower(s))) << ::testing::PrintToString(t);

        const std::string d = randomText(2);
        ASSERT_EQ(splitText(t, Text(d)), modelSplit(s, d))
            << ::testing::PrintToString(t) << " " << ::testing::PrintToString(Text(d));

        const int32_t start = randomStart(s.size());
        const bool matchCase = round % 3 != 0;
        ASSERT_EQ(replaceText(t, Text(d), Text("#"), start, std::nullopt, matchCase),
                  Text(modelReplace(s, d, "#", start, matchCase)))
            << ::testing::PrintToString(t) << " " << ::testing::PrintToString(Text(d)) << " " << start;
    }
}

TEST_F(RandomTexts, ExtractionMatchesRepeatedFindText) {
    const char* const markers[][2] = {{":", ":"}, {"a", "b"}, {"Ab", "\xA1\xA1"}, {"x", ":"}, {"\xB0", "a"}};
    for (int round = 0; round < 20000; ++round) {
        const Text t(randomText(60));
        const auto& m = markers[round % 5];
        const bool matchCase = round % 2 == 0;
        TextArray got;
        ExtractOptions options;
        options.matchCase = matchCase;
        extractAllBetween(t, Text(m[0]), Text(m[1]), got, options);
        ASSERT_EQ(got, modelExtract(t, Text(m[0]), Text(m[1]), matchCase)) << ::testing::PrintToString(t);
    }
}

}  // namespace
}  // namespace quillmoss
