// The status box: a small HTML view of GBK content. It shows text cut from
// web pages, so it never loads anything: no image, background or style sheet
// is read from disk or the network, and its links are not followed.
#pragma once

#include <QString>
#include <QTextBrowser>
#include <QTextDocument>

#include "text/text.h"

namespace quillmoss {

// The document behind the status box. Its own loadResource refuses every
// resource (an image becomes a blank pixel); QTextDocument would otherwise
// read local files itself when the view's loadResource returns nothing.
class RefusingDocument : public QTextDocument {
    Q_OBJECT
public:
    explicit RefusingDocument(QObject* parent = nullptr);

protected:
    QVariant loadResource(int type, const QUrl& name) override;
};

class StatusView : public QTextBrowser {
    Q_OBJECT
public:
    explicit StatusView(QWidget* parent = nullptr);

    // Replaces the whole content. The bytes are GBK up to the first zero byte;
    // empty content empties the box. Window thread.
    void setContent(const ByteBuffer& content);

    QVariant loadResource(int type, const QUrl& name) override;
};

// The style sheet every content is shown with.
QString statusStyleSheet();

// The HTML the status box shows for a content: plain text is escaped, and
// both plain text and HTML keep their line breaks (CR LF is one) and blanks.
QString statusHtml(const Text& content);

}  // namespace quillmoss
