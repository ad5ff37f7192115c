#pragma once
// A private device emulator for one test: its own state folder and device file (through
// KESTRAFON_SIM_DIR and KESTRAFON_DEVICES), the library loaded from the build's application
// folder, no device list yet, and readers for what the emulator recorded.
#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QList>
#include <QString>
#include <QTemporaryDir>

namespace kftest {

class EmulatorSandbox {
public:
    // `devices`: the device file's "devices" array; empty uses the built-in demo devices.
    explicit EmulatorSandbox(const QJsonArray& devices = QJsonArray(),
                             const QJsonObject& extra = QJsonObject());
    ~EmulatorSandbox();

    QString stateFolder() const { return simDir_; }
    QString devicesFile() const { return devicesFile_; }

    // Every journal line, parsed; and those of one function.
    QList<QJsonObject> journal() const;
    QList<QJsonObject> calls(const QString& function) const;
    void clearJournal() const;

    // The device's state file (empty before its first change).
    QJsonObject state(const QString& id) const;
    // The functions called, in order.
    QStringList functionsCalled() const;

    // The path of the tools beside the client, and what a `kestrafon-sim` command prints.
    static QString simTool();
    static QString sim(const QStringList& args);

private:
    QTemporaryDir dir_;
    QString simDir_;
    QString devicesFile_;
};

// A device of the device file with the default collections of kind `kind`.
QJsonObject simDevice(const QString& id, const QString& firmware, const QString& serial = QString(),
                      const QString& kind = QStringLiteral("mouse"));

// The lower-case hexadecimal of a list of bytes.
QString hexOf(std::initializer_list<int> bytes);

// Writes `bytes` to `path`; false when that fails.
bool writeBytes(const QString& path, const QByteArray& bytes);

// Firmware data of `length` bytes starting with the version text the emulated device reports
// once it runs it, and the sum of its bytes (the check value the emulated boot loader wants).
QByteArray firmwareData(const QByteArray& version, int length);
quint32 byteSum(const QByteArray& data);
// A firmware image file: type 0x1016, `second` as its second word, the data at 264, the length
// (`length`, else the data's) at 66143 and the check value at 66151, cut to `fileSize` bytes.
QByteArray firmwareFile(const QByteArray& data, quint32 check, int fileSize = 67200, quint32 second = 0,
                        qint64 length = -1);

}  // namespace kftest
