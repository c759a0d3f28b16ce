// A window stand-in for the search tests and benchmarks: keeps the rows, the
// caption and every status content it is given, as the window's shadow model
// does, under one mutex so that any thread may call it.
#pragma once

#include <mutex>
#include <string>
#include <utility>
#include <vector>

#include "app/controls.h"

namespace quillmoss::searchtest {

class RecordingControls : public Controls {
public:
    struct Row {
        Text name;
        Text link;
    };

    void setKeyword(const Text& keyword) {
        std::lock_guard lock(mutex_);
        keyword_ = keyword;
    }
    std::vector<Row> rows() const {
        std::lock_guard lock(mutex_);
        return rows_;
    }
    std::vector<ByteBuffer> statusHistory() const {
        std::lock_guard lock(mutex_);
        return statuses_;
    }
    ByteBuffer lastStatus() const {
        std::lock_guard lock(mutex_);
        return statuses_.empty() ? ByteBuffer() : statuses_.back();
    }
    void clearStatusHistory() {
        std::lock_guard lock(mutex_);
        statuses_.clear();
    }

    Text keywordText() override {
        std::lock_guard lock(mutex_);
        return keyword_;
    }
    void setStatusContent(const ByteBuffer& content) override {
        std::lock_guard lock(mutex_);
        statuses_.push_back(content);
    }
    void setPageCaption(const Text& caption) override {
        std::lock_guard lock(mutex_);
        caption_ = caption;
    }
    Text pageCaption() override {
        std::lock_guard lock(mutex_);
        return caption_;
    }
    void clearRows() override {
        std::lock_guard lock(mutex_);
        rows_.clear();
    }
    int32_t appendRow() override {
        std::lock_guard lock(mutex_);
        rows_.emplace_back();
        return static_cast<int32_t>(rows_.size()) - 1;
    }
    void setCellText(int32_t row, int32_t column, const Text& text) override {
        std::lock_guard lock(mutex_);
        if (row < 0 || static_cast<size_t>(row) >= rows_.size()) return;
        (column == 0 ? rows_[static_cast<size_t>(row)].name : rows_[static_cast<size_t>(row)].link) = text;
    }
    Text cellText(int32_t row, int32_t column) override {
        std::lock_guard lock(mutex_);
        if (row < 0 || static_cast<size_t>(row) >= rows_.size()) return Text();
        return column == 0 ? rows_[static_cast<size_t>(row)].name : rows_[static_cast<size_t>(row)].link;
    }
    int32_t rowCount() override {
        std::lock_guard lock(mutex_);
        return static_cast<int32_t>(rows_.size());
    }
    int32_t selectedRow() override { return -1; }
    void navigateHiddenBrowser(const Text&) override {}
    void popupResultMenu(int32_t, int32_t) override {}
    ScreenPoint mousePosition() override { return {}; }
    void setClipboardText(const Text&) override {}
    void openInDefaultBrowser(const Text&) override {}

private:
    mutable std::mutex mutex_;
    Text keyword_;
    Text caption_;
    std::vector<Row> rows_;
    std::vector<ByteBuffer> statuses_;
};

}  // namespace quillmoss::searchtest
