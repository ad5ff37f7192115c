#include "app/logging.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <cstdio>

namespace kf::logging {
namespace {

struct LogState {
    QMutex mutex;
    QFile file;
    Level minimum = Level::Info;
    QtMessageHandler previous = nullptr;
    bool installed = false;
};

LogState& state() {
    static LogState* s = new LogState;  // never destroyed: messages may arrive during exit
    return *s;
}

Level levelOf(QtMsgType type) {
    switch (type) {
        case QtDebugMsg:
            return Level::Verbose;
        case QtInfoMsg:
            return Level::Info;
        case QtWarningMsg:
            return Level::Warning;
        case QtCriticalMsg:
            return Level::Error;
        case QtFatalMsg:
            return Level::Fatal;
    }
    return Level::Info;
}

const char* severityName(QtMsgType type) {
    switch (type) {
        case QtDebugMsg:
            return "VERBOSE1";
        case QtInfoMsg:
            return "INFO";
        case QtWarningMsg:
            return "WARNING";
        case QtCriticalMsg:
            return "ERROR";
        case QtFatalMsg:
            return "FATAL";
    }
    return "INFO";
}

void handler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    LogState& s = state();
    const Level level = levelOf(type);
    {
        QMutexLocker lock(&s.mutex);
        if (s.minimum != Level::Disable && static_cast<int>(level) >= static_cast<int>(s.minimum) &&
            s.file.isOpen()) {
            const QByteArray line = formatLine(type, context.file, context.line, message).toUtf8() + '\n';
            s.file.write(line);
            s.file.flush();
        }
    }
    if (type == QtFatalMsg) {
        std::fputs(message.toLocal8Bit().constData(), stderr);
        std::fputc('\n', stderr);
    }
}

}  // namespace

Level parseLevel(const QString& text, Level fallback) {
    const QString t = text.trimmed().toLower();
    if (t == "verbose" || t == "debug")
        return Level::Verbose;
    if (t == "info")
        return Level::Info;
    if (t == "warning")
        return Level::Warning;
    if (t == "error")
        return Level::Error;
    if (t == "fatal")
        return Level::Fatal;
    if (t == "disable")
        return Level::Disable;
    bool ok = false;
    const int n = t.toInt(&ok);
    if (ok) {
        if (n < 0)
            return Level::Verbose;
        if (n <= 3)
            return static_cast<Level>(n);
        return Level::Disable;
    }
    return fallback;
}

QString defaultLogPath(const QString& folder) {
    return folder.isEmpty() ? QString() : QDir(folder).filePath(QStringLiteral("kestrafon.log"));
}

bool install(const QString& path, Level minimum) {
    LogState& s = state();
    bool opened = false;
    {
        QMutexLocker lock(&s.mutex);
        if (s.file.isOpen()) {
            s.file.close();
        }
        s.file.setFileName(path);
        opened = s.file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text);
        s.minimum = minimum;
    }
    if (!s.installed) {
        s.previous = qInstallMessageHandler(handler);
        s.installed = true;
    }
    return opened;
}

void uninstall() {
    LogState& s = state();
    if (s.installed) {
        qInstallMessageHandler(s.previous);
        s.installed = false;
    }
    QMutexLocker lock(&s.mutex);
    s.file.close();
}

QString currentLogPath() {
    QMutexLocker lock(&state().mutex);
    return state().file.fileName();
}

Level minimumLevel() {
    QMutexLocker lock(&state().mutex);
    return state().minimum;
}

QString formatLine(QtMsgType type, const char* file, int line, const QString& message) {
    // The engine's layout: [MMDD/hhmmss.zzz:SEVERITY:file(line)] message
    const QString source = file ? QFileInfo(QString::fromUtf8(file)).fileName() : QStringLiteral("unknown");
    return QStringLiteral("[%1:%2:%3(%4)] %5")
        .arg(QDateTime::currentDateTime().toString(QStringLiteral("MMdd/hhmmss.zzz")),
             QString::fromLatin1(severityName(type)), source, QString::number(line), message);
}

}  // namespace kf::logging
