#include "device/device_data_handler.h"

#include <QMutexLocker>
#include <QtDebug>

#include "device/device_functions.h"
#include "encoding/byte_tokens.h"
#include "encoding/device_code.h"
#include "encoding/driver_table.h"

using kf::encoding::ButtonAssignment;
using kf::encoding::ButtonWrite;

device_data_handler::device_data_handler(QObject* parent)
    : QObject(parent), functions_(new DeviceFunctions(this)) {}

device_data_handler::~device_data_handler() = default;

bool device_data_handler::restartDevice(const QString& key) {
    QMutexLocker lock(&lock_);
    return functions_->restartDevice(key);
}

bool device_data_handler::writeDeviceCode(const QString& key, const QString& index, const QString& code,
                                          const QString& length) {
    // The profile's value becomes a code string of `length` tokens (a six-digit colour, a DPI
    // stage); a value that cannot be one is not written at all.
    QString prepared;
    if (!kf::encoding::deviceCodeForWrite(code, length, &prepared)) {
        // The page's texts, cut: a long one must not flood the log.
        qWarning().noquote() << "WriteDeviceMultimedia: cannot write" << code.left(200) << "with length"
                             << length.left(20);
        return false;
    }
    QMutexLocker lock(&lock_);
    return functions_->writeParameter(key, index, prepared, length);
}

bool device_data_handler::writeDeviceProperty(const QString& key, const QString& index,
                                              const QString& payload) {
    QMutexLocker lock(&lock_);
    return functions_->writeDeviceProperty(key, index, payload);
}

bool device_data_handler::writeKeyColours(const QString& key, const QStringList& items) {
    QMutexLocker lock(&lock_);
    colours_.apply(items);
    return functions_->sendColourFrame(key, colours_.buffer());
}

bool device_data_handler::writeButtonAssignment(const ButtonAssignment& request) {
    QMutexLocker lock(&lock_);
    currentDevice_ = request.device;
    kf::encoding::DriverTable table;
    if (!kf::encoding::loadDriverTable(&table)) {
        qWarning().noquote() << "button write: the driver table D2.0 is not available";
        return false;
    }
    const ButtonWrite plan = kf::encoding::planButtonWrite(table, request);
    bool written = false;
    if (plan.action != ButtonWrite::Action::Reject) {
        if (plan.action == ButtonWrite::Action::Write) {
            // The head of the assignment code, behind the 11-byte play header.
            qDebug().noquote() << kf::encoding::codeTokens(plan.data).mid(11).join(QLatin1Char(',')).left(4);
        }
        written = functions_->writeParameter(request.device, request.taskIndex, plan.data, plan.size);
    }
    const QString message = kf::encoding::buttonWriteMessage(request, plan.action, written);
    lock.unlock();
    emit SigShowMessage(message);
    return written;
}

QString device_data_handler::currentDevice() const {
    QMutexLocker lock(&lock_);
    return currentDevice_;
}

QByteArray device_data_handler::colourFrame() const {
    QMutexLocker lock(&lock_);
    return colours_.buffer();
}

void device_data_handler::slot_writeDevice(QString version, QString buttonIndex, QString base,
                                           QString command, QString type, QString playCount,
                                           QString playDelay, QString playType) {
    ButtonAssignment request;
    request.device = version;
    request.taskIndex = buttonIndex;
    request.mode = base;
    request.command = command;
    request.type = type;
    request.playCount = playCount;
    request.playDelay = playDelay;
    request.playType = playType;
    emit SigcallbackReasult(writeButtonAssignment(request));
}
