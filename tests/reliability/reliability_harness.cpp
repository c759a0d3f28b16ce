#include "reliability_harness.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <QTreeView>

#include "actions/actions_testing.h"
#include "actions/result_actions.h"
#include "app/application.h"
#include "http/fetch.h"
#include "search/commands.h"
#include "text/codepage.h"

namespace quillmoss::reliability {
namespace {

MainWindow* theWindow = nullptr;

template <typename T>
T* named(const char* name) {
    T* widget = window().findChild<T*>(QString::fromUtf8(name));
    if (widget == nullptr) ADD_FAILURE() << "the window has no control " << name;
    return widget;
}

QString normalised(QString text) {
    text.replace(QChar(0x00A0), QLatin1Char(' '));
    text.replace(QChar(0x2029), QLatin1Char('\n'));
    text.replace(QChar(0x2028), QLatin1Char('\n'));
    return text;
}

QStringList schemes() {
    return {QStringLiteral("magnet"), QStringLiteral("thunder"), QStringLiteral("ed2k"),
            QStringLiteral("http"), QStringLiteral("https")};
}

}  // namespace

MainWindow& window() { return *theWindow; }

QPushButton* button(const char* name) { return named<QPushButton>(name); }
QLineEdit* keywordBox() { return named<QLineEdit>("编辑框1"); }
QTreeView* resultList() { return named<QTreeView>("超级列表框1"); }
QLabel* pageLabel() { return named<QLabel>("标签2"); }
QTextBrowser* statusBox() { return named<QTextBrowser>("简单超文本框1"); }

QString toQString(const Text& text) { return QString::fromStdU16String(gbkToUtf16(text)); }

bool waitUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto end = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (std::chrono::steady_clock::now() >= end) return false;
        QTest::qWait(5);
    }
    return true;
}

std::string utf8(const QString& text) { return text.toStdString(); }

QString statusText() { return normalised(statusBox()->toPlainText()); }

QString shownAs(const Text& content) {
    QString text = toQString(content);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return text;
}

std::vector<std::pair<QString, QString>> shownRows() {
    std::vector<std::pair<QString, QString>> rows;
    const QAbstractItemModel* model = resultList()->model();
    for (int row = 0; row < model->rowCount(); ++row) {
        rows.emplace_back(model->index(row, 0).data().toString(), model->index(row, 1).data().toString());
    }
    return rows;
}

DesktopRecorder::DesktopRecorder() {
    for (const QString& scheme : schemes()) QDesktopServices::setUrlHandler(scheme, this, "open");
}

DesktopRecorder::~DesktopRecorder() {
    for (const QString& scheme : schemes()) QDesktopServices::unsetUrlHandler(scheme);
}

std::vector<QUrl> DesktopRecorder::urls() const {
    std::lock_guard lock(mutex_);
    return urls_;
}

void DesktopRecorder::open(const QUrl& url) {
    std::lock_guard lock(mutex_);
    urls_.push_back(url);
}

}  // namespace quillmoss::reliability

// The tests run inside the tool's own start-up and shutdown: runApplication
// builds the window, the tests drive it from the event loop, and closing it
// takes the tool's real shutdown path, which must end with exit code 0.
int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    if (GTEST_FLAG_GET(list_tests)) return RUN_ALL_TESTS();
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");

    using namespace quillmoss;
    initHttp();
    // The handler query would run xdg-mime on the window thread for every
    // magnet action; a program that knows no handler answers at once.
    setHandlerQueryForTesting(HandlerQuery{"true", std::chrono::milliseconds(1000)});

    int testsResult = 1;
    AppWiring wiring;
    wiring.searchFirstPage = searchFirstPage;
    wiring.showPreviousPage = showPreviousPage;
    wiring.showNextPage = showNextPage;
    wiring.onResultRightClick = onResultRightClick;
    wiring.onResultDoubleClick = onResultDoubleClick;
    wiring.sendToMagnetHandler = sendToMagnetHandler;
    wiring.copyLink = copyLink;
    wiring.playOnline = playOnline;
    wiring.showDetails = showDetails;
    wiring.abortExchanges = abortAllFetches;
    wiring.onWindowShown = [&testsResult](MainWindow& shown) {
        reliability::theWindow = &shown;
        QTimer::singleShot(0, &shown, [&testsResult, &shown] {
            if (!QTest::qWaitForWindowExposed(&shown)) ADD_FAILURE() << "the window was never exposed";
            testsResult = RUN_ALL_TESTS();
            shown.close();
        });
    };
    const int exitCode = runApplication(argc, argv, wiring);
    reliability::theWindow = nullptr;
    if (exitCode != 0) {
        std::fprintf(stderr, "the tool's shutdown ended with exit code %d\n", exitCode);
        return 1;
    }
    return testsResult;
}
