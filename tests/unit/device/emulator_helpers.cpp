#include "emulator_helpers.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>
#include <QProcess>

#include "device/device_functions.h"
#include "device/devices_handler.h"
#include "support/test_paths.h"

namespace kftest {

EmulatorSandbox::EmulatorSandbox(const QJsonArray& devices, const QJsonObject& extra) {
    simDir_ = dir_.path() + "/sim";
    qputenv("KESTRAFON_SIM_DIR", QFile::encodeName(simDir_));
    if (devices.isEmpty()) {
        qunsetenv("KESTRAFON_DEVICES");
    } else {
        QJsonObject root = extra;
        root.insert("devices", devices);
        devicesFile_ = dir_.path() + "/devices.json";
        QFile file(devicesFile_);
        file.open(QIODevice::WriteOnly);
        file.write(QJsonDocument(root).toJson());
        file.close();
        qputenv("KESTRAFON_DEVICES", QFile::encodeName(devicesFile_));
    }
    devices_handler::setLibraryFolder(appDir());
    DeviceFunctions::clearDeviceMap();
}

EmulatorSandbox::~EmulatorSandbox() {
    qunsetenv("KESTRAFON_SIM_DIR");
    qunsetenv("KESTRAFON_DEVICES");
    DeviceFunctions::clearDeviceMap();
}

QList<QJsonObject> EmulatorSandbox::journal() const {
    QList<QJsonObject> lines;
    QFile file(simDir_ + "/journal.jsonl");
    if (!file.open(QIODevice::ReadOnly)) {
        return lines;
    }
    for (const QByteArray& line : file.readAll().split('\n')) {
        if (!line.isEmpty()) {
            lines.append(QJsonDocument::fromJson(line).object());
        }
    }
    return lines;
}

QList<QJsonObject> EmulatorSandbox::calls(const QString& function) const {
    QList<QJsonObject> result;
    for (const QJsonObject& line : journal()) {
        if (line.value("function").toString() == function) {
            result.append(line);
        }
    }
    return result;
}

void EmulatorSandbox::clearJournal() const {
    QFile::remove(simDir_ + "/journal.jsonl");
}

QJsonObject EmulatorSandbox::state(const QString& id) const {
    QFile file(simDir_ + "/state/" + id + ".json");
    return file.open(QIODevice::ReadOnly) ? QJsonDocument::fromJson(file.readAll()).object() : QJsonObject();
}

QStringList EmulatorSandbox::functionsCalled() const {
    QStringList names;
    for (const QJsonObject& call : journal()) {
        names << call.value("function").toString();
    }
    return names;
}

QString EmulatorSandbox::sim(const QStringList& args) {
    QProcess sim;
    sim.start(simTool(), args);
    sim.waitForFinished();
    return QString::fromUtf8(sim.readAllStandardOutput());
}

QString EmulatorSandbox::simTool() {
    return appDir() + "/kestrafon-sim";
}

QJsonObject simDevice(const QString& id, const QString& firmware, const QString& serial,
                      const QString& kind) {
    QJsonObject o{{"id", id}, {"firmware", firmware}, {"kind", kind}};
    if (!serial.isEmpty()) {
        o.insert("serial", serial);
    }
    return o;
}

QString hexOf(std::initializer_list<int> bytes) {
    QByteArray raw;
    for (int b : bytes) {
        raw.append(static_cast<char>(b));
    }
    return QString::fromLatin1(raw.toHex());
}

bool writeBytes(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray firmwareData(const QByteArray& version, int length) {
    QByteArray data = version;
    while (data.size() < length) {
        data.append(char(data.size() * 7 % 251));
    }
    return data.left(length);
}

quint32 byteSum(const QByteArray& data) {
    quint32 sum = 0;
    for (char c : data) {
        sum += static_cast<unsigned char>(c);
    }
    return sum;
}

QByteArray firmwareFile(const QByteArray& data, quint32 check, int fileSize, quint32 second, qint64 length) {
    QByteArray file(qMax(fileSize, 66155), '\0');
    const auto put = [&file](int offset, quint64 value, int bytes) {
        for (int i = 0; i < bytes; ++i) {
            file[offset + i] = char((value >> (8 * i)) & 0xFF);
        }
    };
    put(0, 0x1016, 4);
    put(4, second, 4);
    file.replace(264, data.size(), data);
    put(66143, quint64(length < 0 ? data.size() : length), 8);
    put(66151, check, 4);
    file.resize(fileSize);
    return file;
}

}  // namespace kftest
