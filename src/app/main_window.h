// The main window: every control of the fixed layout, the result menu, and
// the control operations of app/controls.h.
//
// Threads: the window is built, shown and destroyed on the window thread. Its
// control operations may be called from any thread and never wait for the
// window thread: they read and write a mutex-guarded copy of what the callers
// see (keyword, page caption, rows, selection) and carry the changes to the
// widgets in one queued flush per burst. Called on the window thread they
// take effect at once. No operation may still be running on another thread
// when the window is destroyed (stop the worker, then uninstall the controls).
//
// Control names are the widgets' objectNames: 标签1 标签2 标签3 编辑框1
// 按钮1 按钮2 按钮3 按钮4 按钮6 超级列表框1 简单超文本框1 超文本浏览框1, and
// 右键菜单 for the result menu, whose items are named sendToMagnetHandler
// ("迅雷下载"), copyLink ("复制下载地址"), playOnline ("在线云点播") and
// showDetails ("查看详细内容").
#pragma once

#include <QWidget>

#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

#include "app/controls.h"
#include "app/result_model.h"

class QLabel;
class QLineEdit;
class QMenu;
class QPushButton;
class QTreeView;

namespace quillmoss {

class StatusView;

// What the window's events run, all on the window thread. An empty entry
// makes its event do nothing.
struct WindowHandlers {
    std::function<void()> searchPressed;        // 按钮1 clicked
    std::function<void()> firstPagePressed;     // 按钮4 clicked
    std::function<void()> previousPagePressed;  // 按钮3 clicked
    std::function<void()> nextPagePressed;      // 按钮2 clicked
    std::function<void()> resultRightClick;     // right button in the list, row under it selected
    std::function<void()> resultDoubleClick;    // left double click in the list
    // The menu items; each runs after the menu has closed.
    std::function<void()> sendToMagnetHandler;
    std::function<void()> copyLink;
    std::function<void()> playOnline;
    std::function<void()> showDetails;
};

// The client area the layout was drawn for.
inline constexpr int kClientWidth = 590;
inline constexpr int kClientHeight = 424;

// Maps the layout's typeface "宋体" to the Song/Ming CJK font the set-up
// installs. Call before any widget exists; later calls do nothing.
void installFontSubstitutions();

// The layout's typeface at a character height in pixels.
QFont songFont(int pixelSize);

class MainWindow : public QWidget, public Controls {
    Q_OBJECT
public:
    explicit MainWindow(WindowHandlers handlers, QWidget* parent = nullptr);
    ~MainWindow() override;

    QMenu* resultMenu() const { return resultMenu_; }

    // Control operations (any thread).
    Text keywordText() override;
    void setStatusContent(const ByteBuffer& content) override;
    void setPageCaption(const Text& caption) override;
    Text pageCaption() override;
    void clearRows() override;
    int32_t appendRow() override;
    void setCellText(int32_t row, int32_t column, const Text& text) override;
    Text cellText(int32_t row, int32_t column) override;
    int32_t rowCount() override;
    int32_t selectedRow() override;
    // Only download links (app/link_schemes.h) are passed on to the desktop.
    void navigateHiddenBrowser(const Text& address) override;
    void popupResultMenu(int32_t x, int32_t y) override;
    // Off the window thread: the position the window thread saw last.
    ScreenPoint mousePosition() override;
    void setClipboardText(const Text& text) override;
    // Only http:// and https:// addresses are opened.
    void openInDefaultBrowser(const Text& address) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    struct Effect {
        enum class Kind { downloadLink, webAddress, clipboard, popup };
        Kind kind;
        Text text;
        ScreenPoint at;
    };

    // Guarded by mutex_: what callers read, and what the widgets still lack.
    struct Shared {
        Text keyword;
        Text caption;
        std::vector<ResultRow> rows;
        uint64_t rowsGeneration = 0;  // moves on at every clearRows
        int32_t selected = -1;
        ScreenPoint lastMouse;
        std::optional<ByteBuffer> status;
        bool captionChanged = false;
        size_t modelRows = 0;  // rows the model holds (of this generation)
        size_t changedFirst = SIZE_MAX;  // rows below modelRows whose cells changed
        size_t changedLast = 0;
        std::vector<Effect> effects;
        bool flushQueued = false;
    };

    void buildControls();
    void buildResultMenu();
    bool onWindowThread() const { return std::this_thread::get_id() == windowThread_; }
    void addEffect(Effect effect);
    void requestFlush();
    void flush();
    void applyEffect(const Effect& effect);
    void selectionChanged();
    void runHandler(const std::function<void()>& handler);

    const WindowHandlers handlers_;
    const std::thread::id windowThread_;
    uint64_t modelGeneration_ = 0;  // window thread; read and written under mutex_

    std::mutex mutex_;
    Shared shared_;

    QLabel* keywordLabel_ = nullptr;
    QLineEdit* keywordBox_ = nullptr;
    QPushButton* searchButton_ = nullptr;
    QTreeView* resultList_ = nullptr;
    ResultModel* model_ = nullptr;
    QPushButton* firstPageButton_ = nullptr;
    QLabel* pageLabel_ = nullptr;
    QLabel* hintLabel_ = nullptr;
    QPushButton* previousPageButton_ = nullptr;
    QPushButton* nextPageButton_ = nullptr;
    StatusView* statusView_ = nullptr;
    QWidget* hiddenBrowser_ = nullptr;
    QPushButton* idleButton_ = nullptr;
    QMenu* resultMenu_ = nullptr;
};

}  // namespace quillmoss
