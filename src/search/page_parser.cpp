#include "search/page_parser.h"

#include <mutex>
#include <string_view>

#include "app/search_state.h"
#include "regex/regex_matcher.h"
#include "search/html_text.h"
#include "text/markers.h"

namespace quillmoss {
namespace {

// The literals are written by their GBK bytes.
// "[云端下载]" and "</pre>"
const Text kDetailStart(std::string_view("[\xD4\xC6\xB6\xCB\xCF\xC2\xD4\xD8]"));
const Text kDetailEnd("</pre>");

// &amp;q=(.*)">(.*)</a></td></tr></table>
const Text kNamePattern(std::string_view("&amp;q=(.*)\">(.*)</a></td></tr></table>"));
const Text kNameStart(">");
const Text kNameEnd("</a>");

// f\)" href="(.*)" title="magnet链接下载">
const Text kLinkPattern(std::string_view("f\\)\" href=\"(.*)\" title=\"magnet\xC1\xB4\xBD\xD3\xCF\xC2\xD4\xD8\">"));
const Text kLinkStart("=\"");
const Text kLinkEnd("\" t");

// The options every pattern runs with: case ignored, "." stops at a line
// feed, every match.
ExecuteOptions pageMatchOptions() {
    ExecuteOptions options;
    options.caseSensitive = false;
    options.multiline = false;
    options.global = true;
    options.quotePlaceholder = false;
    return options;
}

template <typename Clean>
TextArray matchesBetween(const Text& page, const Text& pattern, const Text& front, const Text& back,
                         Clean clean) {
    TextArray found;
    RegexMatcher matcher;  // one per step, as each step stands alone
    matcher.execute(pattern, page, pageMatchOptions());
    const int32_t count = matcher.matchCount();
    found.reserve(count);
    for (int32_t i = 1; i <= count; ++i) found.append(clean(textBetween(matcher.matchText(i), front, back)));
    return found;
}

Text pageTextCopy() {
    std::lock_guard lock(searchStateMutex());
    return searchState().pageText;
}

}  // namespace

TextArray detailBlocksOf(const Text& page) {
    TextArray blocks;
    extractAllBetween(page, kDetailStart, kDetailEnd, blocks);
    return blocks;
}

TextArray resultNamesOf(const Text& page) {
    return matchesBetween(page, kNamePattern, kNameStart, kNameEnd, htmlToDisplayText);
}

TextArray resultLinksOf(const Text& page) {
    return matchesBetween(page, kLinkPattern, kLinkStart, kLinkEnd, [](const Text& href) {
        // A browser strips the blanks around an attribute's address as well.
        return trimSpaces(decodeCharacterReferences(href));
    });
}

ParsedPage parsePage(const Text& page) {
    ParsedPage parsed;
    parsed.detailTexts = detailBlocksOf(page);
    parsed.resultNames = resultNamesOf(page);
    parsed.resultLinks = resultLinksOf(page);
    return parsed;
}

void parseDetailBlocks() {
    TextArray blocks = detailBlocksOf(pageTextCopy());
    std::lock_guard lock(searchStateMutex());
    searchState().detailTexts = std::move(blocks);
}

void parseResultNames() {
    TextArray names = resultNamesOf(pageTextCopy());
    std::lock_guard lock(searchStateMutex());
    searchState().resultNames = std::move(names);
}

void parseResultLinks() {
    TextArray links = resultLinksOf(pageTextCopy());
    std::lock_guard lock(searchStateMutex());
    searchState().resultLinks = std::move(links);
}

}  // namespace quillmoss
