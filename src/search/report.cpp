#include "search/report.h"

#include <functional>
#include <mutex>
#include <string_view>

#include "app/controls.h"
#include "app/search_state.h"
#include "search/search_testing.h"
#include "text/markers.h"

namespace quillmoss {
namespace {

// The literals by their GBK bytes.
// "上一个</td><td>" and "</td><": the site's pager cell after "previous"
const Text kPagerStart(std::string_view("\xC9\xCF\xD2\xBB\xB8\xF6</td><td>"));
const Text kPagerEnd("</td><");
const Text kBlank(" ");
const Text kPageSeparator("/");
// "\r\n搜索完成：本页共有资源"
const Text kSummaryFirst(std::string_view(
    "\r\n\xCB\xD1\xCB\xF7\xCD\xEA\xB3\xC9\xA3\xBA\xB1\xBE\xD2\xB3\xB9\xB2\xD3\xD0\xD7\xCA\xD4\xB4"));
// "个\r\n          预计共有资源：" (ten blanks)
const Text kSummarySecond(std::string_view(
    "\xB8\xF6\r\n          \xD4\xA4\xBC\xC6\xB9\xB2\xD3\xD0\xD7\xCA\xD4\xB4\xA3\xBA"));
// "个"
const Text kSummaryLast(std::string_view("\xB8\xF6"));

std::mutex clockMutex;
std::function<DateTime()> testClock;

int32_t captionPageCount() { return toInt(textBetween(pageCaption(), kPageSeparator, kBlank)); }

}  // namespace

void setReportClockForTesting(std::function<DateTime()> clock) {
    std::lock_guard lock(clockMutex);
    testClock = std::move(clock);
}

DateTime reportTime() {
    {
        std::lock_guard lock(clockMutex);
        if (testClock) return testClock();
    }
    return currentTime();
}

Text statusSummary(const DateTime& when, int32_t rows, double estimate) {
    return toText(when) + kSummaryFirst + toText(rows) + kSummarySecond + toText(estimate) + kSummaryLast;
}

void fillResultList() {
    const SearchState& state = searchState();
    clearRows();
    const int32_t names = state.resultNames.size();
    const int32_t links = state.resultLinks.size();
    for (int32_t i = 1; i <= names; ++i) {
        const int32_t row = appendRow();
        setCellText(row, 0, state.resultNames.at(i));
        // A page may hold fewer links than names: such a row has no link.
        setCellText(row, 1, i <= links ? state.resultLinks.at(i) : Text());
    }
}

void reportFirstPage() {
    SearchState& state = searchState();
    state.totalPages = 0;
    state.currentPage = 1;
    const Text pager = textBetween(state.pageText, kPagerStart, kPagerEnd);
    setPageCaption(kBlank + pager + kBlank);
    const int32_t pages = captionPageCount();
    const double estimate = static_cast<double>(pages) * static_cast<double>(rowCount());
    setStatusContent(toBytes(statusSummary(reportTime(), rowCount(), estimate)));
    state.totalPages = captionPageCount();
}

void reportPage() {
    const SearchState& state = searchState();
    setPageCaption(kBlank + toText(state.currentPage) + kPageSeparator + toText(state.totalPages) + kBlank);
    const double estimate = static_cast<double>(state.totalPages) * static_cast<double>(rowCount());
    setStatusContent(toBytes(statusSummary(reportTime(), rowCount(), estimate)));
}

}  // namespace quillmoss
