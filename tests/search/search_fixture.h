// A fixture for tests that run the search code on the process-wide state:
// the state exists once per process and is reset before every test, a
// RecordingControls stands in for the window, and reports carry a fixed time.
#pragma once

#include <gtest/gtest.h>

#include <mutex>
#include <string>

#include "app/controls.h"
#include "app/search_state.h"
#include "http/fetch.h"
#include "recording_controls.h"
#include "search/search_testing.h"
#include "text/codepage.h"

namespace quillmoss::searchtest {

// 7 March 2015, 14:05:09: "2015年3月7日14时5分9秒".
inline DateTime fixedReportTime() { return DateTime{2015, 3, 7, 14, 5, 9}; }

inline Text gbk(const std::string& utf8) { return gbkFromUtf8(utf8); }
inline std::string utf8(const Text& text) { return ansiToUtf8(text).bytes(); }
inline std::string utf8(const ByteBuffer& bytes) { return ansiToUtf8(toText(bytes)).bytes(); }

// The status summary a report writes at fixedReportTime().
inline std::string summaryUtf8(int rows, const std::string& estimate) {
    return "2015年3月7日14时5分9秒\r\n搜索完成：本页共有资源" + std::to_string(rows) +
           "个\r\n          预计共有资源：" + estimate + "个";
}

class SearchStateTest : public ::testing::Test {
protected:
    void SetUp() override {
        static std::once_flag created;
        std::call_once(created, [] {
            initHttp();
            createSearchState();
        });
        {
            std::lock_guard lock(searchStateMutex());
            searchState() = SearchState{};
            searchState().currentPage = 1;  // as the window's creation leaves it
        }
        installControls(&controls);
        setReportClockForTesting(fixedReportTime);
    }

    void TearDown() override {
        installControls(nullptr);
        setReportClockForTesting({});
        setIndexSiteBaseForTesting(std::nullopt);
    }

    // A copy taken under the lock.
    static SearchState stateCopy() {
        std::lock_guard lock(searchStateMutex());
        return searchState();
    }

    RecordingControls controls;
};

}  // namespace quillmoss::searchtest
