// The result-page patterns over the pages the tool meets: a page of 2,000
// results one per line, the same page on one line, and a hostile 1 MiB line
// full of candidate starts without the closing marker.
#include <benchmark/benchmark.h>

#include <string>

#include "regex/regex_matcher.h"
#include "text/codepage.h"

namespace quillmoss {
namespace {

const Text kNamePattern(std::string_view("&amp;q=(.*)\">(.*)</a></td></tr></table>"));

ExecuteOptions pageOptions() {
    ExecuteOptions o;
    o.caseSensitive = false;
    o.multiline = false;
    o.global = true;
    o.quotePlaceholder = false;
    return o;
}

// About 270 KB: 2,000 result lines of about 135 bytes, names half Chinese.
const Text& resultPage() {
    static const Text page = [] {
        std::string utf8;
        for (int i = 0; i < 2000; ++i) {
            const std::string n = std::to_string(100000 + i);
            utf8 += "<tr><td class=\"name\"><a href=\"/search?info_hash=&amp;q=流浪地球.2019.BluRay." + n +
                    "\">流浪地球 第" + n + "部 蓝光 1080p</a></td></tr></table>\n";
        }
        return gbkFromUtf8(utf8);
    }();
    return page;
}

const Text& joinedPage() {
    static const Text page = replaceText(resultPage(), "\n", " ");
    return page;
}

// About 5 MiB: 10,000 results with longer lines around them.
const Text& largePage() {
    static const Text page = [] {
        std::string utf8;
        const std::string filler(360, 'f');
        for (int i = 0; i < 10000; ++i) {
            const std::string n = std::to_string(100000 + i);
            utf8 += "<div class=\"detail\">" + filler + "</div>\n<tr><td class=\"name\"><a href=\"/search?info_hash=&amp;q=流浪地球." +
                    n + "\">流浪地球 第" + n + "部</a></td></tr></table>\n";
        }
        return gbkFromUtf8(utf8);
    }();
    return page;
}

const Text& hostileLine() {
    static const Text line = [] {
        std::string s;
        while (s.size() < (1u << 20)) s += "<a href=\"/s?&amp;q=x\">y</a></td> ";
        return Text(std::move(s));
    }();
    return line;
}

// What the page parser does: execute, then read every match's text.
void runNames(benchmark::State& state, const Text& page) {
    int32_t count = 0;
    bool stopped = false;
    for (auto _ : state) {
        RegexMatcher m;
        m.execute(kNamePattern, page, pageOptions());
        count = m.matchCount();
        for (int32_t i = 1; i <= count; ++i) benchmark::DoNotOptimize(m.matchText(i));
        stopped = m.stoppedEarly();
    }
    state.counters["matches"] = count;
    state.counters["stopped"] = stopped;
    state.counters["KiB"] = page.size() / 1024.0;
}

void BM_NamesOnePerLine(benchmark::State& state) { runNames(state, resultPage()); }
void BM_NamesJoinedLine(benchmark::State& state) { runNames(state, joinedPage()); }
void BM_NamesHostileLine1MiB(benchmark::State& state) { runNames(state, hostileLine()); }
void BM_NamesTenThousand5MiB(benchmark::State& state) { runNames(state, largePage()); }

// A pattern with exponential backtracking at every start of a 1 MiB subject:
// this one is stopped by the budget, and the figure is how long that takes.
void BM_BudgetStopExponential1MiB(benchmark::State& state) {
    std::string s;
    while (s.size() < (1u << 20)) s += std::string(18, 'x') + "a\n";
    const Text subject(std::move(s));
    bool stopped = false;
    for (auto _ : state) {
        RegexMatcher m;
        m.execute("(x+x+)+y|z", subject, pageOptions());
        stopped = m.stoppedEarly();
    }
    state.counters["stopped"] = stopped;
}

BENCHMARK(BM_NamesOnePerLine)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NamesJoinedLine)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NamesHostileLine1MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NamesTenThousand5MiB)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BudgetStopExponential1MiB)->Unit(benchmark::kMillisecond)->Iterations(10);

}  // namespace
}  // namespace quillmoss

BENCHMARK_MAIN();
