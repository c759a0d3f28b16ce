#include "regex/regex_matcher.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "text/codepage.h"

namespace quillmoss {

// Failure messages show GBK bytes as hex rather than as mojibake.
void PrintTo(const Text& t, std::ostream* os) {
    *os << '"';
    for (const char c : t.view()) {
        const auto b = static_cast<unsigned char>(c);
        if (b >= 0x20 && b < 0x7F && b != '"' && b != '\\') {
            *os << c;
        } else {
            char hex[8];
            std::snprintf(hex, sizeof hex, "\\x%02X", b);
            *os << hex;
        }
    }
    *os << '"';
}

namespace {

// Test texts are written in UTF-8 and handed over in GBK.
Text g(std::string_view utf8) { return gbkFromUtf8(utf8); }

ExecuteOptions given(bool ignoreCase, bool multiline, bool global) {
    ExecuteOptions o;
    o.caseSensitive = !ignoreCase;
    o.multiline = multiline;
    o.global = global;
    o.quotePlaceholder = false;
    return o;
}

// The options the result-page parser runs with.
ExecuteOptions pageOptions() { return given(true, false, true); }

std::vector<Text> matchesOf(const RegexMatcher& m) {
    std::vector<Text> out;
    for (int32_t i = 1; i <= m.matchCount(); ++i) out.push_back(m.matchText(i));
    return out;
}

std::vector<Text> gbkAll(const std::vector<std::string>& utf8) {
    std::vector<Text> out;
    for (const std::string& s : utf8) out.push_back(g(s));
    return out;
}

// ---- the operations and their position rules ----

TEST(RegexMatcher, RejectedPatternFailsAndLeavesNoMatches) {
    RegexMatcher m;
    EXPECT_FALSE(m.execute("(a", "aaa"));
    EXPECT_EQ(m.matchCount(), 0);
    EXPECT_EQ(m.subMatchCount(), 0);
    EXPECT_EQ(m.matchText(1), Text());
    EXPECT_EQ(m.replace("x"), Text());
    // The pattern was set before it was refused, so it reads back.
    EXPECT_EQ(m.pattern(), Text("(a"));
}

TEST(RegexMatcher, PatternWithoutMatchSucceedsWithNone) {
    RegexMatcher m;
    EXPECT_TRUE(m.execute("xyz", "abc"));
    EXPECT_EQ(m.matchCount(), 0);
    EXPECT_EQ(m.subMatchCount(), 0);
    EXPECT_FALSE(m.stoppedEarly());
}

TEST(RegexMatcher, NothingBeforeTheFirstExecute) {
    RegexMatcher m;
    EXPECT_EQ(m.pattern(), Text());
    EXPECT_EQ(m.replace("x"), Text());
    EXPECT_EQ(m.matchCount(), 0);
    int32_t pos = 7;
    EXPECT_EQ(m.matchText(1, &pos), Text());
    EXPECT_EQ(pos, -2);
}

TEST(RegexMatcher, QuotePlaceholderBecomesADoubleQuote) {
    RegexMatcher m;
    ExecuteOptions o;
    o.quotePlaceholder = true;
    ASSERT_TRUE(m.execute(g("href=#引号(.*)#引号"), Text("<a href=\"x.html\">"), o));
    EXPECT_EQ(m.pattern(), Text("href=\"(.*)\""));
    ASSERT_EQ(m.matchCount(), 1);
    EXPECT_EQ(m.subMatchText(1, 1), Text("x.html"));

    // Off (given or omitted), the marker is matched as it stands.
    RegexMatcher plain;
    ASSERT_TRUE(plain.execute(g("href=#引号"), g("href=#引号 href=\"")));
    EXPECT_EQ(plain.matchCount(), 1);
    EXPECT_EQ(plain.pattern(), g("href=#引号"));
}

TEST(RegexMatcher, PageOptionsIgnoreCaseAndFindEveryMatch) {
    RegexMatcher m;
    ASSERT_TRUE(m.execute("ABC", "abc xAbC abc", pageOptions()));
    EXPECT_EQ(matchesOf(m), (std::vector<Text>{"abc", "AbC", "abc"}));
}

TEST(RegexMatcher, OmittedOptionsMeanIgnoreCaseMultilineGlobal) {
    RegexMatcher m;
    ASSERT_TRUE(m.execute("^B", "a\nb\nB"));
    EXPECT_EQ(matchesOf(m), (std::vector<Text>{"b", "B"}));

    ExecuteOptions o;
    o.caseSensitive = true;  // the others stay omitted
    ASSERT_TRUE(m.execute("^B", "a\nb\nB", o));
    EXPECT_EQ(matchesOf(m), (std::vector<Text>{"B"}));
}

TEST(RegexMatcher, MatchIndexOutsideTheCollectionGivesEmpty) {
    RegexMatcher m;
    ASSERT_TRUE(m.execute("a", "aa"));
    ASSERT_EQ(m.matchCount(), 2);
    for (int32_t index : {0, -1, 3}) {
        int32_t pos = 0;
        EXPECT_EQ(m.matchText(index, &pos), Text()) << index;
        EXPECT_EQ(pos, -2) << index;
    }
    EXPECT_EQ(m.subMatchText(1, 1), Text());  // no groups
}

struct PositionCase {
    const char* name;
    const char* subject;
    const char* pattern;
    bool ignoreCase;
    int32_t matchIndex;
    int32_t groupIndex;  // 0: the whole match
    const char* text;
    int32_t position;
};

void PrintTo(const PositionCase& c, std::ostream* os) { *os << c.name; }

class Positions : public testing::TestWithParam<PositionCase> {};

TEST_P(Positions, FollowFirstIndexAndFindText) {
    const PositionCase& c = GetParam();
    RegexMatcher m;
    ASSERT_TRUE(m.execute(g(c.pattern), g(c.subject), given(c.ignoreCase, false, true)));
    int32_t pos = 12345;
    const Text t = c.groupIndex == 0 ? m.matchText(c.matchIndex, &pos) : m.subMatchText(c.matchIndex, c.groupIndex, &pos);
    EXPECT_EQ(t, g(c.text));
    EXPECT_EQ(pos, c.position);
}

INSTANTIATE_TEST_SUITE_P(
    RegexMatcher, Positions,
    testing::Values(
        // FirstIndex counts characters, the position bytes: 中 takes two.
        PositionCase{"AfterDoubleByteChar", "ab中c", "c", true, 1, 0, "c", 4},
        PositionCase{"AsciiOnly", "abc", "c", true, 1, 0, "c", 2},
        PositionCase{"FirstChar", "abc", "a", true, 1, 0, "a", 0},
        // A group's text is searched from the start of its match.
        PositionCase{"GroupFoundAtEarlierEqualText", "xaya", "x(a)y(a)", true, 1, 2, "a", 1},
        PositionCase{"FirstGroup", "xaya", "x(a)y(a)", true, 1, 1, "a", 1},
        // The search starts at FirstIndex as a byte position: with many
        // double-byte characters before it, an equal earlier text is found.
        PositionCase{"EqualTextBeforeTheMatch", "中中ab ab", "ab", true, 2, 0, "ab", 4},
        // Case is ignored in that search exactly when the engine ignored it.
        PositionCase{"IgnoreCaseInTheSearch", "中中xAB ab", "ab", true, 2, 0, "ab", 5},
        PositionCase{"CaseKeptInTheSearch", "中中xAB ab", "ab", false, 1, 0, "ab", 8},
        // The search steps over two-byte characters from its start byte, so a
        // start on a trail byte can step past the match itself.
        PositionCase{"StartOnTrailByteMissesTheMatch", "名称：流浪。名称：", "名称", true, 2, 0, "名称", -2},
        // An empty text is reported at the first byte.
        PositionCase{"EmptyGroup", "abc", "c()", true, 1, 1, "", 0},
        PositionCase{"UnsetGroup", "abc", "c|(x)", true, 1, 1, "", 0}),
    [](const testing::TestParamInfo<PositionCase>& info) { return std::string(info.param.name); });

TEST(RegexMatcher, SubMatchCountIsTheFirstMatchsGroupCount) {
    RegexMatcher m;
    ASSERT_TRUE(m.execute("(a)(b)?|c", "ab c"));
    ASSERT_EQ(m.matchCount(), 2);
    EXPECT_EQ(m.subMatchCount(), 2);
    EXPECT_EQ(m.subMatchText(2, 1), Text());  // the second match took no group
    EXPECT_EQ(m.subMatchText(1, 2), Text("b"));
    EXPECT_EQ(m.subMatchText(1, 3), Text());
    EXPECT_EQ(m.subMatchText(1, 0), Text());
}

TEST(RegexMatcher, ChineseMatchTextsComeBackInGbk) {
    RegexMatcher m;
    ASSERT_TRUE(m.execute(g("名称：(.+?)。"), g("名称：流浪地球。名称：三体 第二部。"), pageOptions()));
    ASSERT_EQ(m.matchCount(), 2);
    EXPECT_EQ(m.subMatchText(1, 1), g("流浪地球"));
    EXPECT_EQ(m.subMatchText(2, 1), g("三体 第二部"));
    EXPECT_EQ(m.matchText(2), g("名称：三体 第二部。"));
}

TEST(RegexMatcher, BytesWithoutARoundTripComeBackAsConverted) {
    // 0x80 is the one-byte euro sign; a lead byte at the end converts to
    // U+FFFD and so comes back as '?'. Texts after them stay right.
    RegexMatcher m;
    ASSERT_TRUE(m.execute("(.)(.)", Text(std::string_view("ab\x80\xD6\xD0" "cd\xD6")), pageOptions()));
    EXPECT_EQ(matchesOf(m), (std::vector<Text>{Text("ab"), Text(std::string_view("\x80\xD6\xD0")), Text("cd")}));
    EXPECT_EQ(m.subMatchText(2, 2), g("中"));
    ASSERT_TRUE(m.execute(".$", Text(std::string_view("x\xD6")), pageOptions()));
    EXPECT_EQ(matchesOf(m), (std::vector<Text>{Text("?")}));
}

TEST(RegexMatcher, EachExecuteReplacesThePreviousResult) {
    RegexMatcher m;
    ASSERT_TRUE(m.execute("(b)", "abcb"));
    ASSERT_EQ(m.matchCount(), 2);
    ASSERT_TRUE(m.execute("c", "xcx"));
    EXPECT_EQ(m.matchCount(), 1);
    EXPECT_EQ(m.subMatchCount(), 0);
    EXPECT_EQ(m.replace("-"), Text("x-x"));
    EXPECT_FALSE(m.execute("[", "xcx"));
    EXPECT_EQ(m.matchCount(), 0);
    EXPECT_EQ(m.pattern(), Text("["));
}

// ---- the dialect ----

struct DialectCase {
    const char* name;
    const char* pattern;
    const char* subject;
    bool ignoreCase;
    bool multiline;
    bool global;
    std::vector<std::string> matches;
};

void PrintTo(const DialectCase& c, std::ostream* os) { *os << c.name; }

class Dialect : public testing::TestWithParam<DialectCase> {};

TEST_P(Dialect, FindsWhatTheDialectFinds) {
    const DialectCase& c = GetParam();
    RegexMatcher m;
    ASSERT_TRUE(m.execute(g(c.pattern), g(c.subject), given(c.ignoreCase, c.multiline, c.global)));
    EXPECT_EQ(matchesOf(m), gbkAll(c.matches));
    EXPECT_FALSE(m.stoppedEarly());
}

constexpr bool kCi = true, kCs = false, kMl = true, kSl = false, kAll = true, kFirst = false;

INSTANTIATE_TEST_SUITE_P(
    RegexMatcher, Dialect,
    testing::Values(
        // "." is any character but a line feed.
        DialectCase{"DotSkipsLineFeedOnly", "a.c", "a\nc a\rc a\tc", kCs, kSl, kAll, {"a\rc", "a\tc"}},
        // Without Multiline "$" is the very end, not before a final line feed.
        DialectCase{"DollarAtVeryEndOnly", "a$", "a\n", kCs, kSl, kAll, {}},
        DialectCase{"DollarAtEnd", "a$", "a\na", kCs, kSl, kAll, {"a"}},
        DialectCase{"DollarBeforeLineFeedWithMultiline", "a$", "a\na", kCs, kMl, kAll, {"a", "a"}},
        DialectCase{"CaretAtStartOnly", "^a", "a\na", kCs, kSl, kAll, {"a"}},
        DialectCase{"CaretAfterEachLineFeedWithMultiline", "^a", "a\n\ra\na", kCs, kMl, kAll, {"a", "a"}},
        // "^" with Multiline also matches after a line feed that ends the text.
        DialectCase{"CaretAfterFinalLineFeed", "^", "a\n", kCs, kMl, kAll, {"", ""}},
        // Greedy and lazy.
        DialectCase{"Greedy", "<.*>", "<a><b>", kCs, kSl, kAll, {"<a><b>"}},
        DialectCase{"Lazy", "<.*?>", "<a><b>", kCs, kSl, kAll, {"<a>", "<b>"}},
        DialectCase{"LazyCounted", "a{2,3}?", "aaaaa", kCs, kSl, kAll, {"aa", "aa"}},
        DialectCase{"Counted", "a{2,}", "a aa aaa", kCs, kSl, kAll, {"aa", "aaa"}},
        // Lookahead.
        DialectCase{"Lookahead", "a(?=b).", "ab ac", kCs, kSl, kAll, {"ab"}},
        DialectCase{"NegativeLookahead", "a(?!b).", "ab ac", kCs, kSl, kAll, {"ac"}},
        // Backreferences; one to a group that took no part matches empty.
        DialectCase{"BackReference", "(a+)b\\1", "aabaa aba", kCs, kSl, kAll, {"aabaa", "aba"}},
        DialectCase{"BackReferenceIgnoringCase", "(ab)\\1", "abAB", kCi, kSl, kAll, {"abAB"}},
        DialectCase{"UnsetGroupMatchesEmpty", "(a)|b\\1", "b", kCs, kSl, kAll, {"b"}},
        DialectCase{"ForwardReferenceMatchesEmpty", "\\1(a)", "a", kCs, kSl, kAll, {"a"}},
        // A number above the group count is an octal escape, 8 and 9 digits.
        DialectCase{"OctalEscape", "\\101\\1", "A\x01", kCs, kSl, kAll, {"A\x01"}},
        DialectCase{"NineIsADigit", "\\9", "9", kCs, kSl, kAll, {"9"}},
        DialectCase{"TwoDigitReference", "(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)\\10", "abcdefghijj", kCs, kSl, kAll,
                    {"abcdefghijj"}},
        // \xhh and \uhhhh; without their digits they are the letters.
        DialectCase{"HexEscapes", "\\x41\\u4e2d", "A中", kCs, kSl, kAll, {"A中"}},
        DialectCase{"ShortHexIsLetter", "\\x4g\\u12", "x4gu12", kCs, kSl, kAll, {"x4gu12"}},
        // Escapes PCRE2 gives other meanings are the dialect's letters or controls.
        DialectCase{"IdentityEscapes", "\\A\\z\\e\\h\\Q", "AzehQ", kCs, kSl, kAll, {"AzehQ"}},
        DialectCase{"VerticalTabOnly", "a\\vb", "a\nb a\x0b" "b", kCs, kSl, kAll, {"a\x0b" "b"}},
        DialectCase{"ControlLetter", "\\cJ", "a\nb", kCs, kSl, kAll, {"\n"}},
        DialectCase{"BackslashCWithoutLetter", "\\c1", "\\c1", kCs, kSl, kAll, {"\\c1"}},
        // Classes: a bracket inside is itself, [] matches nothing, [^] anything.
        DialectCase{"NoPosixClasses", "[[:alpha:]]+", "a]x:]]b", kCs, kSl, kAll, {"a]", ":]]"}},
        DialectCase{"EmptyClassNeverMatches", "a[]", "a[]", kCs, kSl, kAll, {}},
        DialectCase{"NegatedEmptyClassMatchesAll", "a[^]b", "a\nb", kCs, kSl, kAll, {"a\nb"}},
        DialectCase{"DashAfterClassEscape", "[\\d-z]+", "1-z", kCs, kSl, kAll, {"1-z"}},
        DialectCase{"BackspaceInClass", "[\\b]", "a\bb", kCs, kSl, kAll, {"\b"}},
        DialectCase{"NegatedClassTakesLineFeed", "a[^x]b", "a\nb", kCs, kSl, kAll, {"a\nb"}},
        // \d \w \s \b are ASCII: no full-width digits or spaces, no Chinese letters.
        DialectCase{"DigitsAscii", "\\d+", "12１２3", kCs, kSl, kAll, {"12", "3"}},
        DialectCase{"WordAscii", "\\w+", "ab中cd", kCs, kSl, kAll, {"ab", "cd"}},
        DialectCase{"SpaceAscii", "a\\sb", "a　b a\tb", kCs, kSl, kAll, {"a\tb"}},
        DialectCase{"WordBoundaryAscii", "\\bab\\b", "中ab中 xab", kCs, kSl, kAll, {"ab"}},
        // Letters fold, ASCII and beyond, only with IgnoreCase.
        DialectCase{"AsciiFold", "abc", "ABC abc", kCi, kSl, kAll, {"ABC", "abc"}},
        DialectCase{"AsciiKept", "abc", "ABC abc", kCs, kSl, kAll, {"abc"}},
        DialectCase{"ClassFold", "[a-c]+", "ABCd", kCi, kSl, kAll, {"ABC"}},
        DialectCase{"GreekFold", "σ", "Σσ", kCi, kSl, kAll, {"Σ", "σ"}},
        DialectCase{"CyrillicFold", "д", "Дд", kCi, kSl, kAll, {"Д", "д"}},
        DialectCase{"FullWidthFold", "ａ", "Ａａ", kCi, kSl, kAll, {"Ａ", "ａ"}},
        DialectCase{"GreekKept", "σ", "Σσ", kCs, kSl, kAll, {"σ"}},
        // Empty matches: the search goes on one character further.
        DialectCase{"EmptyMatchesAdvance", "a*", "baaa", kCs, kSl, kAll, {"", "aaa", ""}},
        DialectCase{"EmptyPattern", "", "ab", kCs, kSl, kAll, {"", "", ""}},
        DialectCase{"EmptyAfterChinese", "x*", "中", kCs, kSl, kAll, {"", ""}},
        DialectCase{"NoNonEmptyRetryAtEmptyMatch", "a??", "a", kCs, kSl, kAll, {"", ""}},
        // Global off: the first match only.
        DialectCase{"FirstOnly", "a", "aaa", kCs, kSl, kFirst, {"a"}},
        // Braces and brackets that form no quantifier or class are themselves.
        DialectCase{"LiteralBraces", "a{,2}b{x}]", "a{,2}b{x}]", kCs, kSl, kAll, {"a{,2}b{x}]"}},
        // Alternation, groups, quantified lookahead.
        DialectCase{"Alternation", "cat|dog", "dog cat", kCs, kSl, kAll, {"dog", "cat"}},
        DialectCase{"NonCapturing", "(?:ab)+", "ababx", kCs, kSl, kAll, {"abab"}},
        DialectCase{"QuantifiedLookahead", "(?=a)*a", "a", kCs, kSl, kAll, {"a"}}),
    [](const testing::TestParamInfo<DialectCase>& info) { return std::string(info.param.name); });

TEST(RegexMatcher, RejectsWhatTheDialectRejects) {
    const char* rejected[] = {
        "(a", "a)", "[a", "*a", "a**", "a*+", "a{2}{3}", "a???", "a{2,1}", "^*", "\\b+", "a\\",
        "(?<n>a)", "(?i)a", "(?<=a)b", "(?>a)", "(?#x)", "(*UTF)a", "a{70000}",
    };
    for (const char* pattern : rejected) {
        RegexMatcher m;
        EXPECT_FALSE(m.execute(pattern, "aaa")) << pattern;
        EXPECT_EQ(m.matchCount(), 0) << pattern;
    }
}

// ---- replace ----

struct ReplaceCase {
    const char* name;
    const char* pattern;
    const char* subject;
    const char* replacement;
    bool global;
    const char* result;
};

void PrintTo(const ReplaceCase& c, std::ostream* os) { *os << c.name; }

class Replace : public testing::TestWithParam<ReplaceCase> {};

TEST_P(Replace, UsesTheDialectsReplacementSyntax) {
    const ReplaceCase& c = GetParam();
    RegexMatcher m;
    ASSERT_TRUE(m.execute(g(c.pattern), g(c.subject), given(false, false, c.global)));
    EXPECT_EQ(m.replace(g(c.replacement)), g(c.result));
}

INSTANTIATE_TEST_SUITE_P(
    RegexMatcher, Replace,
    testing::Values(
        ReplaceCase{"Groups", "(\\w+)=(\\w+)", "a=1 b=2", "$2=$1", true, "1=a 2=b"},
        ReplaceCase{"FirstOnly", "(\\w+)=(\\w+)", "a=1 b=2", "$2=$1", false, "1=a b=2"},
        ReplaceCase{"WholeMatch", "b+", "abbc", "[$&]", true, "a[bb]c"},
        ReplaceCase{"BeforeAndAfter", "b", "abc", "<$`|$'>", true, "a<a|c>c"},
        ReplaceCase{"Dollar", "b", "abc", "$$", true, "a$c"},
        ReplaceCase{"UnknownStaysLiteral", "(b)", "abc", "$0$2$x$", true, "a$0$2$x$c"},
        ReplaceCase{"OneDigitWhenTwoNameNoGroup", "(b)", "abc", "$10", true, "ab0c"},
        ReplaceCase{"LeadingZero", "(b)", "abc", "$01", true, "abc"},
        ReplaceCase{"TwoDigitGroup", "(a)(b)(c)(d)(e)(f)(g)(h)(i)(j)(k)", "abcdefghijk", "$11$10", true, "kj"},
        ReplaceCase{"UnsetGroupIsEmpty", "(x)|b", "abc", "[$1]", true, "a[]c"},
        ReplaceCase{"EmptyMatches", "x*", "ab", "-", true, "-a-b-"},
        ReplaceCase{"NoMatchKeepsSubject", "z", "abc", "-", true, "abc"},
        ReplaceCase{"OmittedReplacementDeletes", "b", "abcb", "", true, "ac"},
        ReplaceCase{"Chinese", "(中)(文)", "一中文二", "$2$1", true, "一文中二"}),
    [](const testing::TestParamInfo<ReplaceCase>& info) { return std::string(info.param.name); });

// ---- the result-page patterns ----

const Text kNamePattern(std::string_view("&amp;q=(.*)\">(.*)</a></td></tr></table>"));

Text resultLine(int i) {
    return g("<table><tr><td><a href=\"/search?info_hash=&amp;q=名称" + std::to_string(i) + "\">结果 " +
             std::to_string(i) + "</a></td></tr></table>\n");
}

TEST(RegexMatcher, NamePatternFindsOneMatchPerLine) {
    Text page = g("<html>\n<a href=\"/search?q=x&amp;p=2\">2</a>\n");
    for (int i = 0; i < 300; ++i) page += resultLine(i);
    page += g("<div>&amp;q=no closing marker\">here</a></div>\n");
    RegexMatcher m;
    ASSERT_TRUE(m.execute(kNamePattern, page, pageOptions()));
    ASSERT_EQ(m.matchCount(), 300);
    for (int i : {0, 1, 150, 299}) {
        EXPECT_EQ(m.subMatchText(i + 1, 2), g("结果 " + std::to_string(i))) << i;
        Text line = resultLine(i);
        const Text expected = textMid(line, findText(line, "&amp;q="), line.size());
        EXPECT_EQ(m.matchText(i + 1), textLeft(expected, expected.size() - 1)) << i;
    }
}

TEST(RegexMatcher, NamePatternOnOneLineTakesOneGreedyMatch) {
    Text page;
    for (int i = 0; i < 50; ++i) page += resultLine(i);
    page = replaceText(page, "\n", " ");
    page += g("<p><a href=\"/x\">尾</a></p>");  // markup after the last result
    RegexMatcher m;
    ASSERT_TRUE(m.execute(kNamePattern, page, pageOptions()));
    ASSERT_EQ(m.matchCount(), 1);
    // The first group runs from the first "&amp;q=" to the last "\">" that
    // still has the closing markers after it, which is in the last result.
    const int32_t from = findText(page, "&amp;q=") + 7;
    const int32_t to = findText(page, g("\">结果 49"));
    EXPECT_EQ(m.subMatchText(1, 1), textMid(page, from, to - from));
    // Both greedy groups run to the last markers of the line.
    EXPECT_EQ(m.subMatchText(1, 2), g("结果 49"));
    const Text whole = m.matchText(1);
    EXPECT_EQ(findText(whole, "</table>", whole.size() - 7), whole.size() - 7);
}

TEST(RegexMatcher, LinkPatternWithUpperCaseMarker) {
    const Text link(std::string_view("f\\)\" href=\"(.*)\" title=\"magnet\xC1\xB4\xBD\xD3\xCF\xC2\xD4\xD8\">"));
    RegexMatcher m;
    ASSERT_TRUE(m.execute(link, g("<i class=\"f)\" href=\"magnet:?xt=urn:btih:AB\" title=\"MAGNET链接下载\">x"),
                          pageOptions()));
    ASSERT_EQ(m.matchCount(), 1);
    EXPECT_EQ(m.subMatchText(1, 1), Text("magnet:?xt=urn:btih:AB"));
}

TEST(RegexMatcher, ObjectsOnSeveralThreadsAtOnce) {
    // Each worker thread has its own object; the tables they share are built
    // on first use, possibly by two threads at once.
    Text page;
    for (int i = 0; i < 200; ++i) page += resultLine(i);
    std::vector<std::thread> workers;
    std::vector<int> good(4, 0);
    for (size_t t = 0; t < good.size(); ++t) {
        workers.emplace_back([&, t] {
            for (int round = 0; round < 5; ++round) {
                RegexMatcher m;
                if (!m.execute(kNamePattern, page, pageOptions()) || m.matchCount() != 200) continue;
                RegexMatcher greek;
                if (!greek.execute(g("σ"), g("Σσ"), pageOptions()) || greek.matchCount() != 2) continue;
                if (m.subMatchText(7, 2) == g("结果 6")) ++good[t];
            }
        });
    }
    for (std::thread& w : workers) w.join();
    EXPECT_EQ(good, std::vector<int>(4, 5));
}

// ---- the budget ----

TEST(RegexMatcher, BudgetStopKeepsEarlierMatches) {
    // Three real matches, then lines on which every start position takes
    // exponential time: far more than the budget in all.
    Text subject("xxy\nxxy\nxxy\n");
    for (int i = 0; i < 2000; ++i) subject += Text(std::string(20, 'x') + "a\n");
    RegexMatcher m;
    ASSERT_TRUE(m.execute("(x+x+)+y|z", subject, given(false, false, true)));
    EXPECT_TRUE(m.stoppedEarly());
    // The three come first, within microseconds; the rest cannot finish.
    ASSERT_EQ(m.matchCount(), 3);
    EXPECT_EQ(matchesOf(m), (std::vector<Text>{"xxy", "xxy", "xxy"}));
    // replace() works from the same matches: the rest of the text stays.
    EXPECT_EQ(m.replace("-"), Text("-\n-\n-\n") + textMid(subject, 13, subject.size()));
}

TEST(RegexMatcher, StepLimitAtOneStartKeepsEarlierMatches) {
    // One start position alone would take hours.
    const Text subject = Text("xxy ") + Text(std::string(40, 'x'));
    RegexMatcher m;
    ASSERT_TRUE(m.execute("(x+x+)+y|z", subject, given(false, false, true)));
    EXPECT_TRUE(m.stoppedEarly());
    EXPECT_EQ(matchesOf(m), (std::vector<Text>{"xxy"}));

    // The next execute starts afresh.
    ASSERT_TRUE(m.execute("x", "xx"));
    EXPECT_FALSE(m.stoppedEarly());
    EXPECT_EQ(m.matchCount(), 2);
}

TEST(RegexMatcher, LongLineWithoutClosingMarkerFinishesUnstopped) {
    // Tried at every candidate start, this line would exhaust the step limit
    // at the first one; the closing marker's absence settles it at once.
    std::string line;
    while (line.size() < (64u << 10)) line += "<a href=\"/s?&amp;q=x\">y</a></td> ";
    RegexMatcher m;
    ASSERT_TRUE(m.execute(kNamePattern, Text(std::move(line)), pageOptions()));
    EXPECT_EQ(m.matchCount(), 0);
    EXPECT_FALSE(m.stoppedEarly());
}

}  // namespace
}  // namespace quillmoss
