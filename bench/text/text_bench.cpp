// Throughput of the text primitives on HTML result pages: mostly ASCII markup
// with GBK Chinese mixed in. Each scalable operation runs on 1 MiB and 10 MiB
// so that the two figures show it is linear.
#include <benchmark/benchmark.h>

#include <random>
#include <string>

#include "text/codepage.h"
#include "text/markers.h"
#include "text/text.h"

namespace quillmoss {
namespace {

constexpr int64_t kMiB = 1024 * 1024;

// One result of a page as the site lays it out: a link, a detail block opened
// by "[云端下载]" and closed by "</pre>", and some Chinese text.
std::string resultBlock(std::mt19937& rng, int index) {
    static const char* const kWords[] = {"\xD6\xD0\xCE\xC4", "\xB8\xDF\xC7\xE5", "\xCB\xD1\xCB\xF7",
                                         "\xCA\xD3\xC6\xB5", "\xD7\xD6\xC4\xBB"};
    std::string name;
    for (int k = 0; k < 6; ++k) name += kWords[rng() % 5];
    const std::string n = std::to_string(index);
    return "<div class=\"item\"><h3><a href=\"/detail/" + n + "\" title=\"" + name + "\">" + name +
           " S01E" + n + " 1080p</a></h3>\n<div class=\"meta\"><span>size: 1." + n +
           " GB</span> <span>files: 12</span> <a href=\"magnet:?xt=urn:btih:0123456789ABCDEF0123456789ABCDEF" +
           n + "\">magnet</a></div>\n<pre class=\"files\">[\xD4\xC6\xB6\xCB\xCF\xC2\xD4\xD8] " + name +
           ".mkv  1.2 GB\n" + name + ".srt  40 KB\n</pre></div>\n";
}

std::string htmlPage(int64_t bytes) {
    std::mt19937 rng(7);
    std::string page = "<!DOCTYPE html><html><head><meta charset=\"gbk\"><title>Search</title></head><body>\n";
    for (int i = 0; static_cast<int64_t>(page.size()) < bytes - 200; ++i) page += resultBlock(rng, i);
    page.resize(static_cast<size_t>(bytes - 20), ' ');
    page += "\n<!-- END --></html>";
    return page;
}

const Text& pageOf(int64_t bytes) {
    static const Text one(htmlPage(kMiB));
    static const Text ten(htmlPage(10 * kMiB));
    return bytes == kMiB ? one : ten;
}

void finish(benchmark::State& state, int64_t bytesPerRun) {
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bytesPerRun);
}

void BM_FindTextAbsent(benchmark::State& state) {
    const Text& page = pageOf(state.range(0));
    const bool ignoreCase = state.range(1) != 0;
    const Text sought("</table>");
    for (auto _ : state) benchmark::DoNotOptimize(findText(page, sought, std::nullopt, ignoreCase));
    finish(state, page.size());
}
BENCHMARK(BM_FindTextAbsent)->ArgsProduct({{kMiB, 10 * kMiB}, {0, 1}})->ArgNames({"bytes", "ignoreCase"});

void BM_FindTextNearEnd(benchmark::State& state) {
    const Text& page = pageOf(state.range(0));
    const bool ignoreCase = state.range(1) != 0;
    const Text sought(ignoreCase ? "<!-- end -->" : "<!-- END -->");
    for (auto _ : state) benchmark::DoNotOptimize(findText(page, sought, std::nullopt, ignoreCase));
    finish(state, page.size());
}
BENCHMARK(BM_FindTextNearEnd)->ArgsProduct({{kMiB, 10 * kMiB}, {0, 1}})->ArgNames({"bytes", "ignoreCase"});

void BM_ExtractAllBetween(benchmark::State& state) {
    const Text& page = pageOf(state.range(0));
    const Text front("[\xD4\xC6\xB6\xCB\xCF\xC2\xD4\xD8]");  // [云端下载]
    const Text back("</pre>");
    TextArray details;
    for (auto _ : state) benchmark::DoNotOptimize(extractAllBetween(page, front, back, details));
    state.counters["blocks"] = static_cast<double>(details.size());
    finish(state, page.size());
}
BENCHMARK(BM_ExtractAllBetween)->Arg(kMiB)->Arg(10 * kMiB)->ArgName("bytes");

void BM_Utf8ToAnsi(benchmark::State& state) {
    const ByteBuffer utf8 = toBytes(ansiToUtf8(pageOf(state.range(0))));
    for (auto _ : state) benchmark::DoNotOptimize(utf8ToAnsi(utf8));
    finish(state, utf8.size());
}
BENCHMARK(BM_Utf8ToAnsi)->Arg(kMiB)->Arg(10 * kMiB)->ArgName("bytes");

void BM_AnsiToUtf8(benchmark::State& state) {
    const Text& page = pageOf(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(ansiToUtf8(page));
    finish(state, page.size());
}
BENCHMARK(BM_AnsiToUtf8)->Arg(kMiB)->Arg(10 * kMiB)->ArgName("bytes");

void BM_SplitText(benchmark::State& state) {
    const Text& page = pageOf(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(splitText(page, Text("\n")));
    finish(state, page.size());
}
BENCHMARK(BM_SplitText)->Arg(kMiB)->Arg(10 * kMiB)->ArgName("bytes");

void BM_ReplaceText(benchmark::State& state) {
    const Text& page = pageOf(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(replaceText(page, Text("<span>"), Text("<b>")));
    finish(state, page.size());
}
BENCHMARK(BM_ReplaceText)->Arg(kMiB)->Arg(10 * kMiB)->ArgName("bytes");

void BM_TextArrayGrowth(benchmark::State& state) {
    // One element per 64 bytes of page.
    const int64_t count = state.range(0) / 64;
    const Text item("magnet:?xt=urn:btih:0123456789ABCDEF0123456789ABCDEF01234567");
    for (auto _ : state) {
        TextArray array;
        for (int64_t i = 0; i < count; ++i) array.append(item);
        benchmark::DoNotOptimize(array.size());
    }
    finish(state, count * item.size());
}
BENCHMARK(BM_TextArrayGrowth)->Arg(kMiB)->Arg(10 * kMiB)->ArgName("bytes");

void BM_TrimSpaces(benchmark::State& state) {
    const Text padded = Text("   ") + pageOf(state.range(0)) + Text("   ");
    for (auto _ : state) benchmark::DoNotOptimize(trimSpaces(padded));
    finish(state, padded.size());
}
BENCHMARK(BM_TrimSpaces)->Arg(kMiB)->Arg(10 * kMiB)->ArgName("bytes");

void BM_RemoveSpaces(benchmark::State& state) {
    const Text& page = pageOf(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(removeSpaces(page));
    finish(state, page.size());
}
BENCHMARK(BM_RemoveSpaces)->Arg(kMiB)->Arg(10 * kMiB)->ArgName("bytes");

void BM_ToLower(benchmark::State& state) {
    const Text& page = pageOf(state.range(0));
    for (auto _ : state) benchmark::DoNotOptimize(toLower(page));
    finish(state, page.size());
}
BENCHMARK(BM_ToLower)->Arg(kMiB)->Arg(10 * kMiB)->ArgName("bytes");

}  // namespace
}  // namespace quillmoss

BENCHMARK_MAIN();
