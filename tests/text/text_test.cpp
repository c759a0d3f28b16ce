#include "text/text.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>
#include <string>

#include "printers.h"
#include "text/codepage.h"

namespace quillmoss {
namespace {

constexpr int32_t kMin = std::numeric_limits<int32_t>::min();
constexpr int32_t kMax = std::numeric_limits<int32_t>::max();

struct FindCase {
    const char* text;
    const char* sought;
    std::optional<int32_t> start;
    bool ignoreCase;
    int32_t expected;
};

TEST(FindText, PositionsStartsAndCharacterStepping) {
    const FindCase cases[] = {
        {"abcabc", "c", std::nullopt, false, 3},
        {"abcabc", "c", 4, false, 6},
        {"abcabc", "c", 0, false, 3},
        {"abcabc", "c", 1, false, 3},
        {"abcabc", "c", -5, false, 3},
        {"abcabc", "c", kMin, false, 3},
        {"abcabc", "c", 6, false, 6},
        {"abcabc", "c", 7, false, -1},
        {"abcabc", "c", kMax, false, -1},
        {"abc", "abcd", std::nullopt, false, -1},
        // An empty sought text is reported at 1, not at the start.
        {"abc", "", 3, false, 1},
        {"abc", "", 4, false, -1},
        {"", "", std::nullopt, false, -1},
        {"", "a", std::nullopt, false, -1},
        // Case folding is ASCII only, on both sides and on trail bytes too.
        {"ABC", "b", std::nullopt, false, -1},
        {"ABC", "b", std::nullopt, true, 2},
        {"xxHeLLo", "hEllO", std::nullopt, true, 3},
        {"\x81\x41", "\x81\x61", std::nullopt, true, 1},
        {"\x81\x41", "\x81\x61", std::nullopt, false, -1},
        {"\xA3\xC1", "\xA3\xE1", std::nullopt, true, -1},  // full-width A and a
        {"@[`{", "`", std::nullopt, true, 3},
        // A match never begins on a trail byte.
        {"\xB0\x41\x41", "A", std::nullopt, false, 3},
        {"\xB0\x41\x41", "a", std::nullopt, true, 3},
        {"\xB0\xB1\xB2\x41\x41", "A", std::nullopt, false, 5},
        {"\xB0\xB1\xB2\x41", "\xB1\xB2", std::nullopt, false, -1},
        {"\xB0\xB1\xB1\xB2", "\xB1\xB2", std::nullopt, false, 3},
        // The start position is taken as a boundary, even mid-character.
        {"\xB0\x41x", "A", 2, false, 2},
        // A dangling lead byte is still compared before the walk ends.
        {"ab\xB0", "\xB0", std::nullopt, false, 3},
    };
    for (const FindCase& c : cases) {
        EXPECT_EQ(findText(Text(c.text), Text(c.sought), c.start, c.ignoreCase), c.expected)
            << "text \"" << c.text << "\" sought \"" << c.sought << "\" start "
            << (c.start ? std::to_string(*c.start) : "none") << " ignoreCase " << c.ignoreCase;
    }
}

TEST(FindText, LongTextIgnoringCaseAcrossWindowEdges) {
    // Matches sit at and around 16-byte blocks and 64 KiB folded windows, for
    // a short sought text and for one longer than the vector filter takes.
    const std::string big(300000, 'x');
    const std::string shortOne = "NeedLE";
    const std::string longOne = "NeedLE-" + std::string(30, 'q') + "-ENDmark";
    for (const std::string& sought : {shortOne, longOne}) {
        std::string variant = sought;
        for (char& c : variant) c = (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : static_cast<char>(c | 0x20);
        const size_t len = sought.size();
        for (const size_t at : {size_t{0}, size_t{15}, size_t{65530}, size_t{65536}, size_t{131069},
                                big.size() - len}) {
            std::string s = big;
            s.replace(at, len, variant);
            const Text t(s);
            EXPECT_EQ(findText(t, Text(sought), std::nullopt, true), static_cast<int32_t>(at + 1)) << at;
            EXPECT_EQ(findText(t, Text(sought), static_cast<int32_t>(at + 2), true), -1) << at;
            EXPECT_EQ(findText(t, Text(sought)), -1) << at;
            EXPECT_EQ(findText(t, Text(variant)), static_cast<int32_t>(at + 1)) << at;
        }
    }
}

TEST(FindTextLast, LimitsAndStepping) {
    const FindCase cases[] = {
        {"a:b:c", ":", std::nullopt, false, 4},
        {"a:b:c", ":", 4, false, 2},
        {"a:b:c", ":", 5, false, 4},
        {"a:b:c", ":", 1, false, -1},
        {"a:b:c", ":", kMin, false, -1},
        {"a:b:c", ":", 100, false, 4},
        {"abab", "ab", 4, false, 1},  // the whole match must lie before start
        {"aaa", "aa", std::nullopt, false, 2},
        {"aXbx", "x", std::nullopt, true, 4},
        {"aXbx", "X", std::nullopt, false, 2},
        {"\xB0:", ":", std::nullopt, false, -1},  // only a trail byte
        {"\xB0::", ":", std::nullopt, false, 3},
        {"abc", "", std::nullopt, false, 1},
        {"abc", "", 1, false, -1},
        {"", "", std::nullopt, false, -1},
    };
    for (const FindCase& c : cases) {
        EXPECT_EQ(findTextLast(Text(c.text), Text(c.sought), c.start, c.ignoreCase), c.expected)
            << "text \"" << c.text << "\" sought \"" << c.sought << "\" start "
            << (c.start ? std::to_string(*c.start) : "none");
    }
}

TEST(Slicing, ClampsCountsAndPositions) {
    const Text abc("abc");
    const struct {
        Text actual;
        Text expected;
        const char* what;
    } cases[] = {
        {textMid(Text("abcdef"), 3, 2), Text("cd"), "mid inside"},
        {textMid(abc, 3, 10), Text("c"), "mid past the end"},
        {textMid(abc, 1, kMax), abc, "mid huge count"},
        {textMid(abc, 0, 2), Text(), "mid start 0"},
        {textMid(abc, 4, 1), Text(), "mid start past the end"},
        {textMid(abc, 2, 0), Text(), "mid count 0"},
        {textMid(abc, 2, -1), Text(), "mid negative count"},
        {textLeft(abc, 5), abc, "left more than length"},
        {textLeft(abc, 2), Text("ab"), "left"},
        {textLeft(abc, 0), Text(), "left 0"},
        {textLeft(Text("\xD6\xD0"), 1), Text("\xD6"), "left splits a character"},
        {textRight(abc, -1), Text(), "right negative"},
        {textRight(abc, 2), Text("bc"), "right"},
        {textRight(abc, kMax), abc, "right huge"},
    };
    for (const auto& c : cases) EXPECT_EQ(c.actual, c.expected) << c.what;
    EXPECT_EQ(textLength(Text("\xD6\xD0x")), 3);
    EXPECT_EQ(textLength(Text()), 0);
}

struct MapCase {
    const char* input;
    const char* expected;
};

TEST(TrimSpaces, BothKindsOfSpaceAtBothEnds) {
    const MapCase cases[] = {
        {"  \xA1\xA1" "a b\t ", "a b\t"},
        {"\na\n", "\na\n"},
        {"\t a \t", "\t a \t"},
        {"   ", ""},
        {"\xA1\xA1\xA1\xA1", ""},
        {"", ""},
        {"a \xB0", "a "},      // dangling lead byte goes, the space before it stays
        {"a\xA1", "a"},
        {"  \xB0", ""},
        {" \xB0\xA1\xA1 ", "\xB0\xA1\xA1 "},  // B0 A1 and A1 20 are characters, not spaces
        {"\xA1\xA1x\xA1\xA1", "x"},
        {"abcdefgh        ", "abcdefgh"},
        {"abcdefg h       x ", "abcdefg h       x"},
        {"  abcdef  gh    \xA1\xA1 ", "abcdef  gh"},
        {"a       \xD6\xD0        ", "a       \xD6\xD0"},
    };
    for (const MapCase& c : cases) EXPECT_EQ(trimSpaces(Text(c.input)), Text(c.expected)) << c.input;
}

TEST(RemoveSpaces, DropsOnlySpaceCharacters) {
    const MapCase cases[] = {
        {"a b\xA1\xA1" "c", "abc"},
        {"a\tb\nc\r", "a\tb\nc\r"},
        {"\xB0\x20x", "\xB0\x20x"},  // 20 is a trail byte here
        {"ab\xB0", "ab"},
        {"a b c d e f g h i j k", "abcdefghijk"},
        {"abcdefghijklmnop q", "abcdefghijklmnopq"},
        {"     ", ""},
    };
    for (const MapCase& c : cases) EXPECT_EQ(removeSpaces(Text(c.input)), Text(c.expected)) << c.input;
}

TEST(ToLower, AsciiLettersOnlyAndNeverTrailBytes) {
    const MapCase cases[] = {
        {"ABC def", "abc def"},
        {"@[`{AZaz", "@[`{azaz"},
        {"\x81\x41" "A", "\x81\x41" "a"},
        {"\xA3\xC1", "\xA3\xC1"},
        {"HELLO WORLD ABC\x81\x41XYZ QUITE LONG", "hello world abc\x81\x41xyz quite long"},
        {"A\xB0", "a\xB0"},
    };
    for (const MapCase& c : cases) EXPECT_EQ(toLower(Text(c.input)), Text(c.expected)) << c.input;
}

TEST(SplitText, PiecesDelimitersAndLimits) {
    const struct {
        const char* text;
        const char* delimiter;
        std::optional<int32_t> maxParts;
        TextArray expected;
    } cases[] = {
        {"a;;b", ";", std::nullopt, arrayOf({"a", "", "b"})},
        {";a", ";", std::nullopt, arrayOf({"", "a"})},
        {"a;", ";", std::nullopt, arrayOf({"a"})},
        {";", ";", std::nullopt, arrayOf({""})},
        {"", ";", std::nullopt, arrayOf({})},
        {"abc", ",", std::nullopt, arrayOf({"abc"})},
        {"a,b,c", ",", 2, arrayOf({"a", "b"})},
        {"a,b", ",", 5, arrayOf({"a", "b"})},
        {"a,b", ",", 0, arrayOf({})},
        {"a,b", ",", -1, arrayOf({})},
        {"a,b", "", std::nullopt, arrayOf({"a,b"})},
        {"a::b::", "::", std::nullopt, arrayOf({"a", "b"})},
        {"A;a", "a", std::nullopt, arrayOf({"A;"})},
        {"\xB0,x,y", ",", std::nullopt, arrayOf({"\xB0,x", "y"})},
        {"ab,\xB0", ",", std::nullopt, arrayOf({"ab", "\xB0"})},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(splitText(Text(c.text), Text(c.delimiter), c.maxParts), c.expected)
            << "\"" << c.text << "\" at \"" << c.delimiter << "\"";
    }
    EXPECT_EQ(splitText(Text("a,b")), arrayOf({"a", "b"}));
}

TEST(ReplaceText, OccurrencesStartCountAndCase) {
    const struct {
        const char* text;
        const char* sought;
        const char* replacement;
        std::optional<int32_t> start;
        std::optional<int32_t> count;
        bool matchCase;
        const char* expected;
    } cases[] = {
        {"x#y#", "#", "-", std::nullopt, std::nullopt, true, "x-y-"},
        {"aAa", "A", "-", std::nullopt, std::nullopt, true, "a-a"},
        {"aAa", "A", "-", std::nullopt, std::nullopt, false, "---"},
        {"a-b-c", "-", "", std::nullopt, std::nullopt, true, "abc"},
        {"aaa", "aa", "b", std::nullopt, std::nullopt, true, "ba"},
        {"aaaa", "a", "b", 3, std::nullopt, true, "aabb"},
        {"aaaa", "a", "b", 4, std::nullopt, true, "aaab"},
        {"aaaa", "a", "b", 5, std::nullopt, true, "aaaa"},
        {"aaaa", "a", "b", -3, std::nullopt, true, "bbbb"},
        {"aaaa", "a", "b", std::nullopt, 2, true, "bbaa"},
        {"aaaa", "a", "b", std::nullopt, 0, true, "aaaa"},
        {"aaaa", "a", "b", std::nullopt, -1, true, "bbbb"},
        {"abc", "", "x", std::nullopt, std::nullopt, true, "abc"},
        {"", "a", "x", std::nullopt, std::nullopt, true, ""},
        {"\xB0#x#", "#", "-", std::nullopt, std::nullopt, true, "\xB0#x-"},
        {"\xB0\x41\x41", "A", "b", std::nullopt, std::nullopt, true, "\xB0\x41" "b"},
        {"\x81\x61", "\x81\x41", "X", std::nullopt, std::nullopt, false, "X"},
        // A dangling lead byte that the walk reaches is dropped...
        {"ab\xB0", "x", "y", std::nullopt, std::nullopt, true, "ab"},
        // ...unless it matches, or the walk stops before it,
        {"ab\xB0", "\xB0", "z", std::nullopt, std::nullopt, true, "abz"},
        {"ab\xB0", "xy", "z", std::nullopt, std::nullopt, true, "ab\xB0"},
        // ...or the count is reached first and the rest is copied.
        {"xa\xB0", "x", "y", std::nullopt, 1, true, "ya\xB0"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(replaceText(Text(c.text), Text(c.sought), Text(c.replacement), c.start, c.count,
                              c.matchCase),
                  Text(c.expected))
            << "\"" << c.text << "\" \"" << c.sought << "\" -> \"" << c.replacement << "\"";
    }
}

TEST(ToInt, TextFormsSignsAndWrapAround) {
    const struct {
        const char* text;
        int32_t expected;
    } cases[] = {
        {"8080", 8080},
        {"  42abc", 42},
        {"-7", -7},
        {"+5", 5},
        {"abc", 0},
        {"", 0},
        {"- 5", 0},
        {"+-5", 0},
        {"12 34", 12},
        {"\t\n\v\f\r 9", 9},
        {"\xA3\xB1\xA3\xB2", 12},            // full-width digits
        {"\xA1\xA1\xA3\xAD\xA3\xB3", -3},    // full-width space and minus
        {"\xA3\xAB" "4", 4},                 // full-width plus
        {"\xB0\x35", 0},                     // a digit as trail byte is no digit
        {"1\xA3", 1},
        {"4294967297", 1},                   // 2^32 + 1
        {"2147483648", kMin},
        {"-2147483648", kMin},
        {"99999999999999999999", 1661992959},  // (10^20 - 1) mod 2^32
        {"-4294967295", 1},
    };
    for (const auto& c : cases) EXPECT_EQ(toInt(Text(c.text)), c.expected) << c.text;
}

TEST(ToInt, RealNumbersTruncateTowardZeroAndNeverOverflow) {
    EXPECT_EQ(toInt(2.9), 2);
    EXPECT_EQ(toInt(-2.9), -2);
    EXPECT_EQ(toInt(-0.5), 0);
    EXPECT_EQ(toInt(1e20), kMax);
    EXPECT_EQ(toInt(-1e20), kMin);
    EXPECT_EQ(toInt(std::nan("")), 0);
    EXPECT_EQ(toInt(int32_t{-9}), -9);
}

TEST(ToText, NumberForms) {
    const struct {
        Text actual;
        const char* expected;
    } cases[] = {
        {toText(0), "0"},
        {toText(-5), "-5"},
        {toText(kMin), "-2147483648"},
        {toText(2.0), "2"},
        {toText(-1.0), "-1"},
        {toText(0.5), "0.5"},
        {toText(250.0), "250"},
        {toText(1.0 / 3.0), "0.3333333333333"},
        {toText(123456.789), "123456.789"},
        {toText(1e12), "1000000000000"},
        {toText(1e13), "1e+13"},
        {toText(0.0001), "0.0001"},
        {toText(0.00001), "1e-05"},
        {toHexText(0), "0"},
        {toHexText(10), "A"},
        {toHexText(255), "FF"},
        {toHexText(-1), "FFFFFFFF"},
        {toHexText(kMin), "80000000"},
        {charFromCode(0), ""},
        {charFromCode(256), ""},
        {charFromCode(65), "A"},
        {charFromCode(256 + 66), "B"},
        {charFromCode(-1), "\xFF"},
        {blankText(3), "   "},
        {blankText(0), ""},
        {blankText(-2), ""},
    };
    for (const auto& c : cases) EXPECT_EQ(c.actual, Text(c.expected)) << c.expected;
}

TEST(ToText, DateTimeDropsTrailingZeroFields) {
    const struct {
        DateTime time;
        const char* expected;
    } cases[] = {
        {{2015, 3, 7, 14, 5, 9}, "2015年3月7日14时5分9秒"},
        {{2015, 3, 7, 14, 5, 0}, "2015年3月7日14时5分"},
        {{2015, 3, 7, 14, 0, 0}, "2015年3月7日14时"},
        {{2015, 3, 7, 0, 0, 0}, "2015年3月7日"},
        {{2015, 3, 7, 0, 0, 9}, "2015年3月7日0时0分9秒"},
        {{2015, 12, 31, 0, 30, 0}, "2015年12月31日0时30分"},
    };
    for (const auto& c : cases) EXPECT_EQ(toText(c.time), gbkFromUtf8(c.expected)) << c.expected;
}

TEST(TextValue, BytesEndBeforeTheFirstZero) {
    using namespace std::string_view_literals;
    EXPECT_EQ(Text("ab\0c"sv), Text("ab"));
    EXPECT_EQ(Text(std::string("ab\0c", 4)), Text("ab"));
    EXPECT_EQ(Text(static_cast<const char*>(nullptr)), Text());
    EXPECT_EQ(toText(ByteBuffer("ab\0c"sv)), Text("ab"));
    EXPECT_EQ(toText(ByteBuffer("abc"sv)), Text("abc"));
    EXPECT_EQ(toBytes(Text("abc")), ByteBuffer("abc"sv));
    EXPECT_TRUE(toBytes(Text()).empty());
    EXPECT_EQ(Text("a") + Text() + Text("\xD6\xD0"), Text("a\xD6\xD0"));
}

TEST(ByteBuffers, LengthsBlanksAndExactSearch) {
    using namespace std::string_view_literals;
    const ByteBuffer data("utf\0-8 utf"sv);
    EXPECT_EQ(bytesLength(data), 10);
    EXPECT_EQ(bytesLeft(data, 4), ByteBuffer("utf\0"sv));
    EXPECT_EQ(bytesLeft(data, 99), data);
    EXPECT_TRUE(bytesLeft(data, 0).empty());
    EXPECT_EQ(blankBytes(3), ByteBuffer("\0\0\0"sv));
    EXPECT_TRUE(blankBytes(-1).empty());

    const struct {
        std::string_view sought;
        std::optional<int32_t> start;
        int32_t expected;
    } cases[] = {
        {"utf"sv, std::nullopt, 1}, {"utf"sv, 0, 1},  {"utf"sv, -3, 1}, {"utf"sv, 2, 8},
        {"utf"sv, 9, -1},           {""sv, std::nullopt, -1},            {"\0-"sv, std::nullopt, 4},
        {"x"sv, std::nullopt, -1},  {"utf"sv, 11, -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(findBytes(data, ByteBuffer(c.sought), c.start), c.expected) << c.sought;
    // Exact bytes: no character stepping.
    EXPECT_EQ(findBytes(ByteBuffer("\xB0\x41"sv), ByteBuffer("A"sv)), 2);
}

TEST(TextArrayTest, OneBasedCopiesAndClear) {
    TextArray a;
    EXPECT_EQ(a.size(), 0);
    Text t("x");
    a.append(t);
    t += Text("y");
    a.append(Text("z"));
    ASSERT_EQ(a.size(), 2);
    EXPECT_EQ(a.at(1), Text("x"));  // a copy, untouched by the later change
    EXPECT_EQ(a.at(2), Text("z"));
    a.clear();
    EXPECT_EQ(a.size(), 0);
}

TEST(TextArrayDeathTest, ReadOutsideTheRangeAssertsOrGivesEmpty) {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    TextArray a;
    a.append(Text("x"));
    for (const int32_t index : {0, 2, -1, kMin, kMax}) {
        const Text* got = nullptr;
        EXPECT_DEBUG_DEATH(got = &a.at(index), "outside") << index;
#ifdef NDEBUG
        ASSERT_NE(got, nullptr);
        EXPECT_TRUE(got->empty()) << index;
#else
        (void)got;
#endif
    }
}

TEST(Other, BitOrClockAndRunDirectory) {
    EXPECT_EQ(bitOr({1, 2, 4, 0x100}), 0x107);
    const DateTime now = currentTime();
    EXPECT_GE(now.year, 2024);
    EXPECT_TRUE(now.month >= 1 && now.month <= 12 && now.day >= 1 && now.day <= 31);
    EXPECT_TRUE(now.hour <= 23 && now.minute <= 59 && now.second <= 59);

    const Text dir = runDirectory();
    ASSERT_FALSE(dir.empty());
    EXPECT_NE(dir.view().back(), '/');
    EXPECT_TRUE(std::filesystem::exists(dir.bytes() + "/quillmoss_text_tests"));
}

}  // namespace
}  // namespace quillmoss
