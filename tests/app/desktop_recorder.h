// Stands in for the desktop: records what reaches QDesktopServices for the
// schemes it registers, and puts a fake xdg-open first on PATH that logs its
// argument, so nothing a test does reaches the real desktop.
#pragma once

#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QObject>
#include <QStringList>
#include <QTemporaryDir>
#include <QUrl>

#include <mutex>
#include <vector>

namespace quillmoss::testing {

class DesktopRecorder : public QObject {
    Q_OBJECT
public:
    DesktopRecorder() {
        for (const QString& scheme : schemes()) QDesktopServices::setUrlHandler(scheme, this, "open");
        const QString script = dir_.filePath(QStringLiteral("xdg-open"));
        QFile file(script);
        file.open(QIODevice::WriteOnly);
        file.write("#!/bin/sh\nprintf '%s\\n' \"$1\" >> \"$(dirname \"$0\")/opened.log\"\n");
        file.close();
        file.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        oldPath_ = qgetenv("PATH");
        qputenv("PATH", QFile::encodeName(dir_.path()) + ':' + oldPath_);
    }

    ~DesktopRecorder() override {
        for (const QString& scheme : schemes()) QDesktopServices::unsetUrlHandler(scheme);
        qputenv("PATH", oldPath_);
    }

    static QStringList schemes() {
        return {QStringLiteral("magnet"), QStringLiteral("thunder"), QStringLiteral("ed2k"),
                QStringLiteral("http"),   QStringLiteral("https"),   QStringLiteral("file"),
                QStringLiteral("javascript"), QStringLiteral("about"), QStringLiteral("data")};
    }

    // What QDesktopServices was asked to open, in encoded form.
    std::vector<QByteArray> urls() const {
        std::lock_guard lock(mutex_);
        return urls_;
    }

    // What the fake xdg-open was started with, one line each.
    QStringList launched() const {
        QFile log(dir_.filePath(QStringLiteral("opened.log")));
        if (!log.open(QIODevice::ReadOnly)) return {};
        return QString::fromUtf8(log.readAll()).split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }

public slots:
    void open(const QUrl& url) {
        std::lock_guard lock(mutex_);
        urls_.push_back(url.toEncoded());
    }

private:
    QTemporaryDir dir_;
    QByteArray oldPath_;
    mutable std::mutex mutex_;
    std::vector<QByteArray> urls_;
};

}  // namespace quillmoss::testing
