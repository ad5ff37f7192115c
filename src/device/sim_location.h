#pragma once
// Where the device emulator (our libUsbInterface.so) keeps its state, shared by the library, the
// kestrafon-sim tool and the client's hot-plug watcher: KESTRAFON_SIM_DIR when set, else
// "kestrafon/sim" in the user's data folder ($XDG_DATA_HOME, else ~/.local/share).
//
// Inside it, "attached/" holds one empty file per plugged device (named by the device id), so
// plugging and unplugging are a file created or removed there.
#include <QDir>
#include <QString>
#include <QtGlobal>

namespace kf::usb {

inline QString simStateFolder() {
    const QString configured = qEnvironmentVariable("KESTRAFON_SIM_DIR");
    if (!configured.isEmpty()) {
        return QDir::cleanPath(QDir(configured).absolutePath());
    }
    QString data = qEnvironmentVariable("XDG_DATA_HOME");
    if (data.isEmpty() || !QDir::isAbsolutePath(data)) {
        data = QDir::homePath() + QStringLiteral("/.local/share");
    }
    return QDir::cleanPath(data + QStringLiteral("/kestrafon/sim"));
}

inline QString simAttachedFolder(const QString& stateFolder) {
    return stateFolder + QStringLiteral("/attached");
}

// Device ids name files in the state folder: letters, digits, "_", "-" and ".", at most 40
// characters, not starting with ".".
inline bool isValidSimDeviceId(const QString& id) {
    if (id.isEmpty() || id.size() > 40 || id.startsWith(QLatin1Char('.'))) {
        return false;
    }
    for (const QChar c : id) {
        const ushort u = c.unicode();
        const bool ok = (u >= 'a' && u <= 'z') || (u >= 'A' && u <= 'Z') || (u >= '0' && u <= '9') ||
                        u == '_' || u == '-' || u == '.';
        if (!ok) {
            return false;
        }
    }
    return true;
}

}  // namespace kf::usb
