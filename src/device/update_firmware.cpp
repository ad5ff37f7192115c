#include "device/update_firmware.h"

#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QJsonObject>
#include <QMutexLocker>
#include <QThread>
#include <QtDebug>
#include <algorithm>

#include "crash/crash_signal.h"
#include "device/device_functions.h"
#include "device/firmware_image.h"
#include "device/usb_interface_api.h"

namespace fw = kf::device::firmware;

namespace {

const char16_t* wide(const QString& text) {
    return reinterpret_cast<const char16_t*>(text.utf16());
}

// Waits are slept in slices this long so that an interruption ends them soon.
constexpr qint64 kWaitSliceMicroseconds = 50 * 1000;

}  // namespace

update_firmware::update_firmware(QThread* thread, const QString& version, const QString& filePath,
                                 bool consumeFile)
    : version_(version), filePath_(filePath), consumeFile_(consumeFile) {
    bool valid = true;
    const QByteArray scale = qgetenv("KESTRAFON_WAIT_SCALE");
    waitScale_ = fw::waitScaleFrom(scale, &valid);
    if (!valid) {
        qWarning().noquote() << "KESTRAFON_WAIT_SCALE" << scale
                             << "is not a factor from 0 to 100; firmware update waits are not scaled";
    }
    if (thread) {
        moveToThread(thread);
        // First thing on the new thread: a stack for the crash handler, so an overflow is reported too.
        QObject::connect(thread, &QThread::started, thread, &kf::crash::installThreadStack,
                         Qt::DirectConnection);
        connect(thread, &QThread::started, this, &update_firmware::UpdateFirmware);
    }
}

void update_firmware::UpdateFirmware() {
    // 1. A binding of its own for the device calls, which enumerates once.
    // The device key and the path come from the page: the log quotes at most a few hundred
    // characters of them.
    qInfo().noquote() << "firmware update of" << version_.left(100);
    lastProgress_ = fw::kProgressStart;
    devices_handler binding;
    binding.enumerate();
    const kf::device::UsbInterfaceFunctions& f = binding.functions();

    // 2. The image, read whole and consumed.
    QString reason;
    fw::Image image;
    if (!readImage(&reason) || !fw::parseImage(image_, &image, &reason)) {
        fail(reason);
        return;
    }

    // 3. The device, from one copy of the device map.
    const QJsonObject device = DeviceFunctions::deviceMap().value(version_);
    if (device.isEmpty()) {
        fail(QStringLiteral("the device is not in the device list"));
        return;
    }
    const QString path = device.value(QStringLiteral("DevicePath")).toString();

    // 4. Into the boot loader.
    if (f.BootLoader && f.Reset) {
        QMutexLocker lock(&libraryCallLock());
        if (f.Reset(wide(path), kf::usb::kResetToBootLoader, 0) == 0) {
            qWarning().noquote()
                << "firmware update: the device did not confirm the switch to its boot loader";
        }
    }
    if (!wait(fw::kWaitAfterBootLoaderSwitch)) {
        return;
    }

    // 5. The boot-loader device; the buffer names it to the ROM calls.
    unsigned char loader[kf::usb::kBootLoaderBufferBytes] = {};
    {
        QMutexLocker lock(&libraryCallLock());
        if (!f.DeviceExist || f.DeviceExist(kf::usb::kBootLoaderVidPid, loader) == 0) {
            lock.unlock();
            fail(QStringLiteral("the boot-loader device did not appear"));
            return;
        }
    }
    progress(fw::kProgressBootLoader);

    // 6. Erase. The ROM calls' results are checked: a device that did not erase or did not
    //    accept the image must not be told to run it.
    {
        QMutexLocker lock(&libraryCallLock());
        if (!f.EraseRom || f.EraseRom(loader) == 0) {
            lock.unlock();
            fail(QStringLiteral(
                "the boot loader did not erase the firmware; the device stays in its boot loader"));
            return;
        }
    }
    progress(fw::kProgressErased);
    if (!wait(fw::kWaitAfterErase)) {
        return;
    }

    // 7. The data in blocks of 2000 bytes; the last block may be empty and is still sent.
    const QVector<fw::Block> blocks = fw::blockSchedule(image.data.size());
    for (int i = 0; i < blocks.size(); ++i) {
        unsigned char block[kf::usb::kDataBufferBytes] = {};
        const fw::Block& b = blocks.at(i);
        std::copy(image.data.constBegin() + b.offset, image.data.constBegin() + b.offset + b.length, block);
        int written = 0;
        if (f.WriteRom) {
            QMutexLocker lock(&libraryCallLock());
            written = f.WriteRom(loader, block, b.length, b.offset);
        }
        if (written != 1) {
            qWarning().noquote() << "firmware update: block" << i << "at" << b.offset << "was not written";
        }
        if (!wait(fw::kWaitAfterBlock)) {
            return;
        }
        progress(fw::blockProgress(i + 1, blocks.size()));
    }

    // 8. The device checks what it received against the image's check value.
    if (!wait(fw::kWaitBeforeCheck)) {
        return;
    }
    {
        QMutexLocker lock(&libraryCallLock());
        if (!f.CheckRom || f.CheckRom(loader, std::uint32_t(image.data.size()), image.checkValue) == 0) {
            lock.unlock();
            fail(QStringLiteral("the device rejected the image's check value; it stays in its boot loader"));
            return;
        }
    }
    progress(fw::kProgressChecked);
    if (!wait(fw::kWaitAfterCheck)) {
        return;
    }

    // 9. Finish; 10. stamp the version; 11. restart. The restart tells whether the device is
    //    back running its new firmware.
    if (f.FinishUpdateRom) {
        QMutexLocker lock(&libraryCallLock());
        if (f.FinishUpdateRom(loader) == 0) {
            qWarning().noquote() << "firmware update: the boot loader did not confirm the end of the update";
        }
    }
    progress(fw::kProgressFinished);
    if (!wait(fw::kWaitAfterFinish)) {
        return;
    }
    if (f.UpdateVersion) {
        QMutexLocker lock(&libraryCallLock());
        if (f.UpdateVersion(wide(path), 2, 17) == 0) {
            qWarning().noquote() << "firmware update: the device did not confirm its version stamp";
        }
    }
    progress(fw::kProgressStamped);
    if (!wait(fw::kWaitAfterVersion)) {
        return;
    }
    {
        QMutexLocker lock(&libraryCallLock());
        if (!f.Reset || f.Reset(wide(path), kf::usb::kResetRestart, 0) == 0) {
            lock.unlock();
            fail(QStringLiteral("the device did not restart after the update"));
            return;
        }
    }
    qInfo().noquote() << "firmware update of" << version_.left(100) << "done:" << image.data.size()
                      << "bytes in" << blocks.size() << "blocks";
    progress(fw::kProgressDone);
}

