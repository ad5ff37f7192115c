#pragma once
// The client's diagnostic log. Every qDebug/qInfo/qWarning/qCritical line of the process goes
// through one message handler that writes it, with source file, line and severity, into
// "kestrafon.log". Lines below the minimum level are dropped.
#include <QString>
#include <QtGlobal>

namespace kf::logging {

// Severity order: verbose (qDebug) < info < warning < error < fatal; "disable" writes nothing.
enum class Level { Verbose = -1, Info = 0, Warning = 1, Error = 2, Fatal = 3, Disable = 99 };

// Parses "verbose", "info", "warning", "error", "fatal", "disable" or a number as the engine's
// switch does; returns fallback for anything else.
Level parseLevel(const QString& text, Level fallback);

// Where the log goes when no path is given: "kestrafon.log" in the log folder (beside the
// executable when the user may write there, else the user's state folder; see
// kf::paths::UserFolders). Never a fixed name in a shared folder, which another user could
// create first. Empty for an empty folder.
QString defaultLogPath(const QString& folder);

// Opens (appends to) the log file and installs the message handler. Safe to call again: the
// new file and level replace the old ones.
bool install(const QString& path, Level minimum);
void uninstall();

QString currentLogPath();
Level minimumLevel();

// One line as it is written to the file (without the newline). Exposed for tests.
QString formatLine(QtMsgType type, const char* file, int line, const QString& message);

}  // namespace kf::logging
