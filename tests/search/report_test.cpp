#include "search/report.h"

#include <gtest/gtest.h>

#include "search_fixture.h"

namespace quillmoss::searchtest {
namespace {

class Report : public SearchStateTest {
protected:
    // Fills the list with `rows` results, as a parse would leave them.
    void fillRows(int rows) {
        std::lock_guard lock(searchStateMutex());
        SearchState& state = searchState();
        for (int i = 1; i <= rows; ++i) {
            state.resultNames.append(Text(("name" + std::to_string(i)).c_str()));
            state.resultLinks.append(Text(("magnet:?xt=" + std::to_string(i)).c_str()));
        }
        fillResultList();
    }
};

struct FirstPageCase {
    const char* pageHtml;  // UTF-8
    int rows;
    const char* caption;
    const char* estimate;
    int totalPages;
};

void PrintTo(const FirstPageCase& c, std::ostream* out) { *out << c.pageHtml << ", " << c.rows << " rows"; }

class ReportFirstPage : public Report, public ::testing::WithParamInterface<FirstPageCase> {};

TEST_P(ReportFirstPage, TakesThePageCountFromThePager) {
    const FirstPageCase& c = GetParam();
    fillRows(c.rows);
    {
        std::lock_guard lock(searchStateMutex());
        searchState().pageText = gbk(c.pageHtml);
        searchState().currentPage = 7;
        searchState().totalPages = 99;
        reportFirstPage();
    }
    EXPECT_EQ(utf8(controls.pageCaption()), c.caption);
    EXPECT_EQ(utf8(controls.lastStatus()), summaryUtf8(c.rows, c.estimate));
    const SearchState state = stateCopy();
    EXPECT_EQ(state.currentPage, 1);
    EXPECT_EQ(state.totalPages, c.totalPages);
}

INSTANTIATE_TEST_SUITE_P(
    Pagers, ReportFirstPage,
    ::testing::Values(
        FirstPageCase{"<td>上一个</td><td>1/25</td><td>下一个</td>", 10, " 1/25 ", "250", 25},
        FirstPageCase{"<TD>上一个</TD><TD>3/7</TD><TD>", 4, " 3/7 ", "28", 7},
        FirstPageCase{"<td>上一个</td><td>1/25</td><td>", 0, " 1/25 ", "0", 25},
        // "1 / 25" has a blank right after its "/": no count is read.
        FirstPageCase{"<td>上一个</td><td>1 / 25</td><td>", 10, " 1 / 25 ", "0", 0},
        FirstPageCase{"<p>no pager here</p>", 10, "  ", "0", 0},
        // An estimate past 2^31 is still written as a whole number.
        FirstPageCase{"<td>上一个</td><td>1/2000000000</td><", 10, " 1/2000000000 ", "20000000000",
                      2000000000}));

struct MovedPageCase {
    int currentPage;
    int totalPages;
    int rows;
    const char* caption;
    const char* estimate;
};

void PrintTo(const MovedPageCase& c, std::ostream* out) { *out << c.currentPage << "/" << c.totalPages; }

class ReportPage : public Report, public ::testing::WithParamInterface<MovedPageCase> {};

TEST_P(ReportPage, ShowsTheCounterNotThePager) {
    const MovedPageCase& c = GetParam();
    fillRows(c.rows);
    {
        std::lock_guard lock(searchStateMutex());
        searchState().pageText = gbk("<td>上一个</td><td>9/9</td><td>");
        searchState().currentPage = c.currentPage;
        searchState().totalPages = c.totalPages;
        reportPage();
    }
    EXPECT_EQ(utf8(controls.pageCaption()), c.caption);
    EXPECT_EQ(utf8(controls.lastStatus()), summaryUtf8(c.rows, c.estimate));
    const SearchState state = stateCopy();
    EXPECT_EQ(state.currentPage, c.currentPage);
    EXPECT_EQ(state.totalPages, c.totalPages);
}

INSTANTIATE_TEST_SUITE_P(Counters, ReportPage,
                         ::testing::Values(MovedPageCase{3, 25, 10, " 3/25 ", "250"},
                                           MovedPageCase{1, 0, 10, " 1/0 ", "0"},
                                           MovedPageCase{-1, 30, 7, " -1/30 ", "210"}));

struct FillCase {
    int names;
    int links;
};

void PrintTo(const FillCase& c, std::ostream* out) { *out << c.names << " names, " << c.links << " links"; }

class FillResultList : public Report, public ::testing::WithParamInterface<FillCase> {};

TEST_P(FillResultList, MakesOneRowPerNameWithTheLinkAtItsPosition) {
    const FillCase& c = GetParam();
    controls.appendRow();  // left over from an earlier page
    {
        std::lock_guard lock(searchStateMutex());
        SearchState& state = searchState();
        for (int i = 1; i <= c.names; ++i) state.resultNames.append(Text(("n" + std::to_string(i)).c_str()));
        for (int i = 1; i <= c.links; ++i) state.resultLinks.append(Text(("l" + std::to_string(i)).c_str()));
        fillResultList();
    }
    const auto rows = controls.rows();
    ASSERT_EQ(rows.size(), static_cast<size_t>(c.names));
    for (int i = 1; i <= c.names; ++i) {
        EXPECT_EQ(rows[i - 1].name, Text(("n" + std::to_string(i)).c_str()));
        EXPECT_EQ(rows[i - 1].link, i <= c.links ? Text(("l" + std::to_string(i)).c_str()) : Text()) << i;
    }
}

INSTANTIATE_TEST_SUITE_P(Lengths, FillResultList,
                         ::testing::Values(FillCase{3, 5}, FillCase{5, 3}, FillCase{0, 2}, FillCase{2, 0}));

TEST(StatusSummary, IsWrittenPieceByPiece) {
    // Midnight sharp shows the date alone; the estimate is a real number.
    EXPECT_EQ(statusSummary(DateTime{2024, 12, 1, 0, 0, 0}, 3, 4.5),
              gbk("2024年12月1日\r\n搜索完成：本页共有资源3个\r\n          预计共有资源：4.5个"));
}

}  // namespace
}  // namespace quillmoss::searchtest
