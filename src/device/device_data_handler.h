#pragma once
// The device worker: writes button assignments on its own thread (queued from the dispatcher,
// one at a time in request order, each result reported back by SigcallbackReasult), and serves
// the direct requests the dispatcher makes on the GUI thread (restart, parameter code, serial
// number, key colours). The worker's lock keeps one request at a time on its colour frame and
// current device; the library calls themselves are serialised process-wide
// (devices_handler::libraryCallLock).
//
// Tray notifications of button writes leave through SigShowMessage, which the window connects
// to its balloon; the automatic connection delivers them on the GUI thread.
#include <QByteArray>
#include <QMutex>
#include <QObject>
#include <QString>
#include <QStringList>

#include "device/device_api.h"
#include "encoding/button_write.h"
#include "encoding/key_colours.h"

class DeviceFunctions;

class device_data_handler : public QObject, public kf::device::DeviceRequests {
    Q_OBJECT
public:
    explicit device_data_handler(QObject* parent = nullptr);
    ~device_data_handler() override;

    // DeviceRequests: the dispatcher's direct calls.
    bool restartDevice(const QString& key) override;
    bool writeDeviceCode(const QString& key, const QString& index, const QString& code,
                         const QString& length) override;
    bool writeDeviceProperty(const QString& key, const QString& index, const QString& payload) override;
    bool writeKeyColours(const QString& key, const QStringList& items) override;

    // Encodes one assignment with the registered driver table and writes it into the button's
    // slot; shows the outcome in the tray. False when the table cannot be loaded (no write, no
    // message), the assignment cannot be encoded ("设置失败") or the write fails.
    bool writeButtonAssignment(const kf::encoding::ButtonAssignment& request);

    // The device of the last button write.
    QString currentDevice() const;
    // The colour frame as last sent (or being prepared).
    QByteArray colourFrame() const;

    DeviceFunctions* deviceFunctions() const { return functions_; }

signals:
    void SigcallbackReasult(bool);
    void SigShowMessage(QString message);

public slots:
    // Runs on the worker thread: (Version, TaskIndex, Mode, Task, TaskType, PlayCount, PlayDelay,
    // PlayType) of one "CustomButton" request; emits SigcallbackReasult with the write's result.
    void slot_writeDevice(QString version, QString buttonIndex, QString base, QString command, QString type,
                          QString playCount, QString playDelay, QString playType);

private:
    mutable QMutex lock_;
    DeviceFunctions* functions_ = nullptr;  // child: moves to the worker thread with us
    kf::encoding::KeyColourFrame colours_;
    QString currentDevice_;
};
