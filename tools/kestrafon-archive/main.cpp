// kestrafon-archive build DIR OUT [--name TEXT]
// kestrafon-archive list FILE
//
// "build" archives every file below DIR (paths relative to DIR) under the package name TEXT
// ("Kestrafon" by default); "list" verifies the digest, decompresses and prints the files.
// Exit codes: 0 success, 1 the operation failed (or an entry would be refused on unpacking),
// 2 bad command line.
#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>

#include "cefclient/theme_archive.h"
#include "cefclient/theme_archive_writer.h"

namespace {

int usage(QTextStream& err) {
    err << "usage: kestrafon-archive build DIR OUT [--name TEXT]\n"
           "       kestrafon-archive list FILE\n";
    return 2;
}

int build(const QStringList& args, QTextStream& out, QTextStream& err) {
    QStringList positional;
    QString name = QStringLiteral("Kestrafon");
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        if (arg == QLatin1String("--name")) {
            if (i + 1 >= args.size()) {
                err << "kestrafon-archive: --name needs a text\n";
                return 2;
            }
            name = args.at(++i);
        } else if (arg.startsWith(QLatin1String("--"))) {
            err << "kestrafon-archive: unknown option " << arg << "\n";
            return 2;
        } else {
            positional.append(arg);
        }
    }
    if (positional.size() != 2) {
        return usage(err);
    }
    QString error;
    if (!writeThemeArchive(positional.at(0), positional.at(1), name, &error)) {
        err << "kestrafon-archive: " << error << "\n";
        return 1;
    }
    out << "wrote " << positional.at(1) << "\n";
    return 0;
}

int list(const QStringList& args, QTextStream& out, QTextStream& err) {
    if (args.size() != 1) {
        return usage(err);
    }
    theme_archive::Contents contents;
    QString error;
    if (!theme_archive::readFile(args.at(0), &contents, &error)) {
        err << "kestrafon-archive: " << args.at(0) << ": " << error << "\n";
        return 1;
    }
    out << "digest: ok\n";
    out << "name: " << contents.name << "\n";
    out << "files: " << contents.files.size() << "\n";
    bool allSafe = true;
    for (const theme_archive::File& file : qAsConst(contents.files)) {
        out << qSetFieldWidth(10) << file.data.size() << qSetFieldWidth(0) << "  " << file.path;
        if (!theme_archive::isSafeRelativePath(file.path)) {
            out << "  (unsafe path: unpacking refuses this archive)";
            allSafe = false;
        }
        out << "\n";
    }
    return allSafe ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    QStringList args = QCoreApplication::arguments().mid(1);
    if (args.isEmpty()) {
        return usage(err);
    }
    const QString command = args.takeFirst();
    if (command == QLatin1String("build")) {
        return build(args, out, err);
    }
    if (command == QLatin1String("list")) {
        return list(args, out, err);
    }
    return usage(err);
}
