#include "app/controls.h"

#include <atomic>

namespace quillmoss {
namespace {

std::atomic<Controls*> installed{nullptr};

template <typename Result, typename Call>
Result withControls(Call call) {
    Controls* controls = installed.load(std::memory_order_acquire);
    if (controls == nullptr) return Result{};
    return call(*controls);
}

}  // namespace

void installControls(Controls* controls) { installed.store(controls, std::memory_order_release); }

Text keywordText() { return withControls<Text>([](Controls& c) { return c.keywordText(); }); }

void setStatusContent(const ByteBuffer& content) {
    withControls<int>([&](Controls& c) { c.setStatusContent(content); return 0; });
}

void setPageCaption(const Text& caption) {
    withControls<int>([&](Controls& c) { c.setPageCaption(caption); return 0; });
}

Text pageCaption() { return withControls<Text>([](Controls& c) { return c.pageCaption(); }); }

void clearRows() {
    withControls<int>([](Controls& c) { c.clearRows(); return 0; });
}

int32_t appendRow() {
    Controls* controls = installed.load(std::memory_order_acquire);
    return controls == nullptr ? -1 : controls->appendRow();
}

void setCellText(int32_t row, int32_t column, const Text& text) {
    withControls<int>([&](Controls& c) { c.setCellText(row, column, text); return 0; });
}

Text cellText(int32_t row, int32_t column) {
    return withControls<Text>([&](Controls& c) { return c.cellText(row, column); });
}

int32_t rowCount() { return withControls<int32_t>([](Controls& c) { return c.rowCount(); }); }

int32_t selectedRow() {
    Controls* controls = installed.load(std::memory_order_acquire);
    return controls == nullptr ? -1 : controls->selectedRow();
}

void navigateHiddenBrowser(const Text& address) {
    withControls<int>([&](Controls& c) { c.navigateHiddenBrowser(address); return 0; });
}

void popupResultMenu(int32_t x, int32_t y) {
    withControls<int>([&](Controls& c) { c.popupResultMenu(x, y); return 0; });
}

ScreenPoint mousePosition() {
    return withControls<ScreenPoint>([](Controls& c) { return c.mousePosition(); });
}

void setClipboardText(const Text& text) {
    withControls<int>([&](Controls& c) { c.setClipboardText(text); return 0; });
}

void openInDefaultBrowser(const Text& address) {
    withControls<int>([&](Controls& c) { c.openInDefaultBrowser(address); return 0; });
}

}  // namespace quillmoss
