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
        const auto t = translatePattern(u(c.pattern));
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
    const auto t = translatePattern(u("x.*" + longRun));
    ASSERT_TRUE(t.has_value());
    ASSERT_EQ(t->requiredRuns.size(), 2u);
    EXPECT_EQ(t->requiredRuns[1], u(std::string(32, 'q')));
    EXPECT_TRUE(t->endsWithLastRun);
}

// Skipping start positions must never change a result: every pattern is run
// over many generated subjects with and without the skipping, and the two
// searches must report the same matches and groups.
struct Differential {
    const char* pattern;
    std::vector<std::string> tokens;
};

TEST(Dialect, SkippingImpossibleStartsChangesNoResult) {
    const std::vector<std::string> small = {"a", "b", "c", "d", "x", "y", "A", "B", "C", "\n", " ", "ab", "cd"};
    const Differential cases[] = {
        {"&amp;q=(.*)\">(.*)</a></td></tr></table>",
         {"&amp;q=", "&AMP;Q=", "\">", "</a></td></tr></table>", "</A></TD></tr></table>", "</a>", "x", "\n", "\"",
          ">"}},
        {"f\\)\" href=\"(.*)\" title=\"m\">", {"f)\" href=\"", "F)\" HREF=\"", "\" title=\"m\">", "\"", "x", "\n"}},
        {"ab(.*)cd", small},
        {"ab.*?cd", small},
        {"a(b|c)d.b", small},
        {"a[^y]b", small},
        {"a\\sb.c", small},
        {"(a)\\1b", small},
        {"(a|b)x\\1", small},
        {"(?=(a\n))\\1b", small},
        {"ab$", small},
        {"^ab", small},
        {"ab(?=c)", small},
        {"ab(?!c)", small},
        {"(?=.*y)ab", small},
        {"(?!.*y)ab", small},
        {"\\bab", small},
        {"ab\\b", small},
        {"a.b.c", small},
        {"(ab)+cd", small},
        {"a(bc)", small},
        {"c(?:a|b)*d", small},
        {"ab|cd", small},
        {"x*", small},
    };
    std::mt19937 rng(20240611);
    for (const Differential& c : cases) {
        const auto t = translatePattern(u(c.pattern));
        ASSERT_TRUE(t.has_value()) << c.pattern;
        for (const bool ignoreCase : {false, true}) {
            for (const bool multiline : {false, true}) {
                auto compiled = CompiledPattern::compile(*t, {ignoreCase, multiline});
                ASSERT_NE(compiled, nullptr) << c.pattern;
                std::uniform_int_distribution<size_t> pick(0, c.tokens.size() - 1);
                std::uniform_int_distribution<int> length(0, 24);
                for (int round = 0; round < 400; ++round) {
                    std::u16string subject;
                    for (int k = length(rng); k > 0; --k) subject += u(c.tokens[pick(rng)]);
                    SearchLimits plain;
                    plain.skipImpossibleStarts = false;
                    const SearchOutcome expected = compiled->search(subject, true, plain);
                    const SearchOutcome actual = compiled->search(subject, true, SearchLimits{});
                    ASSERT_EQ(actual.matchCount, expected.matchCount)
                        << c.pattern << " ci=" << ignoreCase << " ml=" << multiline << " subject="
                        << std::string(subject.begin(), subject.end());
                    ASSERT_EQ(actual.offsets, expected.offsets) << c.pattern;
                    ASSERT_FALSE(actual.stoppedEarly);
                }
            }
        }
    }
}

}  // namespace
}  // namespace quillmoss::regex