bool update_firmware::readImage(QString* reason) {
    const QFileInfo info(filePath_);
    if (filePath_.isEmpty() || !info.isFile()) {
        // Only a regular file is read: a device or a pipe would block the update or never end.
        *reason = QStringLiteral("no image file at \"%1\"").arg(filePath_);
        return false;
    }
    QFile file(filePath_);
    if (!file.open(QIODevice::ReadOnly)) {
        *reason = QStringLiteral("cannot read \"%1\": %2").arg(filePath_, file.errorString());
        return false;
    }
    // One byte more than an image may hold is enough to tell that the file is too large.
    image_ = file.read(fw::kImageBytes + 1);
    const bool readOk = file.error() == QFileDevice::NoError;
    file.close();
    if (consumeFile_ && !QFile::remove(filePath_)) {
        qWarning().noquote() << "firmware update: cannot delete the image file" << filePath_.left(300);
    }
    if (!readOk) {
        *reason = QStringLiteral("cannot read \"%1\"").arg(filePath_);
        return false;
    }
    return true;
}

bool update_firmware::wait(int ms) {
    QElapsedTimer timer;
    timer.start();
    const qint64 total = fw::scaledWaitMicroseconds(ms, waitScale_);
    QThread* self = QThread::currentThread();
    for (qint64 left = total; left > 0; left = total - timer.nsecsElapsed() / 1000) {
        if (self->isInterruptionRequested()) {
            break;
        }
        QThread::usleep(static_cast<unsigned long>(std::min(left, kWaitSliceMicroseconds)));
    }
    if (self->isInterruptionRequested()) {
        fail(QStringLiteral("interrupted because the client is closing"));
        return false;
    }
    return true;
}

void update_firmware::progress(int value) {
    // Only rising values: the page draws them as a progress bar.
    if (value <= lastProgress_) {
        return;
    }
    lastProgress_ = value;
    emit SigRefreshUpdateState(QString::number(value));
}

void update_firmware::fail(const QString& why) {
    qWarning().noquote() << "firmware update of" << version_.left(100) << "failed:" << why.left(400);
    emit SigRefreshUpdateState(QStringLiteral("-1"));
}
