#pragma once
// Collects the log lines (qDebug to qFatal) the process writes while it lives, from any thread,
// instead of printing them: for tests that provoke failures the client logs.
#include <QMutex>
#include <QString>
#include <QStringList>
#include <QtGlobal>

namespace kftest {

class LogCapture {
public:
    LogCapture();
    ~LogCapture();
    LogCapture(const LogCapture&) = delete;
    LogCapture& operator=(const LogCapture&) = delete;

    QStringList lines() const;
    // The lines containing `text`.
    QStringList matching(const QString& text) const;
    void clear();

private:
    static void handle(QtMsgType type, const QMessageLogContext& context, const QString& text);
    QtMessageHandler previous_ = nullptr;
    mutable QMutex lock_;
    QStringList lines_;
};

}  // namespace kftest
