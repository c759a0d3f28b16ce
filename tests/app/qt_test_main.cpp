// The tests drive a real window, so they need a QApplication; listing the
// tests (as CTest discovery does) must work without any display.
#include <gtest/gtest.h>

#include <QApplication>

#include "app/main_window.h"
#include "app/search_state.h"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
    QApplication application(argc, argv);
    quillmoss::installFontSubstitutions();
    quillmoss::createSearchState();
    const int result = RUN_ALL_TESTS();
    quillmoss::releaseSearchState();
    return result;
}
