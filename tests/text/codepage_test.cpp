#include "text/codepage.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <thread>
#include <vector>

#include "printers.h"
#include "text/convert_detail.h"

namespace quillmoss {
namespace {

using namespace std::string_view_literals;

ByteBuffer bytes(std::string_view s) { return ByteBuffer(s); }

TEST(AnsiToUtf8, GbkToUtf8Bytes) {
    const struct {
        const char* gbk;
        const char* utf8;
    } cases[] = {
        {"\xD6\xD0", "\xE4\xB8\xAD"},          // 中
        {"plain ascii ~", "plain ascii ~"},
        {"", ""},
        {"\x80", "\xE2\x82\xAC"},              // the euro sign of code page 936
        {"\xA1\xA1", "\xE3\x80\x80"},          // full-width space
        {"a\xD6\xD0" "b", "a\xE4\xB8\xAD" "b"},
    };
    for (const auto& c : cases) EXPECT_EQ(ansiToUtf8(Text(c.gbk)), Text(c.utf8)) << c.gbk;
}

TEST(Utf8ToAnsi, Utf8ToGbkBytes) {
    const struct {
        std::string_view utf8;
        std::string_view gbk;
        const char* what;
    } cases[] = {
        {"\xE4\xB8\xAD"sv, "\xD6\xD0"sv, "a Chinese character"},
        {""sv, ""sv, "empty"},
        {"abc"sv, "abc"sv, "ASCII, no terminator added"},
        {"a\0b"sv, "a\0b"sv, "a zero byte is kept"},
        {"\xEA\xB0\x80"sv, "?"sv, "a Hangul syllable GBK lacks"},
        {"\xE2\x82\xAC"sv, "\x80"sv, "the euro sign"},
        {"\xF0\x9F\x98\x80"sv, "?"sv, "a character beyond the BMP"},
        {"a\xFF" "b"sv, "a?b"sv, "an invalid byte"},
        {"\xE4\xB8"sv, "?"sv, "a truncated sequence at the end"},
        {"\xE4\xB8" "a\xE4\xB8\xAD"sv, "?a\xD6\xD0"sv, "a truncated sequence goes on"},
        {"\xED\xA0\x80"sv, "???"sv, "an encoded surrogate"},
        {"e\xCC\x81"sv, "\xA8\xA6"sv, "e and a combining acute compose to e-acute"},
        {"\xC3\xA9"sv, "\xA8\xA6"sv, "precomposed e-acute"},
    };
    for (const auto& c : cases) EXPECT_EQ(utf8ToAnsi(bytes(c.utf8)), bytes(c.gbk)) << c.what;
}

TEST(Utf8ToAnsi, ComposesAcrossALongComposedPrefix) {
    // The quick check passes the first part; the rest must still be composed.
    std::string utf8(5000, 'x');
    utf8 += "e\xCC\x81 \xE4\xB8\xAD";
    ByteBuffer expected(std::string(5000, 'x') + "\xA8\xA6 \xD6\xD0");
    EXPECT_EQ(utf8ToAnsi(bytes(utf8)), expected);
}

TEST(Utf8ToAnsi, RunSplittingAgreesWithWholeTextConversion) {
    // Pieces that interact across ASCII: combining marks of two classes that
    // reorder, jamo that compose into a syllable, broken and stray bytes, and
    // ASCII runs long enough to split the text into stretches.
    const std::string_view pieces[] = {
        "a"sv, "e"sv, " "sv, "\0"sv, "\xCC\x81"sv, "\xCC\xA3"sv, "\xE4\xB8\xAD"sv, "\xEA\xB0\x80"sv,
        "\xE2\x82\xAC"sv, "\xFF"sv, "\xE4\xB8"sv, "\x80"sv, "\xE1\x84\x80"sv, "\xE1\x85\xA1"sv,
        "\xF0\x9F\x98\x80"sv, "abcdefghijklmnopqrstuvwxyz"sv, "0123456789abcde"sv,
    };
    std::mt19937 rng(99);
    std::uniform_int_distribution<size_t> pick(0, std::size(pieces) - 1);
    for (int round = 0; round < 3000; ++round) {
        std::string utf8;
        const size_t count = rng() % 30;
        for (size_t k = 0; k < count; ++k) utf8 += pieces[pick(rng)];
        ASSERT_EQ(utf8ToAnsi(bytes(utf8)), ByteBuffer(detail::utf8ToGbkWhole(utf8)))
            << ::testing::PrintToString(ByteBuffer(utf8));
    }
}

TEST(WideShapes, TerminatorsAndLittleEndianUnits) {
    EXPECT_EQ(toWide(Text("A"), kCodePageGbk), bytes("A\0\0\0"sv));
    EXPECT_EQ(toWide(Text("\xD6\xD0"), kCodePageGbk), bytes("\x2D\x4E\0\0"sv));
    EXPECT_EQ(toWide(Text("\xE4\xB8\xAD")), bytes("\x2D\x4E\0\0"sv));  // UTF-8 when omitted
    EXPECT_EQ(toWide(Text("\x80"), kCodePageAnsi), bytes("\xAC\x20\0\0"sv));
    EXPECT_EQ(toWide(Text(), kCodePageGbk), bytes("\0\0"sv));
    EXPECT_TRUE(toWide(Text("A"), 12345).empty());  // no such code page

    EXPECT_EQ(utf8ToWide(bytes("A\xE4\xB8\xAD"sv)), bytes("A\0\x2D\x4E"sv));
    EXPECT_EQ(utf8ToWide(bytes("\xFF"sv)), bytes("\xFD\xFF"sv));
    EXPECT_TRUE(utf8ToWide(ByteBuffer()).empty());

    EXPECT_EQ(fromWide(bytes("A\0\0\0B\0"sv)), Text("A"));  // stops at the zero unit
    EXPECT_EQ(fromWide(bytes("A\0B\0"sv)), Text("AB"));       // or at the end
    EXPECT_EQ(fromWide(bytes("\x2D\x4E\0\0"sv), kCodePageGbk), Text("\xD6\xD0"));
    EXPECT_EQ(fromWide(bytes("\x2D\x4E\0\0"sv), kCodePageUtf8), Text("\xE4\xB8\xAD"));
    EXPECT_EQ(fromWide(bytes("\x00\xAC\0\0"sv), kCodePageGbk), Text("?"));  // Hangul
    EXPECT_EQ(fromWide(bytes("\x00\xD8\0\0"sv), kCodePageUtf8), Text("\xEF\xBF\xBD"));
    EXPECT_TRUE(fromWide(ByteBuffer()).empty());
}

TEST(WideShapes, EuroSignsGrowThreefoldWithoutOverflow) {
    // Each euro sign is one GBK byte and three UTF-8 bytes.
    for (const size_t count : {size_t{1}, size_t{7}, size_t{100000}}) {
        const Text euros(std::string(count, '\x80'));
        std::string utf8;
        for (size_t i = 0; i < count; ++i) utf8 += "\xE2\x82\xAC";
        EXPECT_EQ(fromWide(toWide(euros, kCodePageGbk), kCodePageUtf8), Text(utf8)) << count;
        EXPECT_EQ(ansiToUtf8(euros), Text(utf8)) << count;
        EXPECT_EQ(fromWide(toWide(Text(utf8), kCodePageUtf8), kCodePageGbk), euros) << count;
    }
}

TEST(Utf16Boundary, RoundTripsAndSurrogates) {
    const Text gbk("a\x80\xD6\xD0\xA1\xA1z");
    const std::u16string units = gbkToUtf16(gbk);
    EXPECT_EQ(units, u"a\u20AC\u4E2D\u3000z");
    EXPECT_EQ(utf16ToGbk(units), gbk);

    EXPECT_EQ(utf16ToGbk(u"\xD800" u"A"), Text("?A"));
    EXPECT_EQ(utf16ToGbk(u"A\xDC00"), Text("A?"));
    EXPECT_EQ(utf16ToGbk(u"\U0001F600"), Text("?"));
    EXPECT_EQ(utf16ToGbk(u"\uAC00"), Text("?"));
    EXPECT_EQ(utf16ToGbk(std::u16string_view(u"ab\0c", 4)), Text("ab"));
    EXPECT_TRUE(gbkToUtf16(Text()).empty());
    EXPECT_EQ(gbkToUtf16(Text("\xB0")), u"\uFFFD");  // dangling lead byte

    EXPECT_EQ(gbkFromUtf8("中国"), Text("\xD6\xD0\xB9\xFA"));
    EXPECT_EQ(gbkFromUtf8("#引号"), Text("#\xD2\xFD\xBA\xC5"));
}

TEST(CodePageThreads, ConcurrentConversionsAgree) {
    // Each thread has its own converters; results must not bleed across.
    const Text gbk("\xD6\xD0\xB9\xFA abc \x80");
    const Text utf8 = ansiToUtf8(gbk);
    std::vector<std::thread> threads;
    std::vector<int> failures(4, 0);
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&, t] {
            for (int i = 0; i < 2000; ++i) {
                const Text mine = gbk + toText(t * 10000 + i);
                if (utf8ToAnsi(toBytes(ansiToUtf8(mine))) != toBytes(mine)) ++failures[t];
                if (utf16ToGbk(gbkToUtf16(mine)) != mine) ++failures[t];
                if (ansiToUtf8(gbk) != utf8) ++failures[t];
            }
        });
    }
    for (std::thread& th : threads) th.join();
    for (int t = 0; t < 4; ++t) EXPECT_EQ(failures[t], 0) << t;
}

}  // namespace
}  // namespace quillmoss
