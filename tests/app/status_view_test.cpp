#include <sys/inotify.h>
#include <unistd.h>

#include <QImage>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextBrowser>

#include <set>

#include "app/status_view.h"
#include "desktop_recorder.h"
#include "support/test_server.h"
#include "window_fixture.h"

namespace quillmoss::testing {
namespace {

using StatusTest = WindowTest;

TEST_F(StatusTest, ContentIsReplacedWholeKeepingBreaksAndBlanks) {
    auto* status = get<QTextBrowser>("简单超文本框1");
    EXPECT_EQ(status->toPlainText(), qs("开始搜索"));
    const struct {
        std::string_view utf8;  // the content, before conversion to GBK
        const char* plain;      // what the box reads as plain text
    } cases[] = {
        {"搜索完成\r\n共 20 条结果", "搜索完成\n共 20 条结果"},
        {"a\r\n\r\nb", "a\n\nb"},
        {"a\nb\rc", "a\nb\nc"},
        {"三个   空格  两个", "三个   空格  两个"},
        {"1 < 2 & 3 > 2", "1 < 2 & 3 > 2"},
        {"<b>粗体</b> 与 <a href=\"magnet:?xt=1\">链接</a>", "粗体 与 链接"},
        {"大小：<span>1.2 GB</span>\n文件：a.mkv", "大小：1.2 GB\n文件：a.mkv"},
        {std::string_view("ends\0here", 9), "ends"},
        {"", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(std::string(c.utf8));
        // Bytes after a zero byte are no part of the content.
        const size_t zero = c.utf8.find('\0');
        ByteBuffer content = toBytes(gbk(c.utf8.substr(0, zero)));
        if (zero != std::string_view::npos) content.bytes() += c.utf8.substr(zero);
        setStatusContent(content);
        EXPECT_EQ(status->toPlainText(), qs(c.plain));
    }
    setStatusContent(toBytes(gbk("<b>粗体</b>")));
    EXPECT_TRUE(status->toHtml().contains(QStringLiteral("font-weight:700")) ||
                status->toHtml().contains(QStringLiteral("font-weight:600")))
        << status->toHtml().toStdString();
}

// Watches a directory for files being opened.
class OpenWatch {
public:
    explicit OpenWatch(const QString& directory) : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)) {
        inotify_add_watch(fd_, QFile::encodeName(directory).constData(), IN_OPEN | IN_ACCESS);
    }
    ~OpenWatch() { close(fd_); }

    std::set<std::string> opened() {
        alignas(inotify_event) char buffer[4096];
        for (;;) {
            const ssize_t got = read(fd_, buffer, sizeof buffer);
            if (got <= 0) break;
            for (ssize_t at = 0; at < got;) {
                const auto* event = reinterpret_cast<const inotify_event*>(buffer + at);
                if (event->len > 0) names_.insert(event->name);
                at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
            }
        }
        return names_;
    }

private:
    int fd_;
    std::set<std::string> names_;
};

TEST_F(StatusTest, LoadsNoImageBackgroundOrStyleSheetFromDiskOrNetwork) {
    QTemporaryDir dir;
    QImage pixel(4, 4, QImage::Format_RGB32);
    pixel.fill(Qt::red);
    ASSERT_TRUE(pixel.save(dir.filePath(QStringLiteral("image.png"))));
    QFile css(dir.filePath(QStringLiteral("style.css")));
    ASSERT_TRUE(css.open(QIODevice::WriteOnly));
    css.write("body { color: red; }");
    css.close();
    testsupport::TestServer server(
        testsupport::Reply{testsupport::response("HTTP/1.1 200 OK", "Content-Type: image/png\r\n", "x")});
    const QString path = dir.filePath(QStringLiteral("image.png"));
    const QString url = QUrl::fromLocalFile(path).toString();
    const QString cssUrl = QUrl::fromLocalFile(dir.filePath(QStringLiteral("style.css"))).toString();
    const QString http = QString::fromStdString(server.url("/remote.png"));

    const struct {
        QString html;
        const char* file;  // what a plain text browser reads for it; nullptr: a web address
    } cases[] = {
        {QStringLiteral("<img src=\"%1\">").arg(path), "image.png"},
        {QStringLiteral("<p>a<img src=\"%1\" width=\"8\" height=\"8\"></p>").arg(url), "image.png"},
        {QStringLiteral("<table background=\"%1\"><tr><td>x</td></tr></table>").arg(url), "image.png"},
        {QStringLiteral("<div style=\"background-image: url(%1)\">y</div>").arg(url), "image.png"},
        {QStringLiteral("<link rel=\"stylesheet\" type=\"text/css\" href=\"%1\">z").arg(cssUrl), "style.css"},
        {QStringLiteral("<style>@import url(\"%1\");</style>z").arg(cssUrl), "style.css"},
        {QStringLiteral("<img src=\"%1\">").arg(http), nullptr},
    };
    auto* status = get<QTextBrowser>("简单超文本框1");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.html.toStdString());
        if (c.file != nullptr) {
            // The watch does see an ordinary text browser read the file.
            OpenWatch watch(dir.path());
            QTextBrowser plain;
            plain.resize(400, 200);
            plain.setHtml(c.html);
            plain.show();
            ASSERT_TRUE(QTest::qWaitForWindowExposed(&plain));
            plain.grab();
            ASSERT_TRUE(watch.opened().count(c.file)) << "the watch cannot see the file being read";
        }
        OpenWatch watch(dir.path());
        setStatusContent(toBytes(utf16ToGbk(c.html.toStdU16String())));
        status->grab();
        QCoreApplication::processEvents();
        EXPECT_EQ(watch.opened(), std::set<std::string>{});
    }
    EXPECT_EQ(server.connectionCount(), 0u);

    // The document refuses on its own, also outside the view.
    OpenWatch watch(dir.path());
    RefusingDocument document;
    document.setHtml(cases[0].html);
    const QImage image =
        qvariant_cast<QImage>(document.resource(QTextDocument::ImageResource, QUrl::fromLocalFile(path)));
    EXPECT_EQ(image.size(), QSize(1, 1));  // a blank stand-in, not the red file
    EXPECT_NE(image.pixelColor(0, 0), QColor(Qt::red));
    EXPECT_FALSE(document.resource(QTextDocument::StyleSheetResource, QUrl(cssUrl)).isValid());
    EXPECT_EQ(watch.opened(), std::set<std::string>{});
}

TEST_F(StatusTest, ClickedLinksAreNotFollowed) {
    DesktopRecorder desktop;
    auto* status = get<QTextBrowser>("简单超文本框1");
    setStatusContent(toBytes(Text("<a href=\"file:///etc/hostname\">open</a> <a href=\"http://127.0.0.1/\">web</a>")));
    QSignalSpy clicked(status, &QTextBrowser::anchorClicked);
    for (int position : {2, 7}) {
        QTextCursor cursor(status->document());
        cursor.setPosition(position);
        const QPoint at = status->cursorRect(cursor).center();
        QTest::mouseClick(status->viewport(), Qt::LeftButton, {}, at);
    }
    EXPECT_EQ(clicked.count(), 2);  // the clicks did land on the links
    EXPECT_TRUE(status->source().isEmpty());
    EXPECT_EQ(status->toPlainText(), QStringLiteral("open web"));
    QCoreApplication::processEvents();
    EXPECT_TRUE(desktop.urls().empty());
}

}  // namespace
}  // namespace quillmoss::testing
