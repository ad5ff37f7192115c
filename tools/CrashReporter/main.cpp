// CrashReporter <dump file>
//
// Started detached by the client's crash handler right after it wrote a dump. Keeps the dump (see
// dump_keeper.h), names the functions of its frames (frame_names.h) and adds them to the kept dump
// as a "symbols:" section, prints where it is and, on a real display, tells the user in a message
// box that closes by itself after two minutes. Exit code 0 when the dump was kept, 1 when it is
// missing.
#include <QApplication>
#include <QFile>
#include <QGuiApplication>
#include <QMessageBox>
#include <QSaveFile>
#include <QTimer>
#include <QtGlobal>

#include <cstdio>

#include "dump_keeper.h"
#include "frame_names.h"

namespace {

constexpr int kNoticeMilliseconds = 2 * 60 * 1000;
// Our dumps are a few hundred KB; anything much larger is not one.
constexpr qint64 kMaxDumpSize = 16 * 1024 * 1024;

// Picks a platform that cannot abort the start: the display when there is one, else offscreen.
void choosePlatform() {
    if (!qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        return;
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    } else {
        qputenv("QT_QPA_PLATFORM", "xcb;wayland;offscreen");
    }
}

bool hasRealDisplay() {
    const QString platform = QGuiApplication::platformName();
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

void showNotice(const QString& location) {
    QMessageBox box(QMessageBox::Information, QStringLiteral("Kestrafon"),
                    QStringLiteral("Kestrafon stopped because of an error.\n\n"
                                   "A crash report was saved to:\n%1")
                        .arg(location),
                    QMessageBox::Ok);
    box.setTextInteractionFlags(Qt::TextSelectableByMouse);
    QTimer::singleShot(kNoticeMilliseconds, &box, [&box]() { box.done(QMessageBox::Ok); });
    box.exec();
}

// Names the frames of the kept dump and adds them to it (once, replacing the file as a whole), so
// whoever reads it later needs neither this machine nor its libraries. Returns the named frames.
QStringList addFrameNames(const QString& dumpPath) {
    QFile file(dumpPath);
    if (!file.open(QIODevice::ReadOnly)) {
        return QStringList();
    }
    const QByteArray dump = file.read(kMaxDumpSize);
    file.close();
    const QStringList lines = nameFrames(dump);
    if (lines.isEmpty() || dump.contains("\nsymbols:\n")) {
        return lines;
    }
    QSaveFile named(dumpPath);
    if (named.open(QIODevice::WriteOnly)) {
        named.write(dump);
        named.write(dump.endsWith('\n') ? "symbols:\n" : "\nsymbols:\n");
        named.write(lines.join('\n').toUtf8() + '\n');
    }
    if (!named.commit()) {
        std::fprintf(stderr, "CrashReporter: cannot add the function names to %s\n", qPrintable(dumpPath));
    }
    return lines;
}

}  // namespace

int main(int argc, char** argv) {
    // Taken before QApplication, which removes the arguments it understands.
    const QString dumpPath = argc >= 2 ? QFile::decodeName(argv[1]) : QString();
    choosePlatform();
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("CrashReporter"));

    if (dumpPath.isEmpty()) {
        std::fprintf(stderr, "usage: CrashReporter <dump file>\n");
        return 1;
    }
    const KeptDump dump = keepDump(dumpPath, QCoreApplication::applicationDirPath());
    if (!dump.problem.isEmpty()) {
        std::fprintf(stderr, "CrashReporter: %s\n", qPrintable(dump.problem));
    }
    if (!dump.kept) {
        return 1;
    }
    const QStringList frames = addFrameNames(dump.location);
    std::printf("Crash dump kept at %s\n", qPrintable(dump.location));
    for (const QString& frame : frames) {
        std::printf("%s\n", qPrintable(frame));
    }
    std::fflush(stdout);
    if (hasRealDisplay()) {
        showNotice(dump.location);
    }
    return 0;
}
