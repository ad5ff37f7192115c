// kestrafon-archive build DIR OUT [--name TEXT] [--manifest BASE_URL --version V [--notes TEXT]]
// kestrafon-archive list FILE
//
// "build" archives every file below DIR (paths relative to DIR) under the package name TEXT
// ("Kestrafon" by default); "list" verifies the digest, decompresses and prints the files.
// With --manifest, "build" also writes manifest.json beside OUT: the client update offer for a
// package served at BASE_URL/<name of OUT>, with its version, size and notes, ready to host
// beside the package (the address of manifest.json goes into UpdateUrl in Resources/conf.xml).
// Exit codes: 0 success, 1 the operation failed (or an entry would be refused on unpacking),
// 2 bad command line.
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QSaveFile>
#include <QStringList>
#include <QTextStream>
#include <QUrl>

#include "cefclient/theme_archive.h"
#include "cefclient/theme_archive_writer.h"

namespace {

int usage(QTextStream& err) {
    err << "usage: kestrafon-archive build DIR OUT [--name TEXT] [--manifest BASE_URL --version V [--notes "
           "TEXT]]\n"
           "       kestrafon-archive list FILE\n";
    return 2;
}

struct ManifestOptions {
    QString baseUrl;
    QString version;
    QString notes;
};

// Writes manifest.json beside the package: what the client reads at its UpdateUrl.
bool writeManifest(const QString& package, const ManifestOptions& options, QTextStream& out,
                   QTextStream& err) {
    const QFileInfo info(package);
    QString base = options.baseUrl;
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    const QString url =
        base + QLatin1Char('/') + QString::fromLatin1(QUrl::toPercentEncoding(info.fileName()));
    const QJsonObject manifest{{QStringLiteral("version"), options.version},
                               {QStringLiteral("package"), url},
                               {QStringLiteral("size"), double(info.size())},
                               {QStringLiteral("notes"), options.notes}};
    const QString path = info.absolutePath() + QStringLiteral("/manifest.json");
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(QJsonDocument(manifest).toJson()) < 0 ||
        !file.commit()) {
        err << "kestrafon-archive: cannot write " << path << ": " << file.errorString() << "\n";
        return false;
    }
    out << "wrote " << path << " offering " << url << "\n";
    return true;
}

// The same checks the client makes when it reads the manifest.
bool manifestOptionsUsable(const ManifestOptions& m, QTextStream& err) {
    const QUrl url(m.baseUrl, QUrl::StrictMode);
    const QString scheme = url.scheme().toLower();
    if (!url.isValid() || (scheme != QLatin1String("http") && scheme != QLatin1String("https")) ||
        url.host().isEmpty()) {
        err << "kestrafon-archive: --manifest needs an http or https address\n";
        return false;
    }
    static const QRegularExpression version(QStringLiteral("^[0-9A-Za-z][0-9A-Za-z._+-]{0,31}$"));
    if (!version.match(m.version).hasMatch()) {
        err << "kestrafon-archive: --manifest needs --version: letters, digits and . _ + -, at most 32\n";
        return false;
    }
    if (m.notes.size() > 8000) {
        err << "kestrafon-archive: --notes is longer than 8000 characters\n";
        return false;
    }
    return true;
}

int build(const QStringList& args, QTextStream& out, QTextStream& err) {
    QStringList positional;
    QString name = QStringLiteral("Kestrafon");
    ManifestOptions manifest;
    bool withManifest = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        const bool valued = arg == QLatin1String("--name") || arg == QLatin1String("--manifest") ||
                            arg == QLatin1String("--version") || arg == QLatin1String("--notes");
        if (valued && i + 1 >= args.size()) {
            err << "kestrafon-archive: " << arg << " needs a text\n";
            return 2;
        }
        if (arg == QLatin1String("--name")) {
            name = args.at(++i);
        } else if (arg == QLatin1String("--manifest")) {
            manifest.baseUrl = args.at(++i);
            withManifest = true;
        } else if (arg == QLatin1String("--version")) {
            manifest.version = args.at(++i);
        } else if (arg == QLatin1String("--notes")) {
            manifest.notes = args.at(++i);
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
    if (withManifest && !manifestOptionsUsable(manifest, err)) {
        return 2;
    }
    QString error;
    if (!writeThemeArchive(positional.at(0), positional.at(1), name, &error)) {
        err << "kestrafon-archive: " << error << "\n";
        return 1;
    }
    out << "wrote " << positional.at(1) << "\n";
    if (withManifest && !writeManifest(positional.at(1), manifest, out, err)) {
        return 1;
    }
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
