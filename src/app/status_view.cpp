#include "app/status_view.h"

#include <QImage>
#include <QRegularExpression>
#include <QVariant>

#include "text/codepage.h"

namespace quillmoss {
namespace {

QString toQString(const Text& text) {
    return QString::fromStdU16String(gbkToUtf16(text));
}

// A tag-like "<x", "</", "<!" marks HTML; the tool's own messages hold none.
bool looksLikeHtml(const QString& text) {
    static const QRegularExpression tag(QStringLiteral("<[A-Za-z!/][^<>]*>"));
    return tag.match(text).hasMatch();
}

}  // namespace

RefusingDocument::RefusingDocument(QObject* parent) : QTextDocument(parent) {
    // The default provider (if anyone sets one) would be asked after us.
    setResourceProvider([](const QUrl&) { return QVariant(); });
}

QVariant RefusingDocument::loadResource(int type, const QUrl&) {
    // An image that stays empty makes Qt's image handler read the named file
    // itself; a blank image keeps it from trying.
    if (type == QTextDocument::ImageResource) {
        QImage blank(1, 1, QImage::Format_ARGB32_Premultiplied);
        blank.fill(Qt::transparent);
        return blank;
    }
    return {};
}

StatusView::StatusView(QWidget* parent) : QTextBrowser(parent) {
    auto* document = new RefusingDocument(this);
    document->setDefaultStyleSheet(statusStyleSheet());
    document->setDocumentMargin(3);
    setDocument(document);
    setOpenLinks(false);
    setOpenExternalLinks(false);
    setSearchPaths({});
    setUndoRedoEnabled(false);
}

void StatusView::setContent(const ByteBuffer& content) {
    // Text stops at the first zero byte, which is where the content ends.
    const Text text(content.view());
    if (text.empty()) {
        clear();
        return;
    }
    setHtml(statusHtml(text));
}

QVariant StatusView::loadResource(int, const QUrl&) { return {}; }

QString statusStyleSheet() {
    return QStringLiteral(
        "body { font-size: 9pt; color: black; font-family: \"宋体\", Verdana; }\n"
        "p { font-size: 9pt; color: black; font-family: \"宋体\", Verdana; }\n"
        "h1 { font-size: 14pt; color: black; font-family: \"宋体\", Verdana; font-weight: bold; }\n"
        "h2 { font-size: 13pt; color: #ff9900; font-family: \"宋体\", Verdana; font-weight: bold; }\n"
        "h3 { font-size: 12pt; color: #ff9900; font-family: \"宋体\", Arial; font-weight: bold; }\n"
        "h4 { font-size: 10pt; color: black; font-family: \"宋体\", Verdana; font-weight: bold; }\n"
        "h5 { font-size: 9pt; color: #ff9900; font-family: \"宋体\", Verdana; font-weight: bold; }\n"
        "h6 { font-size: 65%; color: #626262; font-family: \"宋体\", Verdana; font-weight: normal; }\n"
        "pre { font-size: 9pt; font-family: \"宋体\", Courier; background-color: #fbedbb; }\n"
        "code { color: #990000; font-family: \"宋体\", Arial; }\n"
        "a:link { text-decoration: none; color: blue; }\n"
        "a:hover { text-decoration: underline; color: blue; }\n"
        "sub { font-size: 65%; vertical-align: bottom; }\n"
        "sup { font-size: 65%; vertical-align: top; }\n"
        "big { font-size: 125%; }\n"
        "small { font-size: 75%; }\n"
        ".comment { color: green; }\n");
}

QString statusHtml(const Text& content) {
    QString text = toQString(content);
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    if (!looksLikeHtml(text)) text = text.toHtmlEscaped();
    // Detail blocks are cut from inside a <pre> of the page, so their breaks
    // and blanks are kept as the page shows them, like those of plain text.
    return QStringLiteral("<html><body><div style=\"white-space: pre-wrap\">") + text +
           QStringLiteral("</div></body></html>");
}

}  // namespace quillmoss
