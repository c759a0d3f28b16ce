#include "search/page_parser.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "text/codepage.h"

namespace quillmoss {
namespace {

// Pieces of a result page in the index site's layout (UTF-8 here).
std::string nameLine(const std::string& nameHtml) {
    return "<table class=\"n\"><tr><td><a href=\"/detail?h=1&amp;q=k\">" + nameHtml + "</a></td></tr></table>\n";
}
std::string linkLine(const std::string& href, const std::string& title = "magnet链接下载") {
    return "<div><a onclick=\"copy(this, f)\" href=\"" + href + "\" title=\"" + title + "\">磁力链接</a></div>\n";
}
std::string detailBlock(const std::string& body) { return "<div>[云端下载]" + body + "</pre></div>\n"; }

std::vector<std::string> utf8Of(const TextArray& items) {
    std::vector<std::string> out;
    for (const Text& item : items) out.push_back(ansiToUtf8(item).bytes());
    return out;
}

using Strings = std::vector<std::string>;

struct PageCase {
    const char* what;
    std::string page;  // UTF-8
    Strings names;
    Strings links;
    Strings details;
};

void PrintTo(const PageCase& c, std::ostream* out) { *out << c.what; }

class ParsePage : public ::testing::TestWithParam<PageCase> {};

TEST_P(ParsePage, FindsNamesLinksAndDetails) {
    const PageCase& c = GetParam();
    const ParsedPage parsed = parsePage(gbkFromUtf8(c.page));
    EXPECT_EQ(utf8Of(parsed.resultNames), c.names) << c.what;
    EXPECT_EQ(utf8Of(parsed.resultLinks), c.links) << c.what;
    EXPECT_EQ(utf8Of(parsed.detailTexts), c.details) << c.what;
}

INSTANTIATE_TEST_SUITE_P(
    Pages, ParsePage,
    ::testing::Values(
        PageCase{"typical results: markup and references decoded",
                 nameLine("<b>长安</b>十二时辰 第01集") +
                     linkLine("magnet:?xt=urn:btih:AA&amp;dn=x&amp;tr=udp%3A%2F%2Ft") +
                     detailBlock(" <b>文件列表</b><pre>\na.mkv  1 GB\n") + nameLine("Tom &amp; Jerry &lt;Live&gt;") +
                     linkLine("magnet:?xt=urn:btih:BB") + detailBlock("b.mkv"),
                 {"长安十二时辰 第01集", "Tom & Jerry <Live>"},
                 {"magnet:?xt=urn:btih:AA&dn=x&tr=udp%3A%2F%2Ft", "magnet:?xt=urn:btih:BB"},
                 {"<b>文件列表</b><pre>\na.mkv  1 GB\n", "b.mkv"}},
        PageCase{"3 names and 5 links",
                 nameLine("a") + nameLine("b") + nameLine("c") + linkLine("magnet:1") + linkLine("magnet:2") +
                     linkLine("magnet:3") + linkLine("magnet:4") + linkLine("magnet:5"),
                 {"a", "b", "c"},
                 {"magnet:1", "magnet:2", "magnet:3", "magnet:4", "magnet:5"},
                 {}},
        // The patterns are greedy on one line: two results there are one match,
        // and the first name and link of the line are taken.
        PageCase{"two results on one line",
                 "<tr>" + nameLine("first").substr(0, nameLine("first").size() - 1) + nameLine("second") +
                     linkLine("magnet:1").substr(0, linkLine("magnet:1").size() - 1) + linkLine("magnet:2"),
                 {"first"}, {"magnet:1"}, {}},
        PageCase{"letter case of the patterns ignored",
                 "<A HREF=\"/d?h=1&AMP;Q=k\">Upper</A></TD></TR></TABLE>\n" +
                     linkLine("magnet:U", "MAGNET链接下载"),
                 {"Upper"}, {"magnet:U"}, {}},
        PageCase{"an empty name and an empty link keep their places",
                 nameLine("") + nameLine("b") + linkLine("") + linkLine("magnet:2"),
                 {"", "b"}, {"", "magnet:2"}, {}},
        PageCase{"detail blocks end at the first empty one",
                 detailBlock("  abc  ") + detailBlock("   ") + detailBlock("never"), {}, {}, {"abc"}},
        PageCase{"a detail block without its end ends the extraction",
                 detailBlock("one") + "<div>[云端下载] two, no end", {}, {}, {"one"}},
        PageCase{"a page of another layout", "<html><body><p>502 Bad Gateway</p></body></html>", {}, {}, {}},
        PageCase{"an empty page", "", {}, {}, {}}));

}  // namespace
}  // namespace quillmoss
