// The tool as it runs, for the reliability tests: the real window wired to
// the real commands and result actions, on the offscreen platform, plus the
// helpers that read what the user would see.
#pragma once

#include <QDesktopServices>
#include <QObject>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "app/main_window.h"
#include "text/text.h"

class QLabel;
class QLineEdit;
class QPushButton;
class QTextBrowser;
class QTreeView;

namespace quillmoss::reliability {

// The one window of the test process (built in main() before the tests run,
// closed after them the way the tool closes it).
MainWindow& window();

QPushButton* button(const char* name);  // 按钮1 search, 按钮4 first, 按钮3 previous, 按钮2 next
QLineEdit* keywordBox();
QTreeView* resultList();
QLabel* pageLabel();
QTextBrowser* statusBox();

// The status box as the user reads it: line breaks as '\n', blanks as blanks.
QString statusText();
// What a status content reads as in the box, for comparisons with statusText().
QString shownAs(const Text& content);

QString toQString(const Text& text);

// Runs the event loop until `done` holds (true) or the time is up (false).
bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout = std::chrono::seconds(10));

// For failure messages.
std::string utf8(const QString& text);

// The rows the list widget shows, column 0 and column 1.
std::vector<std::pair<QString, QString>> shownRows();

// Stands in for the desktop: every address the tool hands to QDesktopServices
// for these schemes is recorded, and nothing is opened.
class DesktopRecorder : public QObject {
    Q_OBJECT
public:
    DesktopRecorder();
    ~DesktopRecorder() override;
    std::vector<QUrl> urls() const;

public slots:
    void open(const QUrl& url);

private:
    mutable std::mutex mutex_;
    std::vector<QUrl> urls_;
};

}  // namespace quillmoss::reliability
