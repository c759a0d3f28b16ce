// The three parse steps, the list fill and both reports over fuzzed pages.
// The seed corpus holds result pages in the index site's layout, so the
// mutations stay close to what a real (or hostile) site sends.
#include <strings.h>

#include <array>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "app/controls.h"
#include "app/search_state.h"
#include "fuzz_support.h"
#include "search/page_parser.h"
#include "search/report.h"
#include "text/codepage.h"
#include "text/text.h"

using namespace quillmoss;
using fuzzing::holdsNoZero;

namespace {

// The list, label and status box as plain values.
class RecordingControls : public Controls {
public:
    Text keywordText() override { return Text(); }
    void setStatusContent(const ByteBuffer& content) override { status = content; }
    void setPageCaption(const Text& text) override { caption = text; }
    Text pageCaption() override { return caption; }
    void clearRows() override { rows.clear(); }
    int32_t appendRow() override {
        rows.push_back({});
        return static_cast<int32_t>(rows.size()) - 1;
    }
    void setCellText(int32_t row, int32_t column, const Text& text) override {
        FUZZ_CHECK(row >= 0 && row < static_cast<int32_t>(rows.size()) && (column == 0 || column == 1));
        rows[static_cast<size_t>(row)][static_cast<size_t>(column)] = text;
    }
    Text cellText(int32_t row, int32_t column) override {
        if (row < 0 || row >= static_cast<int32_t>(rows.size()) || column < 0 || column > 1) return Text();
        return rows[static_cast<size_t>(row)][static_cast<size_t>(column)];
    }
    int32_t rowCount() override { return static_cast<int32_t>(rows.size()); }
    int32_t selectedRow() override { return -1; }
    void navigateHiddenBrowser(const Text&) override {}
    void popupResultMenu(int32_t, int32_t) override {}
    ScreenPoint mousePosition() override { return {}; }
    void setClipboardText(const Text&) override {}
    void openInDefaultBrowser(const Text&) override {}

    ByteBuffer status;
    Text caption;
    std::vector<std::array<Text, 2>> rows;
};

// Occurrences at any byte, letter case ignored: every match of a pattern
// starts with its literal head, and matches never overlap.
int32_t occurrences(std::string_view page, std::string_view head) {
    int32_t n = 0;
    for (size_t i = 0; i + head.size() <= page.size(); ++i) {
        if (strncasecmp(page.data() + i, head.data(), head.size()) == 0) ++n;
    }
    return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static RecordingControls* const controls = [] {
        createSearchState();
        auto* c = new RecordingControls;
        installControls(c);
        return c;
    }();
    const Text page(std::string_view(reinterpret_cast<const char*>(data), size));

    // (Two parses of one page are not compared: the matcher's search stops
    // at a wall-clock budget, so on a loaded machine they can differ.)
    const ParsedPage parsed = parsePage(page);

    for (const Text& block : parsed.detailTexts) {
        FUZZ_CHECK(!block.empty() && holdsNoZero(block) && trimSpaces(block) == block);
    }
    for (const Text& name : parsed.resultNames) FUZZ_CHECK(holdsNoZero(name));
    for (const Text& link : parsed.resultLinks) FUZZ_CHECK(holdsNoZero(link));
    FUZZ_CHECK(parsed.detailTexts.size() <= occurrences(page.view(), gbkFromUtf8("[云端下载]").view()));
    FUZZ_CHECK(parsed.resultNames.size() <= occurrences(page.view(), "&amp;q="));
    FUZZ_CHECK(parsed.resultLinks.size() <= occurrences(page.view(), "f)\" href=\""));

    // The forms over the SearchState, then the list and both reports over
    // whatever the page held.
    {
        std::lock_guard lock(searchStateMutex());
        searchState() = SearchState{};
        searchState().pageText = page;
    }
    parseDetailBlocks();
    parseResultNames();
    parseResultLinks();
    std::lock_guard lock(searchStateMutex());
    SearchState& state = searchState();
    FUZZ_CHECK(state.detailTexts == parsed.detailTexts);  // no regular expression involved

    fillResultList();
    FUZZ_CHECK(controls->rowCount() == state.resultNames.size());
    for (int32_t row = 0; row < controls->rowCount(); ++row) {
        FUZZ_CHECK(controls->cellText(row, 0) == state.resultNames.at(row + 1));
        const Text link = row < state.resultLinks.size() ? state.resultLinks.at(row + 1) : Text();
        FUZZ_CHECK(controls->cellText(row, 1) == link);
    }
    reportFirstPage();
    FUZZ_CHECK(state.currentPage == 1 && holdsNoZero(controls->caption) && !controls->status.empty());
    const Text firstCaption = controls->caption;
    FUZZ_CHECK(firstCaption.view().starts_with(" ") && firstCaption.view().ends_with(" "));
    state.currentPage = static_cast<int32_t>(size % 7) - 3;
    reportPage();
    FUZZ_CHECK(controls->caption == Text(" ") + toText(state.currentPage) + Text("/") + toText(state.totalPages) + Text(" "));
    return 0;
}
