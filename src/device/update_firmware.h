#pragma once
// One firmware update: switches the device to its boot loader, finds the boot-loader device,
// erases it, writes the image in blocks, has the device check it, finishes, stamps the version
// and restarts the device, with fixed waits between the steps. Each update runs on a thread of
// its own (the constructor moves the object there and starts the update when the thread
// starts). Progress and the outcome leave through SigRefreshUpdateState, which the window
// forwards to the page as "RefreshUpdateState": rising values within 5..99 while the work goes
// on, "100" when the device is back with its new firmware, "-1" on any failure.
//
// The waits add up to 31 s plus 20 ms a block; KESTRAFON_WAIT_SCALE scales them (tests run an
// update in milliseconds). Asking the thread for interruption (QThread::requestInterruption)
// ends the update at its next wait with "-1".
#include <QByteArray>
#include <QString>

#include "device/devices_handler.h"

class QThread;

class update_firmware : public devices_handler {
    Q_OBJECT
public:
    // `consumeFile`: delete the image file once it has been read (whether or not it is valid).
    // The window asks for it for images the browser downloaded into the update folder; a file
    // the user keeps elsewhere is left where it is.
    update_firmware(QThread* thread, const QString& version, const QString& filePath,
                    bool consumeFile = true);

    QString version() const { return version_; }
    QString filePath() const { return filePath_; }

signals:
    void SigRefreshUpdateState(const QString& value);

public slots:
    void UpdateFirmware();

private:
    bool readImage(QString* reason);
    bool wait(int ms);
    void progress(int value);
    void fail(const QString& why);

    QByteArray image_;
    QString version_;
    QString filePath_;
    bool consumeFile_ = true;
    double waitScale_ = 1.0;
    int lastProgress_ = 0;
};
