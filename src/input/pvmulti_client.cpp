#include "input/pvmulti_client.h"

#include <QMutexLocker>
#include <QtDebug>

#include <cstring>

namespace {

constexpr unsigned kUsagePage = 0xff00;

// The search's diagnostics, in the device tools' own words, go to the log at debug level: they
// are there when asked for (--log-severity=verbose) and never in the terminal the client was
// started from.
void print(const char* text) {
    qDebug().noquote() << QStringLiteral("virtual input device: %1").arg(QString::fromLatin1(text).trimmed());
}

void printCode(const char* format, int code) {
    print(QString::asprintf(format, code).toLatin1().constData());
}

void printSearch(unsigned usage) {
    print(QString::asprintf("....looking for our HID device (with UP=0x%x and Usage=0x%x)", kUsagePage, usage)
              .toLatin1()
              .constData());
}

}  // namespace

pvmulti_client::pvmulti_client(TransportFactory factory) : factory_(std::move(factory)) {}

pvmulti_client::~pvmulti_client() {
    disconnect();
}

bool pvmulti_client::connect() {
    QMutexLocker lock(&mutex_);
    if (transport_) {
        transport_->close();
        transport_.reset();
    }
    TransportList candidates = factory_ ? factory_() : TransportList();
    QStringList refused;
    printSearch(1u);
    for (auto& candidate : candidates) {
        const int error = candidate->openCollection(1);
        if (error == 0) {
            transport_ = std::move(candidate);
            break;
        }
        printCode("Error: CreateFile failed: %d\n", error);
        refused << QStringLiteral("%1: %2").arg(candidate->name(),
                                                QString::fromLocal8Bit(std::strerror(error)));
    }
    if (!transport_) {
        print("Failure: Could not find our HID device \n");
        qWarning().noquote()
            << QStringLiteral(
                   "virtual input device: none can be opened (%1); software macros cannot type "
                   "or click. See the README, \"Software key maps without root\".")
                   .arg(refused.join(QStringLiteral(", ")));
        return false;
    }
    print("Success: Found my device.. \n");
    printSearch(2u);
    const int error = transport_->openCollection(2);
    if (error != 0) {
        printCode("Error: CreateFile failed: %d\n", error);
        print("Failure: Could not find our HID device \n");
        transport_->close();
        transport_.reset();
        return false;
    }
    print("Success: Found my device.. \n");
    if (refused.isEmpty()) {
        qInfo().noquote() << QStringLiteral("virtual input device: open through %1").arg(transport_->name());
    } else {
        qInfo().noquote() << QStringLiteral("virtual input device: open through %1 (%2)")
                                 .arg(transport_->name(), refused.join(QStringLiteral(", ")));
    }
    return true;
}

void pvmulti_client::disconnect() {
    QMutexLocker lock(&mutex_);
    if (transport_) {
        transport_->close();
        transport_.reset();
    }
}

bool pvmulti_client::isConnected() const {
    QMutexLocker lock(&mutex_);
    return transport_ != nullptr;
}

QString pvmulti_client::transportName() const {
    QMutexLocker lock(&mutex_);
    return transport_ ? transport_->name() : QString();
}

QByteArray pvmulti_client::keyboardReport(quint8 modifiers, const quint8 (&keys)[6]) {
    QByteArray report(kReportSize, 0);
    report[0] = char(0x40);  // control report id
    report[1] = char(0x09);  // inner report length
    report[2] = char(0x07);  // keyboard report id
    report[3] = char(modifiers);
    for (int i = 0; i < 6; ++i) {
        report[5 + i] = char(keys[i]);
    }
    return report;
}

QByteArray pvmulti_client::mouseReport(quint8 buttons, qint8 dx, qint8 dy, qint8 wheel) {
    QByteArray report(kReportSize, 0);
    report[0] = char(0x40);
    report[1] = char(0x05);
    report[2] = char(0x04);  // relative mouse report id
    report[3] = char(buttons);
    report[4] = char(dx);
    report[5] = char(dy);
    report[6] = char(wheel);
    return report;
}

bool pvmulti_client::write(const QByteArray& report) {
    QMutexLocker lock(&mutex_);
    if (!transport_) {
        return false;
    }
    const int error =
        transport_->writeReport(reinterpret_cast<const quint8*>(report.constData()), int(report.size()));
    if (error != 0) {
        printCode("failed WriteFile %d\n", error);
        return false;
    }
    return true;
}

bool pvmulti_client::sendMouse(quint8 buttons, qint8 dx, qint8 dy, qint8 wheel) {
    return write(mouseReport(buttons, dx, dy, wheel));
}

bool pvmulti_client::sendKeyboard(quint8 modifiers, const quint8 (&keys)[6]) {
    return write(keyboardReport(modifiers, keys));
}

bool pvmulti_client::typeText(const QString& text) {
    QMutexLocker lock(&mutex_);
    return transport_ && transport_->typeText(text);
}

bool pvmulti_client::moveCursorTo(int x, int y) {
    QMutexLocker lock(&mutex_);
    return transport_ && transport_->moveCursorTo(x, y);
}
