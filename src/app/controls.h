// The control operations through which the search commands and the result
// actions read and write the main window. Every operation may be called from
// any thread and none of them waits for the window thread, so a worker can
// never deadlock against it (also not while the window closes). Before a
// Controls implementation is installed, and after it is removed, reads give
// empty values and writes do nothing.
#pragma once

#include <cstdint>

#include "text/text.h"

namespace quillmoss {

struct ScreenPoint {
    int32_t x = 0;
    int32_t y = 0;
};

// Implemented by the main window; tests may install their own.
class Controls {
public:
    virtual ~Controls() = default;
    virtual Text keywordText() = 0;
    virtual void setStatusContent(const ByteBuffer& content) = 0;
    virtual void setPageCaption(const Text& caption) = 0;
    virtual Text pageCaption() = 0;
    virtual void clearRows() = 0;
    virtual int32_t appendRow() = 0;
    virtual void setCellText(int32_t row, int32_t column, const Text& text) = 0;
    virtual Text cellText(int32_t row, int32_t column) = 0;
    virtual int32_t rowCount() = 0;
    virtual int32_t selectedRow() = 0;
    virtual void navigateHiddenBrowser(const Text& address) = 0;
    virtual void popupResultMenu(int32_t x, int32_t y) = 0;
    virtual ScreenPoint mousePosition() = 0;
    virtual void setClipboardText(const Text& text) = 0;
    virtual void openInDefaultBrowser(const Text& address) = 0;
};

// Installed once by the window thread before any worker starts; removed
// (nullptr) only after every worker has stopped.
void installControls(Controls* controls);

Text keywordText();
void setStatusContent(const ByteBuffer& content);
void setPageCaption(const Text& caption);
Text pageCaption();
void clearRows();
int32_t appendRow();
void setCellText(int32_t row, int32_t column, const Text& text);
Text cellText(int32_t row, int32_t column = 0);
int32_t rowCount();
int32_t selectedRow();
void navigateHiddenBrowser(const Text& address);
void popupResultMenu(int32_t x, int32_t y);
ScreenPoint mousePosition();
void setClipboardText(const Text& text);
void openInDefaultBrowser(const Text& address);

}  // namespace quillmoss
