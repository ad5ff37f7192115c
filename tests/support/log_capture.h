#pragma once
// Collects the log lines the process writes while it lives, from any thread, instead of printing
// them: for tests that provoke failures the client logs.
#include <QMutex>
#include <QMutexLocker>
#include <QStringList>
#include <QtGlobal>

namespace kftest {

class LogCapture {
public:
    LogCapture() : previous_(qInstallMessageHandler(&LogCapture::handle)) { current() = this; }
    ~LogCapture() {
        qInstallMessageHandler(previous_);
        current() = nullptr;
    }
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    QStringList lines() const {
        QMutexLocker lock(&lock_);
        return lines_;
    }
    QStringList matching(const QString& text) const { return lines().filter(text); }

private:
    static LogCapture*& current() {
        static LogCapture* capture = nullptr;
        return capture;
    }
    static void handle(QtMsgType, const QMessageLogContext&, const QString& text) {
        if (LogCapture* capture = current()) {
            QMutexLocker lock(&capture->lock_);
            capture->lines_.append(text);
        }
    }

    QtMessageHandler previous_;
    mutable QMutex lock_;
    QStringList lines_;
};

}  // namespace kftest
