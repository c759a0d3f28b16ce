#include "http/cookies.h"

#include <gtest/gtest.h>

#include "text/codepage.h"

namespace quillmoss {
namespace {

struct MergeCase {
    const char* old;
    const char* fresh;
    const char* merged;
    const char* freshAfter;
};

class CookieMerge : public ::testing::TestWithParam<MergeCase> {};

TEST_P(CookieMerge, MergesIntoOldAndStripsFresh) {
    const MergeCase& c = GetParam();
    Text old = c.old;
    Text fresh = c.fresh;
    Text result = mergeCookies(old, fresh);
    EXPECT_EQ(result.bytes(), c.merged);
    EXPECT_EQ(old.bytes(), c.merged);
    EXPECT_EQ(fresh.bytes(), c.freshAfter);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CookieMerge,
    ::testing::Values(
        MergeCase{"a=1; b=2", "b=3; c=4", "b=3; c=4; a=1", "b=3;c=4"},
        // A deleted cookie goes, and its old value does not come back.
        MergeCase{"sid=1; x=2", "sid=deleted", "x=2", "sid=deleted"},
        MergeCase{"a=1;a=2", "", "a=1", ""},
        MergeCase{"", "a=1;a=2", "a=1; a=2", "a=1;a=2"},
        MergeCase{"", "a=1;a=1", "a=1", "a=1;a=1"},
        MergeCase{"SID=1", "sid=2", "sid=2; SID=1", "sid=2"},
        MergeCase{"a=hello world", "", "a=helloworld", ""},
        MergeCase{"", "", "", ""},
        // An entry without "=" is named by its whole text.
        MergeCase{"flag; a=1", "flag", "flag; a=1", "flag"}));

TEST(CookieMerge, FullWidthSpacesGoToo) {
    Text old = gbkFromUtf8("a=x\u3000y");
    Text fresh;
    EXPECT_EQ(mergeCookies(old, fresh).bytes(), "a=xy");
}

TEST(CookieHelpers, NamesRepeatsAndIndexes) {
    EXPECT_EQ(cookieName(" a =1").bytes(), "a");
    EXPECT_EQ(cookieName("flag").bytes(), "flag");
    EXPECT_EQ(dropRepeats("a; b; a; c; b", "; ").bytes(), "a; b; c");
    EXPECT_EQ(dropRepeats("", "; ").bytes(), "");

    TextArray items;
    items.append("x=1");
    items.append("y=2");
    items.append("x=1");
    EXPECT_EQ(indexOfText(items, "x=1"), 1);
    EXPECT_EQ(indexOfText(items, "y=2"), 2);
    EXPECT_EQ(indexOfText(items, "z"), -1);
    EXPECT_TRUE(hasCookieNamed(items, "y"));
    EXPECT_FALSE(hasCookieNamed(items, "Y"));
}

}  // namespace
}  // namespace quillmoss
