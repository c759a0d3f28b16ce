// A search command from its start to the list filled and the summary written,
// over loopback, with a stand-in window that keeps rows as the window's
// shadow model does; then the same command taken apart (fetch, parse, fill
// and report) to show where the time goes.
#include <benchmark/benchmark.h>

#include <fstream>
#include <mutex>
#include <string>

#include "app/controls.h"
#include "app/search_state.h"
#include "demo-site/catalogue.h"
#include "demo-site/pages.h"
#include "http/fetch.h"
#include "recording_controls.h"
#include "search/commands.h"
#include "search/page_parser.h"
#include "search/report.h"
#include "search/search_testing.h"
#include "regex/regex_matcher.h"
#include "support/test_server.h"
#include "text/codepage.h"

namespace {

using namespace quillmoss;

// A page in the demo site's layout, leaner per result (one tracker, no
// cloud-play line) so that 10,000 results come to about 5 MiB, with
// `padding` bytes of the scripts and navigation real index pages carry.
std::string resultPage(int results, size_t padding) {
    const auto& catalogue = demo::catalogue();
    std::string html =
        "<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n<title>Quillmoss</title>\n<script>\n";
    while (html.size() < padding) html += "var nav = [\"首页\", \"电影\", \"剧集\", \"音乐\", \"软件\"]; // 导航 navigation\n";
    html += "</script>\n</head>\n<body>\n";
    for (int i = 0; i < results; ++i) {
        const demo::CatalogueEntry& entry = catalogue[static_cast<size_t>(i) % catalogue.size()];
        const std::string magnet = "magnet:?xt=urn:btih:" + entry.infoHash + "&dn=" + demo::percentEncode(entry.name) +
                                   "&tr=" + demo::percentEncode("udp://tracker.quillmoss.invalid:6969/announce");
        html += "<table><tr><td><a href=\"/detail?hash=" + entry.infoHash +
                "&amp;q=\">" + demo::htmlEscape(entry.name) + "</a></td></tr></table>\n";
        html += "<div><a onclick=\"return copyLink(this, f)\" href=\"" +
                demo::htmlEscape(magnet) + "\" title=\"magnet链接下载\">磁力链接</a></div>\n";
        html += "<div>[云端下载] 文件<pre>\n";
        for (size_t f = 0; f < entry.files.size() && (results <= 10 || f < 1); ++f)
            html += demo::htmlEscape(entry.files[f].path) + "  " + demo::formatSize(entry.files[f].bytes) + "\n";
        html += "</pre></div>\n";
    }
    html += "<table class=\"pager\"><tr><td class=\"prev\">上一个</td><td>1/10</td><td class=\"next\">下一个</td></tr></table>\n";
    html += "</body>\n</html>\n";
    return html;
}

struct Site {
    explicit Site(std::string html)
        : size(html.size()),
          server(testsupport::Reply{testsupport::response(
              "HTTP/1.1 200 OK", "Content-Type: text/html; charset=utf-8\r\n", html)}) {}
    size_t size;
    testsupport::TestServer server;
};

Site& typicalSite() {
    static Site site(resultPage(10, 44 * 1024));
    return site;
}
Site& largeSite() {
    static Site site(resultPage(10000, 0));
    return site;
}

searchtest::RecordingControls& controls() {
    static searchtest::RecordingControls instance;
    return instance;
}

void prepare() {
    static std::once_flag once;
    std::call_once(once, [] {
        initHttp();
        createSearchState();
        installControls(&controls());
    });
}

long statusKiB(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind(field, 0) == 0) return std::stol(line.substr(std::string(field).size()));
    return 0;
}

// The whole command; the peak resident-memory growth of one run is reported.
void searchCommand(benchmark::State& state, Site& site) {
    prepare();
    setIndexSiteBaseForTesting(Text(site.server.url("").c_str()));
    searchFirstPage();  // warm: the state holds a page, as after an earlier search
    long peakGrowth = 0;
    for (auto _ : state) {
        state.PauseTiming();
        { std::ofstream("/proc/self/clear_refs") << "5"; }  // restart the peak count
        const long before = statusKiB("VmRSS:");
        state.ResumeTiming();
        searchFirstPage();
        state.PauseTiming();
        peakGrowth = std::max(peakGrowth, statusKiB("VmHWM:") - before);
        state.ResumeTiming();
    }
    if (controls().rows().empty()) {
        static std::string why;
        why = "no rows: " + ansiToUtf8(toText(controls().lastStatus())).bytes();
        state.SkipWithError(why.c_str());
    }
    state.counters["page_bytes"] = static_cast<double>(site.size);
    state.counters["rows"] = static_cast<double>(controls().rows().size());
    state.counters["peak_growth_MiB"] = static_cast<double>(peakGrowth) / 1024.0;
}

void fetchOnly(benchmark::State& state, Site& site) {
    prepare();
    const Text url(site.server.url("/search?info_hash=&q=").c_str());
    for (auto _ : state) benchmark::DoNotOptimize(fetchUrl(url));
}

Text pageOf(Site& site) { return fetchUrl(Text(site.server.url("/").c_str())); }

void parseOnly(benchmark::State& state, Site& site) {
    prepare();
    const Text page = pageOf(site);
    for (auto _ : state) benchmark::DoNotOptimize(parsePage(page));
}

void parseStep(benchmark::State& state, Site& site, TextArray (*step)(const Text&)) {
    prepare();
    const Text page = pageOf(site);
    for (auto _ : state) benchmark::DoNotOptimize(step(page));
}

// The regular-expression engine alone, as the name step drives it.
void nameMatchesOnly(benchmark::State& state, Site& site) {
    prepare();
    const Text page = pageOf(site);
    const Text pattern("&amp;q=(.*)\">(.*)</a></td></tr></table>");
    ExecuteOptions options;
    options.caseSensitive = false;
    options.multiline = false;
    options.global = true;
    for (auto _ : state) {
        RegexMatcher matcher;
        matcher.execute(pattern, page, options);
        for (int32_t i = 1; i <= matcher.matchCount(); ++i) benchmark::DoNotOptimize(matcher.matchText(i));
    }
}

void fillAndReport(benchmark::State& state, Site& site) {
    prepare();
    const Text page = pageOf(site);
    ParsedPage parsed = parsePage(page);
    {
        std::lock_guard lock(searchStateMutex());
        searchState().pageText = page;
        searchState().resultNames = parsed.resultNames;
        searchState().resultLinks = parsed.resultLinks;
    }
    for (auto _ : state) {
        std::lock_guard lock(searchStateMutex());
        fillResultList();
        reportFirstPage();
    }
}

BENCHMARK_CAPTURE(searchCommand, typical_10_results, typicalSite())->Unit(benchmark::kMillisecond)->Iterations(200);
BENCHMARK_CAPTURE(searchCommand, large_10000_results, largeSite())->Unit(benchmark::kMillisecond)->Iterations(10);
BENCHMARK_CAPTURE(fetchOnly, typical, typicalSite())->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(fetchOnly, large, largeSite())->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(parseOnly, typical, typicalSite())->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(parseOnly, large, largeSite())->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(parseStep, large_details, largeSite(), detailBlocksOf)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(parseStep, large_names, largeSite(), resultNamesOf)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(parseStep, large_links, largeSite(), resultLinksOf)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(nameMatchesOnly, large, largeSite())->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(fillAndReport, large, largeSite())->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
