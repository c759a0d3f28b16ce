#include "search/html_text.h"

#include <gtest/gtest.h>

#include "text/codepage.h"

namespace quillmoss {
namespace {

struct Case {
    const char* html;       // UTF-8, converted to GBK for the call
    const char* expected;   // UTF-8
};

void PrintTo(const Case& c, std::ostream* out) { *out << c.html; }

class DecodeReferences : public ::testing::TestWithParam<Case> {};

TEST_P(DecodeReferences, GivesTheCharacters) {
    EXPECT_EQ(decodeCharacterReferences(gbkFromUtf8(GetParam().html)), gbkFromUtf8(GetParam().expected))
        << GetParam().html;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DecodeReferences,
    ::testing::Values(
        Case{"Tom &amp; Jerry", "Tom & Jerry"}, Case{"&lt;Live&gt;", "<Live>"},
        Case{"&quot;x&quot; &apos;y&apos; &#39;z&#39;", "\"x\" 'y' 'z'"},
        Case{"a&nbsp;b&#160;c", "a b c"}, Case{"&#38;&#x26;&#X26;&#0038;", "&&&&"},
        Case{"&#20013;&#x6587;", "中文"}, Case{"&AMP;&LT;", "&<"},
        // Characters GBK lacks, and code points that are no characters.
        Case{"&#x1F600;|&#0;|&#xD800;|&#99999999999;", "?|?|?|?"},
        // Browsers read 0x80-0x9F as Windows-1252.
        Case{"&#128;", "€"},
        // Decoded once only; what is no reference stays as written.
        Case{"&amp;amp;", "&amp;"}, Case{"AT&T &foo; &amp &#; &#x; & ;", "AT&T &foo; &amp &#; &#x; & ;"},
        Case{"中文&amp;字", "中文&字"}, Case{"", ""},
        Case{"magnet:?xt=urn:btih:AB12&amp;dn=a%20b&amp;tr=udp%3A%2F%2Ft%3A1",
             "magnet:?xt=urn:btih:AB12&dn=a%20b&tr=udp%3A%2F%2Ft%3A1"}));

class DisplayText : public ::testing::TestWithParam<Case> {};

TEST_P(DisplayText, IsWhatABrowserShows) {
    EXPECT_EQ(htmlToDisplayText(gbkFromUtf8(GetParam().html)), gbkFromUtf8(GetParam().expected))
        << GetParam().html;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DisplayText,
    ::testing::Values(
        Case{"<b>长安</b>十二时辰 第01集", "长安十二时辰 第01集"},
        Case{"Tom &amp; <b>Jerry</b>", "Tom & Jerry"},
        // An escaped tag is text, not markup.
        Case{"&lt;b&gt;x&lt;/b&gt;", "<b>x</b>"},
        Case{"a <!-- <b>hidden</b> --> b", "a b"},
        Case{"<span title=\"a>b\" class='c>d'>x</span>", "x"},
        Case{"  a \t\r\n  b  ", "a b"}, Case{"x&nbsp;&nbsp;y", "x  y"},
        Case{"1 < 2 and 3 > 2", "1 < 2 and 3 > 2"},
        Case{"text <i", "text"}, Case{"<b></b>", ""}, Case{"", ""}));

}  // namespace
}  // namespace quillmoss
