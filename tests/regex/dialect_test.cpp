#include "regex/dialect.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "regex/compiled_pattern.h"

namespace quillmoss::regex {
namespace {

std::u16string u(std::string_view ascii) { return std::u16string(ascii.begin(), ascii.end()); }

struct AnalysisCase {
    const char* pattern;
    bool lineLocal;
    std::vector<std::string> runs;
    bool endsWithLastRun;
};

// What the search may rely on to skip start positions: a wrong "yes" here
// would lose matches, so the doubtful constructs are checked one by one.
TEST(Dialect, TellsWhatEveryMatchMustHold) {
    const AnalysisCase cases[] = {
        {"&amp;q=(.*)\">(.*)</a></td></tr></table>", true, {"&amp;q=", "\">", "</a></td></tr></table>"}, true},
        {"a[^x]b", false, {"a", "b"}, true},    // a negated class takes a line feed
        {"a\\sb", false, {"a", "b"}, true},
        {"a\\Wb", false, {"a", "b"}, true},
        {"a[\\n]b", false, {"a", "b"}, true},
        {"a\\Sb\\d\\w.", true, {"a", "b"}, false},
        {"(a)\\1b", false, {"a", "b"}, true},   // a backreference may repeat a lookahead's capture
        {"ab$", true, {"ab"}, false},           // these look past the match
        {"ab(?=c)", true, {"ab"}, false},
        {"ab\\b", true, {"ab"}, false},
        {"ab\\B", true, {"ab"}, false},
        {"(?=.*y)ab", true, {"ab"}, false},  // even when the look comes first
        {"a(bc)", true, {"abc"}, true},         // a plain group is read through
        {"a(b|c)", true, {"a"}, false},
        {"a(?:bc)*d", true, {"a", "d"}, true},
        {"ab|cd", true, {}, false},
        {"a*", true, {}, false},
    };
    for (const AnalysisCase& c : cases) {
        const auto t = translatePattern(u(c.pattern), false);
        ASSERT_TRUE(t.has_value()) << c.pattern;
        EXPECT_EQ(t->lineLocal, c.lineLocal) << c.pattern;
        std::vector<std::u16string> runs;
        for (const std::string& r : c.runs) runs.push_back(u(r));
        EXPECT_EQ(t->requiredRuns, runs) << c.pattern;
        EXPECT_EQ(t->endsWithLastRun, c.endsWithLastRun) << c.pattern;
    }
}

TEST(Dialect, KeepsOnlyTheTailOfAVeryLongRun) {
    const std::string longRun(100, 'q');
    const auto t = translatePattern(u("x.*" + longRun), false);
    ASSERT_TRUE(t.has_value());
    ASSERT_EQ(t->requiredRuns.size(), 2u);
    EXPECT_EQ(t->requiredRuns[1], u(std::string(32, 'q')));
    EXPECT_TRUE(t->endsWithLastRun);
}

// Units the page never holds as GBK still follow the dialect's rules, which
// are tried here on UTF-16 directly.
struct UnitCase {
    const char* name;
    std::u16string pattern;
    std::u16string subject;
    bool ignoreCase;
    size_t matches;
};

TEST(Dialect, FoldsCaseByUpperCaseAndCountsUnits) {
    const std::u16string kPair{char16_t(0xD83D), char16_t(0xDE00)};
    const UnitCase cases[] = {
        {"KelvinSignIsNotK", u"k", u"\u212a", true, 0},
        {"LongSIsNotS", u"s", u"\u017f", true, 0},
        {"DotlessIIsNotI", u"\u0131", u"I", true, 0},
        {"SharpSHasNoSingleUpperCase", u"\u00df", u"\u1e9e", true, 0},
        {"SigmaForms", u"\u03c3", u"\u03a3\u03c2\u03c3", true, 3},
        {"SigmaFormsKept", u"\u03c3", u"\u03a3\u03c2\u03c3", false, 1},
        {"MicroSignMatchesMu", u"\u00b5", u"\u039c\u03bc", true, 2},
        {"ClassRangeFolds", u"[\u03b1-\u03b3]", u"\u0391\u0392\u0393", true, 3},
        {"NegatedClassFolds", u"[^\u03c3]", u"\u03a3\u03c2", true, 0},
        {"ClassEscapesAddNoCase", u"[\\W]", u"k\u212a", true, 1},
        {"LatinOneFolds", u"\u00e0", u"\u00c0\u00e0", true, 2},
        {"FullWidthFolds", u"\uff41+", u"\uff21\uff41", true, 1},
        {"AsciiRangeFolds", u"[a-z]+", u"KZ", true, 1},
        {"LoneSurrogateIsAUnit", u"\\ud83d", kPair, false, 1},
        {"DotTakesOneUnit", u".", kPair, false, 2},
    };
    for (const UnitCase& c : cases) {
        const auto t = translatePattern(c.pattern, c.ignoreCase);
        ASSERT_TRUE(t.has_value()) << c.name;
        auto compiled = CompiledPattern::compile(*t, {c.ignoreCase, false});
        ASSERT_NE(compiled, nullptr) << c.name;
        EXPECT_EQ(compiled->search(c.subject, true, SearchLimits{}).matchCount, c.matches) << c.name;
    }
}

// Skipping start positions must never change a result: every pattern is run
// over many generated subjects with and without the skipping, and the two
// searches must report the same matches and groups.
struct Differential {
    std::u16string pattern;
    std::vector<std::u16string> tokens;
};

TEST(Dialect, SkippingImpossibleStartsChangesNoResult) {
    const std::vector<std::u16string> small = {u"a", u"b", u"c", u"d", u"x", u"y", u"A", u"B", u"C", u"\n", u" ",
                                               u"ab", u"cd", u"\u03c3", u"\u03a3", u"\u212a"};
    const Differential cases[] = {
        {u"&amp;q=(.*)\">(.*)</a></td></tr></table>",
         {u"&amp;q=", u"&AMP;Q=", u"\">", u"</a></td></tr></table>", u"</A></TD></tr></table>", u"</a>", u"x", u"\n", u"\"",
          u">"}},
        {u"f\\)\" href=\"(.*)\" title=\"m\">", {u"f)\" href=\"", u"F)\" HREF=\"", u"\" title=\"m\">", u"\"", u"x", u"\n"}},
        {u"ab(.*)cd", small},
        {u"ab.*?cd", small},
        {u"a(b|c)d.b", small},
        {u"a[^y]b", small},
        {u"a\\sb.c", small},
        {u"(a)\\1b", small},
        {u"(a|b)x\\1", small},
        {u"(?=(a\n))\\1b", small},
        {u"ab$", small},
        {u"^ab", small},
        {u"ab(?=c)", small},
        {u"ab(?!c)", small},
        {u"(?=.*y)ab", small},
        {u"(?!.*y)ab", small},
        {u"\\bab", small},
        {u"ab\\b", small},
        {u"a.b.c", small},
        {u"(ab)+cd", small},
        {u"a(bc)", small},
        {u"c(?:a|b)*d", small},
        {u"ab|cd", small},
        {u"x*", small},
        {u"\u03c3.*ab", small},
        {u"a[\u03b1-\u03c9]b", small},
    };
    std::mt19937 rng(20240611);
    for (const Differential& c : cases) {
        for (const bool ignoreCase : {false, true}) {
            const auto t = translatePattern(c.pattern, ignoreCase);
            ASSERT_TRUE(t.has_value()) << std::string(c.pattern.begin(), c.pattern.end());
            for (const bool multiline : {false, true}) {
                auto compiled = CompiledPattern::compile(*t, {ignoreCase, multiline});
                ASSERT_NE(compiled, nullptr);
                std::uniform_int_distribution<size_t> pick(0, c.tokens.size() - 1);
                std::uniform_int_distribution<int> length(0, 24);
                for (int round = 0; round < 400; ++round) {
                    std::u16string subject;
                    for (int k = length(rng); k > 0; --k) subject += c.tokens[pick(rng)];
                    SearchLimits plain;
                    plain.skipImpossibleStarts = false;
                    const SearchOutcome expected = compiled->search(subject, true, plain);
                    const SearchOutcome actual = compiled->search(subject, true, SearchLimits{});
                    ASSERT_EQ(actual.offsets, expected.offsets)
                        << std::string(c.pattern.begin(), c.pattern.end()) << " ci=" << ignoreCase
                        << " ml=" << multiline << " subject=" << std::string(subject.begin(), subject.end());
                    ASSERT_FALSE(actual.stoppedEarly);
                }
            }
        }
    }
}

}  // namespace
}  // namespace quillmoss::regex
