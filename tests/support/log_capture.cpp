#include "support/log_capture.h"

#include <QMutexLocker>

namespace kftest {

namespace {
LogCapture* g_current = nullptr;
}  // namespace

LogCapture::LogCapture() {
    g_current = this;
    previous_ = qInstallMessageHandler(&LogCapture::handle);
}

LogCapture::~LogCapture() {
    qInstallMessageHandler(previous_);
    g_current = nullptr;
}

void LogCapture::handle(QtMsgType, const QMessageLogContext&, const QString& text) {
    if (LogCapture* capture = g_current) {
        QMutexLocker lock(&capture->lock_);
        capture->lines_.append(text);
    }
}

QStringList LogCapture::lines() const {
    QMutexLocker lock(&lock_);
    return lines_;
}

QStringList LogCapture::matching(const QString& text) const {
    return lines().filter(text);
}

void LogCapture::clear() {
    QMutexLocker lock(&lock_);
    lines_.clear();
}

}  // namespace kftest
