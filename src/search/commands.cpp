#include "search/commands.h"

#include <cstdint>
#include <mutex>
#include <optional>
#include <string_view>

#include "app/controls.h"
#include "app/search_state.h"
#include "http/fetch.h"
#include "search/fetch_failure.h"
#include "search/page_parser.h"
#include "search/report.h"
#include "search/search_testing.h"
#include "text/url_encode.h"

#ifndef QUILLMOSS_INDEX_SITE
#error "QUILLMOSS_INDEX_SITE must name the index site (scheme and host)"
#endif

namespace quillmoss {
namespace {

// The literals by their GBK bytes.
// "开始搜索。。。。网络资源较多，请稍等。"
const Text kSearchProgress(std::string_view(
    "\xBF\xAA\xCA\xBC\xCB\xD1\xCB\xF7\xA1\xA3\xA1\xA3\xA1\xA3\xA1\xA3"
    "\xCD\xF8\xC2\xE7\xD7\xCA\xD4\xB4\xBD\xCF\xB6\xE0\xA3\xAC\xC7\xEB\xC9\xD4\xB5\xC8\xA1\xA3"));
// "跳转中。。"
const Text kPagingProgress(std::string_view("\xCC\xF8\xD7\xAA\xD6\xD0\xA1\xA3\xA1\xA3"));
const Text kFirstPageQuery("/search?info_hash=&q=");
const Text kOtherPageQuery("/search?q=");
const Text kPageKey("&p=");

std::mutex siteMutex;
std::optional<Text> siteOverride;

Text encodedKeyword() { return urlEncode(keywordText(), true, true); }

Text firstPageUrl() { return indexSiteBase() + kFirstPageQuery + encodedKeyword(); }

// The page, or nothing after a failed exchange: then the status box says why
// and nothing else changes, so pressing the same button simply tries again.
std::optional<Text> fetchResultPage(const Text& url) {
    FetchOutcome outcome;
    FetchOptions options;
    options.outcome = &outcome;
    Text body = fetchUrl(url, options);
    if (!outcome.succeeded()) {
        setStatusContent(toBytes(fetchFailureMessage(outcome)));
        return std::nullopt;
    }
    return body;
}

// Called with the state locked: the new page replaces the old one as a whole.
void commitPage(SearchState& state, Text&& page, ParsedPage&& parsed) {
    state.pageText = std::move(page);
    state.detailTexts = std::move(parsed.detailTexts);
    state.resultNames = std::move(parsed.resultNames);
    state.resultLinks = std::move(parsed.resultLinks);
}

// Two's-complement steps: the counter is never bounded, and must not overflow.
int32_t stepped(int32_t page, int32_t step) {
    return static_cast<int32_t>(static_cast<uint32_t>(page) + static_cast<uint32_t>(step));
}

// previous: p = currentPage - 1 (written as a real number), then currentPage - 1;
// next: p = currentPage, then currentPage + 1.
void showOtherPage(int32_t step) {
    setStatusContent(toBytes(kPagingProgress));
    const Text keyword = encodedKeyword();
    int32_t current = 0;
    {
        std::lock_guard lock(searchStateMutex());
        current = searchState().currentPage;
    }
    const Text pageNumber = step < 0 ? toText(static_cast<double>(current) - 1.0) : toText(current);
    std::optional<Text> page = fetchResultPage(indexSiteBase() + kOtherPageQuery + keyword + kPageKey + pageNumber);
    if (!page) return;
    ParsedPage parsed = parsePage(*page);

    std::lock_guard lock(searchStateMutex());
    SearchState& state = searchState();
    commitPage(state, std::move(*page), std::move(parsed));
    fillResultList();
    reportPage();
    state.currentPage = stepped(state.currentPage, step);
}

}  // namespace

Text indexSiteBase() {
    std::lock_guard lock(siteMutex);
    if (siteOverride) return *siteOverride;
    return Text(std::string_view(QUILLMOSS_INDEX_SITE));
}

void setIndexSiteBaseForTesting(std::optional<Text> base) {
    std::lock_guard lock(siteMutex);
    siteOverride = std::move(base);
}

void fetchFirstPage() {
    std::optional<Text> page = fetchResultPage(firstPageUrl());
    if (!page) return;
    std::lock_guard lock(searchStateMutex());
    searchState().pageText = std::move(*page);
}

void searchFirstPage() {
    setStatusContent(toBytes(kSearchProgress));
    // Fetch and parse without the lock, so a result action on the window
    // thread never waits for the network; then commit everything at once.
    std::optional<Text> page = fetchResultPage(firstPageUrl());
    if (!page) return;
    ParsedPage parsed = parsePage(*page);

    std::lock_guard lock(searchStateMutex());
    commitPage(searchState(), std::move(*page), std::move(parsed));
    fillResultList();
    reportFirstPage();
}

void showPreviousPage() { showOtherPage(-1); }

void showNextPage() { showOtherPage(+1); }

}  // namespace quillmoss
