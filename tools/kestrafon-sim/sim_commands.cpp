#include "sim_commands.h"

#include <QFile>
#include <QThread>

#include <csignal>

#include "device/sim_location.h"
#include "sim_catalog.h"
#include "sim_state.h"

namespace kf::usbsim {

namespace {

volatile std::sig_atomic_t g_stopFollowing = 0;

void stopFollowing(int) {
    g_stopFollowing = 1;
}

QString hex4(quint32 v) {
    return QStringLiteral("%1").arg(v, 4, 16, QLatin1Char('0'));
}

// "01 02 ff ..." in rows of 32 bytes, each row indented.
QString hexRows(const QByteArray& bytes) {
    QString text;
    for (int i = 0; i < bytes.size(); i += 32) {
        text += QStringLiteral("    ") + QString::fromLatin1(bytes.mid(i, 32).toHex(' ')) + QLatin1Char('\n');
    }
    return text;
}

struct Context {
    QTextStream& out;
    QTextStream& err;
    SimCatalog catalog;
    SimState state;
};

const SimDevice* knownDevice(Context& c, const QString& id) {
    const SimDevice* d = c.catalog.find(id);
    if (!d) {
        QStringList known;
        for (const SimDevice& device : c.catalog.devices) {
            known << device.id;
        }
        c.err << "kestrafon-sim: unknown device \"" << id << "\" (known: "
              << (known.isEmpty() ? QStringLiteral("none") : known.join(QStringLiteral(", "))) << ")\n";
    }
    return d;
}

int list(Context& c) {
    for (const SimDevice& d : c.catalog.devices) {
        const DeviceState s = c.state.load(d);
        c.out << d.id << '\t' << (c.state.isAttached(d.id) ? "plugged" : "unplugged") << '\t'
              << hex4(d.vendorId) << ':' << hex4(d.productId) << '\t' << QString::fromUtf8(s.firmware) << '\t'
              << QString::fromUtf8(s.serial) << '\t' << d.name << (s.bootLoader ? "\t(boot loader)" : "")
              << '\n';
    }
    return 0;
}

int plug(Context& c, const QString& id, bool attach) {
    if (!knownDevice(c, id)) {
        return 1;
    }
    if (!c.state.setAttached(id, attach)) {
        c.err << "kestrafon-sim: cannot change " << kf::usb::simAttachedFolder(c.state.folder()) << '\n';
        return 1;
    }
    c.out << (attach ? "plugged " : "unplugged ") << id << '\n';
    return 0;
}

int showSlots(Context& c, const QString& id) {
    const SimDevice* d = knownDevice(c, id);
    if (!d) {
        return 1;
    }
    const DeviceState s = c.state.load(*d);
    c.out << "device " << d->id << (c.state.isAttached(d->id) ? " (plugged)" : " (unplugged)") << '\n'
          << "firmware " << QString::fromUtf8(s.firmware) << '\n'
          << "serial " << QString::fromUtf8(s.serial) << '\n'
          << "boot loader " << (s.bootLoader ? "yes" : "no") << '\n'
          << "restarts " << s.restarts << '\n'
          << "firmware updates " << s.firmwareUpdates << '\n';
    for (auto it = s.parameterSlots.constBegin(); it != s.parameterSlots.constEnd(); ++it) {
        c.out << "slot " << it.key() << " (" << it.value().size() << " bytes)\n" << hexRows(it.value());
    }
    for (auto it = s.properties.constBegin(); it != s.properties.constEnd(); ++it) {
        c.out << "property " << it.key() << " (" << it.value().size() << " bytes)\n" << hexRows(it.value());
    }
    if (!s.colourFrame.isEmpty()) {
        c.out << "colour frame (" << s.colourFrame.size() << " bytes)\n" << hexRows(s.colourFrame);
    }
    return 0;
}

int journal(Context& c, bool follow) {
    QFile file(c.state.journalPath());
    qint64 position = 0;
    for (;;) {
        if (file.open(QIODevice::ReadOnly)) {
            if (file.size() < position) {
                position = 0;  // the journal was reset
            }
            file.seek(position);
            const QByteArray bytes = file.readAll();
            // Only whole lines; a line being written is read on the next round.
            const int end = bytes.lastIndexOf('\n') + 1;
            c.out << QString::fromUtf8(bytes.left(end));
            c.out.flush();
            position += end;
            file.close();
        } else if (!follow) {
            return 0;  // no call yet
        }
        if (!follow || g_stopFollowing) {
            return 0;
        }
        QThread::msleep(200);
    }
}

int reset(Context& c) {
    if (!c.state.reset(c.catalog)) {
        c.err << "kestrafon-sim: cannot reset " << c.state.folder() << '\n';
        return 1;
    }
    c.out << "reset " << c.state.folder() << '\n';
    return 0;
}

}  // namespace

QString simUsage() {
    return QStringLiteral(
        "usage: kestrafon-sim COMMAND\n"
        "  list          the emulated devices: id, plugged or not, vid:pid, firmware, serial, name\n"
        "  plug ID       attach a device (a running client sees it arrive)\n"
        "  unplug ID     detach a device\n"
        "  slots ID      what the device holds: parameter slots, properties, the last colour frame\n"
        "  journal [-f]  every call the client made to the library; -f keeps following\n"
        "  reset         forget all device state and the journal; plug the devices marked attached\n"
        "The state folder is KESTRAFON_SIM_DIR (default ~/.local/share/kestrafon/sim); the devices\n"
        "come from KESTRAFON_DEVICES, else from the list the client last used, else the demo devices.\n");
}

int runSimCommand(const QStringList& args, QTextStream& out, QTextStream& err) {
    const QString command = args.value(0);
    const int operands = args.size() - 1;
    const bool needsId = command == QLatin1String("plug") || command == QLatin1String("unplug") ||
                         command == QLatin1String("slots");
    const bool known = needsId || command == QLatin1String("list") || command == QLatin1String("journal") ||
                       command == QLatin1String("reset");
    const bool follow =
        command == QLatin1String("journal") && operands == 1 && args.at(1) == QLatin1String("-f");
    if (!known || (needsId && operands != 1) || (!needsId && operands != (follow ? 1 : 0))) {
        err << simUsage();
        return 2;
    }
    const QString folder = kf::usb::simStateFolder();
    QString error;
    Context c{out, err, loadCatalog(folder, true, &error), SimState(folder)};
    if (!error.isEmpty()) {
        err << "kestrafon-sim: " << error << '\n';
        return 1;
    }
    if (!c.state.ensureInitialized(c.catalog)) {
        err << "kestrafon-sim: cannot use the state folder " << folder << '\n';
        return 1;
    }
    if (command == QLatin1String("list")) {
        return list(c);
    }
    if (command == QLatin1String("plug") || command == QLatin1String("unplug")) {
        return plug(c, args.at(1), command == QLatin1String("plug"));
    }
    if (command == QLatin1String("slots")) {
        return showSlots(c, args.at(1));
    }
    if (command == QLatin1String("journal")) {
        if (follow) {
            std::signal(SIGINT, stopFollowing);
            std::signal(SIGTERM, stopFollowing);
        }
        return journal(c, follow);
    }
    return reset(c);
}

}  // namespace kf::usbsim
