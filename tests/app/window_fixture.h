// Shared by the window tests: a shown window, its controls by name, and
// GBK literals.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <QWidget>

#include <memory>
#include <string>

#include "app/controls.h"
#include "app/main_window.h"
#include "text/codepage.h"

namespace quillmoss::testing {

inline Text gbk(std::string_view utf8) { return gbkFromUtf8(utf8); }

inline QString qs(const char* utf8) { return QString::fromUtf8(utf8); }

template <typename T>
T* control(QWidget& window, const char* name) {
    T* widget = window.findChild<T*>(QString::fromUtf8(name));
    EXPECT_NE(widget, nullptr) << "no control " << name;
    return widget;
}

// A shown window; its control operations are installed for the test.
class WindowTest : public ::testing::Test {
protected:
    void SetUp() override { makeWindow({}); }

    void makeWindow(WindowHandlers handlers) {
        installControls(nullptr);
        window_ = std::make_unique<MainWindow>(std::move(handlers));
        window_->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(window_.get()));
        installControls(window_.get());
    }

    void TearDown() override {
        installControls(nullptr);
        window_.reset();
    }

    MainWindow& window() { return *window_; }

    template <typename T>
    T* get(const char* name) { return control<T>(*window_, name); }

    std::unique_ptr<MainWindow> window_;
};

}  // namespace quillmoss::testing
