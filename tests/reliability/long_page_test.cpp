// Long result pages are parsed whole, whatever the machine's speed: the
// parse steps must not drop results because a search ran out of time.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "demo-site/catalogue.h"
#include "demo-site/pages.h"
#include "search/page_parser.h"
#include "text/codepage.h"

namespace quillmoss::reliability {
namespace {

// A result page in the index site's layout with `count` results (GBK).
Text resultPage(int count) {
    demo::ResultPage page;
    const auto& entries = demo::catalogue();
    for (int i = 0; i < count; ++i) page.results.push_back(&entries[static_cast<size_t>(i) % entries.size()]);
    page.totalResults = count;
    page.pageNumber = 1;
    page.pageCount = 1;
    return toText(utf8ToAnsi(ByteBuffer(demo::renderResultPage(page))));
}

class LongPage : public ::testing::TestWithParam<int> {};

TEST_P(LongPage, EveryResultIsParsed) {
    const int count = GetParam();
    const Text page = resultPage(count);
    const ParsedPage parsed = parsePage(page);
    EXPECT_EQ(parsed.detailTexts.size(), count);
    EXPECT_EQ(parsed.resultNames.size(), count) << "of a page of " << page.size() << " bytes";
    EXPECT_EQ(parsed.resultLinks.size(), count) << "of a page of " << page.size() << " bytes";
    // The same page gives the same lists every time.
    EXPECT_EQ(parsePage(page).resultNames, parsed.resultNames);
}

// 10 is a page as the site sends it; the others are what a hostile or
// broken site can send (the search benchmark's 5 MiB page has 10,000).
INSTANTIATE_TEST_SUITE_P(Results, LongPage, ::testing::Values(10, 1000, 10000));

}  // namespace
}  // namespace quillmoss::reliability
