#include "text/markers.h"

#include <gtest/gtest.h>

#include "printers.h"
#include "text/codepage.h"
#include "text/url_encode.h"

namespace quillmoss {
namespace {

TEST(TextBetween, FirstBlockAfterTheStartMarker) {
    const struct {
        const char* text;
        const char* front;
        const char* back;
        std::optional<int32_t> start;
        bool matchCase;
        const char* expected;
    } cases[] = {
        {"<b>x</b>", "<b>", "</b>", std::nullopt, false, "x"},
        {"<B>x</B>", "<b>", "</b>", std::nullopt, false, "x"},
        {"<B>x</B>", "<b>", "</b>", std::nullopt, true, ""},
        {"<b>x</b><b>y</b>", "<b>", "</b>", std::nullopt, false, "x"},
        {"<b>x</b><b>y</b>", "<b>", "</b>", 2, false, "y"},
        {"no markers", "<b>", "</b>", std::nullopt, false, ""},
        {"<b>x", "<b>", "</b>", std::nullopt, false, ""},
        {"<b></b>", "<b>", "</b>", std::nullopt, false, ""},
        {"</b>y<b>x", "<b>", "</b>", std::nullopt, false, ""},
        {"abc/", "", "/", std::nullopt, false, "abc"},
        {"abc/", "a", "", std::nullopt, false, ""},
        {"::", ":", ":", std::nullopt, false, ""},  // an end marker right behind the start
        {"Host: h\r\n", "host: ", "\r\n", std::nullopt, false, "h"},
        // The quote placeholder, in either marker.
        {"a=\"v\" b", "=#\xD2\xFD\xBA\xC5", "#\xD2\xFD\xBA\xC5", std::nullopt, false, "v"},
        {"a=#\xD2\xFD\xBA\xC5v#\xD2\xFD\xBA\xC5", "=#\xD2\xFD\xBA\xC5", "#\xD2\xFD\xBA\xC5", std::nullopt,
         false, ""},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(textBetween(Text(c.text), Text(c.front), Text(c.back), c.start, c.matchCase),
                  Text(c.expected))
            << "\"" << c.text << "\" between \"" << c.front << "\" and \"" << c.back << "\"";
    }
}

ExtractOptions withLimit(int32_t limit) {
    ExtractOptions o;
    o.limit = limit;
    return o;
}

ExtractOptions decorated() {
    ExtractOptions o;
    o.prefix = Text("<");
    o.suffix = Text(">");
    o.includeFront = true;
    o.includeBack = true;
    return o;
}

ExtractOptions exactCase() {
    ExtractOptions o;
    o.matchCase = true;
    return o;
}

ExtractOptions startingAt(int32_t start) {
    ExtractOptions o;
    o.start = start;
    return o;
}

TEST(ExtractAllBetween, BlocksInOrderUntilTheFirstFailure) {
    const struct {
        const char* text;
        const char* front;
        const char* back;
        ExtractOptions options;
        TextArray expected;
    } cases[] = {
        {"|a|b|c|", "|", "|", {}, arrayOf({"a", "b", "c"})},
        {"[x][ ][y]", "[", "]", {}, arrayOf({"x"})},
        {"[ x ][y]", "[", "]", {}, arrayOf({"x", "y"})},
        {"[\nx\n]", "[", "]", {}, arrayOf({"\nx\n"})},
        {"[\xA1\xA1x\xA1\xA1]", "[", "]", {}, arrayOf({"x"})},
        {"[abc][abcd][ab]", "[", "]", withLimit(3), arrayOf({"abc"})},
        {"[abc][ab]", "[", "]", withLimit(-1), arrayOf({})},
        {"[x]", "[", "]", decorated(), arrayOf({"[<x>]"})},
        {"no blocks", "[", "]", {}, arrayOf({})},
        {"[x", "[", "]", {}, arrayOf({})},
        {"<PRE>a</pre><pre>b</PRE>", "<pre>", "</pre>", {}, arrayOf({"a", "b"})},
        {"<PRE>a</pre><pre>b</PRE><pre>c</pre>", "<pre>", "</pre>", exactCase(), arrayOf({"b</PRE><pre>c"})},
        {"[a][b][c]", "[", "]", startingAt(2), arrayOf({"b", "c"})},
        // The end marker is searched from the first byte after the start
        // marker: one directly behind it closes an empty block.
        {"[a][]x]", "[", "]", {}, arrayOf({"a"})},
        // A trail byte never starts a marker.
        {"[a\xB0]]", "[", "]", {}, arrayOf({"a\xB0]"})},
        // An empty start marker opens one block at the first byte.
        {"abc/def/", "", "/", {}, arrayOf({"abc"})},
        {"[a]", "[", "", {}, arrayOf({})},
    };
    for (const auto& c : cases) {
        TextArray target = arrayOf({"left over"});
        const int32_t count = extractAllBetween(Text(c.text), Text(c.front), Text(c.back), target, c.options);
        EXPECT_EQ(target, c.expected) << "\"" << c.text << "\"";
        EXPECT_EQ(count, target.size());
    }
}

TEST(ExtractAllBetween, DetailBlocksOfAResultPage) {
    const Text front = gbkFromUtf8("[云端下载]");
    const Text page = gbkFromUtf8(
        "<div>[云端下载] 名称一\n大小 1 GB </PRE></div>"
        "<div>[云端下载]名称二</pre>"
        "<div>[云端下载]   </pre>[云端下载]never reached</pre>");
    TextArray details;
    EXPECT_EQ(extractAllBetween(page, front, Text("</pre>"), details), 2);
    EXPECT_EQ(details, ([] {
                  TextArray a;
                  a.append(gbkFromUtf8("名称一\n大小 1 GB"));
                  a.append(gbkFromUtf8("名称二"));
                  return a;
              })());
}

TEST(UrlEncode, SafeBytesUtf8AndTwoDigits) {
    const struct {
        Text text;
        bool keepSafe;
        bool asUtf8;
        const char* expected;
    } cases[] = {
        {gbkFromUtf8("中国"), true, true, "%E4%B8%AD%E5%9B%BD"},
        {Text("a b"), true, true, "a%20b"},
        {Text("a+b"), true, true, "a%2Bb"},
        {Text("a/b"), true, true, "a%2Fb"},
        {Text("A-z_0.9~"), true, true, "A-z%5F0.9%7E"},
        {Text(",@[`{"), true, true, "%2C%40%5B%60%7B"},
        {Text("\n"), true, true, "%0A"},
        {gbkFromUtf8("中"), true, false, "%D6%D0"},
        {Text("ab"), false, true, "%61%62"},
        {Text(), true, true, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(urlEncode(c.text, c.keepSafe, c.asUtf8), Text(c.expected)) << c.expected;
}

}  // namespace
}  // namespace quillmoss
