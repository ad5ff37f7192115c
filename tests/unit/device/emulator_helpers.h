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

    // The path of the tools beside the client.
    static QString simTool();

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

}  // namespace kftest
