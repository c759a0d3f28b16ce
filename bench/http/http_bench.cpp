// fetchUrl of a 1 MiB UTF-8 result page over loopback, conversion to GBK
// included, beside a bare libcurl GET of the same page. Both open a fresh
// handle and connection per request, as fetchUrl does. Target: fetchUrl
// costs at most twice the bare GET.
#include <benchmark/benchmark.h>
#include <curl/curl.h>

#include <string>

#include "demo-site/catalogue.h"
#include "demo-site/pages.h"
#include "http/fetch.h"
#include "support/test_server.h"

namespace {

using quillmoss::testsupport::Reply;
using quillmoss::testsupport::TestServer;

// A result page as the bundled demo site renders it, with its results
// repeated until the page holds 1 MiB.
std::string resultPage() {
    const auto& entries = quillmoss::demo::catalogue();
    quillmoss::demo::ResultPage page;
    page.keyword = "测试";
    page.pageNumber = 1;
    page.pageCount = 50;
    std::string html;
    while (html.size() < (1u << 20)) {
        for (int i = 0; i < 40; ++i) page.results.push_back(&entries[page.results.size() % entries.size()]);
        page.totalResults = static_cast<int>(page.results.size()) * page.pageCount;
        html = quillmoss::demo::renderResultPage(page);
    }
    return html;
}

const std::string& page() {
    static const std::string p = resultPage();
    return p;
}

TestServer& server() {
    static TestServer s(Reply{quillmoss::testsupport::response(
        "HTTP/1.1 200 OK", "Content-Type: text/html; charset=utf-8\r\n", page())});
    return s;
}

// The same bytes with no UTF-8 mark anywhere: fetchUrl's cost without the
// conversion, to tell the exchange's overhead from the conversion's.
const std::string& unmarkedPage() {
    static const std::string p = [] {
        std::string text = page();
        for (const char* mark : {"utf-8", "UTF-8", "Utf-8"}) {
            for (auto at = text.find(mark); at != std::string::npos; at = text.find(mark, at)) {
                text.replace(at, 5, "gbk-x");
            }
        }
        return text;
    }();
    return p;
}

TestServer& unmarkedServer() {
    static TestServer s(Reply{quillmoss::testsupport::response("HTTP/1.1 200 OK", "", unmarkedPage())});
    return s;
}

size_t append(char* data, size_t size, size_t count, void* user) {
    static_cast<std::string*>(user)->append(data, size * count);
    return size * count;
}

void BM_BareCurlGet(benchmark::State& state) {
    const std::string url = server().url("/search?q=x");
    for (auto _ : state) {
        std::string body;
        CURL* easy = curl_easy_init();
        curl_easy_setopt(easy, CURLOPT_URL, url.c_str());
        curl_easy_setopt(easy, CURLOPT_NOSIGNAL, 1L);
        curl_easy_setopt(easy, CURLOPT_WRITEFUNCTION, append);
        curl_easy_setopt(easy, CURLOPT_WRITEDATA, &body);
        CURLcode code = curl_easy_perform(easy);
        curl_easy_cleanup(easy);
        if (code != CURLE_OK || body.size() != page().size()) state.SkipWithError("bare GET failed");
        benchmark::DoNotOptimize(body);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page().size()));
}

void BM_FetchUrl(benchmark::State& state) {
    const quillmoss::Text url(server().url("/search?q=x"));
    for (auto _ : state) {
        quillmoss::Text body = quillmoss::fetchUrl(url);
        if (body.size() < static_cast<int32_t>(page().size() / 2)) state.SkipWithError("fetchUrl failed");
        benchmark::DoNotOptimize(body);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * page().size()));
}

void BM_FetchUrlWithoutConversion(benchmark::State& state) {
    const quillmoss::Text url(unmarkedServer().url("/search?q=x"));
    for (auto _ : state) {
        quillmoss::Text body = quillmoss::fetchUrl(url);
        if (body.size() != static_cast<int32_t>(unmarkedPage().size())) state.SkipWithError("fetchUrl failed");
        benchmark::DoNotOptimize(body);
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * unmarkedPage().size()));
}

BENCHMARK(BM_BareCurlGet)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FetchUrl)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FetchUrlWithoutConversion)->UseRealTime()->Unit(benchmark::kMillisecond);

}  // namespace

int main(int argc, char** argv) {
    quillmoss::initHttp();
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
