// kestrafon-pak build DIR OUT.pak [--shift K] [--subtract]
// kestrafon-pak list FILE
//
// "build" packs every file below DIR under the entry name <base name of OUT>/<relative path>;
// "list" loads a pack the way the client does and prints its header and entries.
// Exit codes: 0 success, 1 the operation failed, 2 bad command line.
#include <QCoreApplication>
#include <QStringList>
#include <QTextStream>

#include "cefclient/resource_pack.h"
#include "cefclient/resource_pack_writer.h"

namespace {

int usage(QTextStream& err) {
    err << "usage: kestrafon-pak build DIR OUT.pak [--shift K] [--subtract]\n"
           "       kestrafon-pak list FILE\n";
    return 2;
}

int build(const QStringList& args, QTextStream& out, QTextStream& err) {
    QStringList positional;
    quint8 shift = 0;
    bool subtract = false;
    for (int i = 0; i < args.size(); ++i) {
        const QString& arg = args.at(i);
        if (arg == QLatin1String("--subtract")) {
            subtract = true;
        } else if (arg == QLatin1String("--shift")) {
            bool ok = false;
            const uint value = i + 1 < args.size() ? args.at(i + 1).toUInt(&ok) : 0;
            if (!ok || value > 255) {
                err << "kestrafon-pak: --shift needs a number from 0 to 255\n";
                return 2;
            }
            shift = quint8(value);
            ++i;
        } else if (arg.startsWith(QLatin1String("--"))) {
            err << "kestrafon-pak: unknown option " << arg << "\n";
            return 2;
        } else {
            positional.append(arg);
        }
    }
    if (positional.size() != 2) {
        return usage(err);
    }
    QString error;
    if (!writeResourcePack(positional.at(0), positional.at(1), shift, subtract, &error)) {
        err << "kestrafon-pak: " << error << "\n";
        return 1;
    }
    out << "wrote " << positional.at(1) << "\n";
    return 0;
}

int list(const QStringList& args, QTextStream& out, QTextStream& err) {
    if (args.size() != 1) {
        return usage(err);
    }
    ResourcePack pack;
    if (!pack.load(args.at(0))) {
        err << "kestrafon-pak: " << args.at(0) << ": " << pack.errorString() << "\n";
        return 1;
    }
    const QByteArray header = pack.header();
    out << "base name: " << pack.baseName() << "\n";
    out << "entries: " << pack.entries().size() << ", keys: " << pack.size() << "\n";
    out << "shift: " << quint8(header.at(resource_pack_format::kShiftOffset)) << " "
        << (header.at(resource_pack_format::kDirectionOffset) != 0 ? "subtract" : "add") << "\n";
    for (const ResourcePackEntry& entry : pack.entries()) {
        out << qSetFieldWidth(10) << entry.size << qSetFieldWidth(0) << "  " << entry.name;
        if (entry.key.isEmpty()) {
            out << "  (no key)";
        }
        out << "\n";
    }
    return 0;
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
