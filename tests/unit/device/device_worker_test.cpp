// The device worker: button assignments, profile values, key colours and restarts written
// through the emulated library, checked on the bytes it recorded; the worker thread keeping
// request order; tray messages arriving on the GUI thread.
#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QThread>

#include <csignal>

#include "crash/crash_signal.h"

#include "device/device_data_handler.h"
#include "device/device_functions.h"
#include "device/device_layer.h"
#include "emulator_helpers.h"
#include "encoding/driver_table.h"
#include "encoding/key_matrix.h"

using kf::encoding::ButtonAssignment;
using kftest::EmulatorSandbox;
using kftest::simDevice;

namespace {

const QString kMouse = "QZK-ZMC-V1.1.0";
const QString kKeyboard = "QZK-ZKC-V1.1.0";

ButtonAssignment assignment(const QString& device, const QString& index, const QString& type,
                            const QString& command, const QString& playType = "1",
                            const QString& playCount = "1", const QString& mode = "0") {
    ButtonAssignment a;
    a.device = device;
    a.taskIndex = index;
    a.mode = mode;
    a.command = command;
    a.type = type;
    a.playCount = playCount;
    a.playDelay = "100";
    a.playType = playType;
    return a;
}

// Emits the eight texts as the dispatcher's SigWriteDevice does.
class Dispatcher : public QObject {
    Q_OBJECT
signals:
    void SigWriteDevice(QString, QString, QString, QString, QString, QString, QString, QString);
};

}  // namespace

class DeviceWorker : public ::testing::Test {
protected:
    EmulatorSandbox sandbox{QJsonArray{simDevice("ms", "QZK-ZMC-V1.1.0_01"),
                                       simDevice("kb", "QZK-ZKC-V1.1.0_01", "", "keyboard")}};
    device_data_handler worker;
    QStringList messages;

    void SetUp() override {
        ASSERT_TRUE(kf::encoding::registerDriverTable(":/drive/D2.0"));
        QObject::connect(&worker, &device_data_handler::SigShowMessage,
                         [this](const QString& m) { messages << m; });
        ASSERT_EQ(worker.deviceFunctions()->buildDeviceList().size(), 2);
        sandbox.clearJournal();
    }

    // The data of every parameter write, "index:hex".
    QStringList writes() const {
        QStringList out;
        for (const QJsonObject& call : sandbox.calls("dcWriteProperty")) {
            const QJsonObject args = call.value("args").toObject();
            out << QString::number(args.value("index").toInt()) + ":" + args.value("data").toString();
        }
        return out;
    }
};

TEST_F(DeviceWorker, MouseFunctionGetsAnEmptyPlayHeaderWhateverThePlaySettings) {
    EXPECT_TRUE(worker.writeButtonAssignment(assignment(kMouse, "11", "Mouse", "单击左键()", "3", "9")));
    EXPECT_EQ(writes(), QStringList{"11:010000000000000000000001010000"});
    EXPECT_EQ(messages, QStringList{"设置成功:请按住循环执行,松开停止,循环延迟时间（100）毫秒"});
    EXPECT_EQ(worker.currentDevice(), kMouse);
}

TEST_F(DeviceWorker, ChordCarriesPlayTypeAndCount) {
    EXPECT_TRUE(worker.writeButtonAssignment(assignment(kMouse, "12", "Keyboard", "Ctrl+C", "1", "3")));
    EXPECT_EQ(writes(), QStringList{"12:010103000000000000000002010600"});
    EXPECT_EQ(messages, QStringList{"设置成功:请点击执行,命令会执行（3）次"});
}

TEST_F(DeviceWorker, MacroGetsItsBlockHeaderBehindThePlayHeader) {
    EXPECT_TRUE(worker.writeButtonAssignment(
        assignment(kMouse, "11", "Macro", "键盘按下(a)延迟(1000)键盘弹起(a)", "2", "1", "0")));
    EXPECT_EQ(writes(), QStringList{"11:010201000000000000000004640900840400" + QString("06e803040400")});
    EXPECT_EQ(messages, QStringList{"设置成功:请按下弹起执行,命令会执行（1）次"});
}

TEST_F(DeviceWorker, EmptyAssignmentClearsTheSlot) {
    EXPECT_TRUE(worker.writeButtonAssignment(assignment(kMouse, "13", "Mouse", "")));
    EXPECT_EQ(writes(), QStringList{"13:" + QString(30, '0')});
    EXPECT_EQ(messages, QStringList{"清除成功!"});
    EXPECT_FALSE(worker.writeButtonAssignment(assignment("QZK-UNKNOWN", "13", "Mouse", "")));
    EXPECT_EQ(messages.last(), "清除失败!");
}

TEST_F(DeviceWorker, FailedOrRefusedAssignmentsReportFailure) {
    EXPECT_FALSE(worker.writeButtonAssignment(assignment("QZK-UNKNOWN", "11", "Mouse", "单击左键()")));
    EXPECT_EQ(messages.last(), "设置失败");
    // A DPI setting without its three fields cannot be encoded: nothing is written.
    EXPECT_FALSE(worker.writeButtonAssignment(assignment(kMouse, "16", "DPI", "1|800")));
    EXPECT_EQ(messages.last(), "设置失败");
    EXPECT_TRUE(writes().isEmpty());
    // A parameter index that is not a byte is refused rather than written to another slot.
    EXPECT_FALSE(worker.writeButtonAssignment(assignment(kMouse, "267", "Mouse", "单击左键()")));
    EXPECT_TRUE(writes().isEmpty());
}

TEST_F(DeviceWorker, ProfileValuesBecomeTheirDeviceBytes) {
    EXPECT_TRUE(worker.writeDeviceCode(kMouse, "57", "2EABF3", "3"));
    EXPECT_TRUE(worker.writeDeviceCode(kMouse, "45", "2000", "5"));
    EXPECT_TRUE(worker.writeDeviceCode(kKeyboard, "166", "CD00E9", "3"));
    EXPECT_TRUE(worker.writeDeviceCode(kMouse, "91", "2", "1"));
    EXPECT_FALSE(worker.writeDeviceCode(kMouse, "91", "1,2", "3"));   // count differs: not sent
    EXPECT_FALSE(worker.writeDeviceCode(kMouse, "91", "1,zz", "2"));  // not byte tokens: not sent
    EXPECT_FALSE(worker.writeDeviceCode("QZK-UNKNOWN", "91", "2", "1"));
    EXPECT_EQ(writes(), (QStringList{"57:2eabf3", "45:0128002800", "166:cd00e9", "91:02"}));
    EXPECT_TRUE(messages.isEmpty());  // no tray message for direct writes
}

TEST_F(DeviceWorker, KeyColoursLightKeysAndTurnThePreviousOnesOff) {
    EXPECT_TRUE(worker.writeKeyColours(kKeyboard, {"FN#00FF00"}));
    const int fn = 8 + 3 * 115;
    auto frames = sandbox.calls("dcNotifyRGBDevice");
    ASSERT_EQ(frames.size(), 1);
    QByteArray frame =
        QByteArray::fromHex(frames[0].value("args").toObject().value("data").toString().toLatin1());
    ASSERT_EQ(frame.size(), 1024);
    EXPECT_EQ(frame.left(8).toHex(), "0502bbaa0700f801");
    EXPECT_EQ(frame.mid(fn, 3).toHex(), "00ff00");

    EXPECT_TRUE(worker.writeKeyColours(kKeyboard, {"ESC#FF0000", "bogus", "NOSUCHKEY#FFFFFF"}));
    frames = sandbox.calls("dcNotifyRGBDevice");
    frame = QByteArray::fromHex(frames.last().value("args").toObject().value("data").toString().toLatin1());
    const int esc = 8 + 3 * kf::encoding::matrixIndex("ESC");
    EXPECT_EQ(frame.mid(fn, 3).toHex(), "000000");
    EXPECT_EQ(frame.mid(esc, 3).toHex(), "ff0000");
    EXPECT_EQ(worker.colourFrame(), frame);
    // An unknown device gets nothing, but the frame still follows the request.
    EXPECT_FALSE(worker.writeKeyColours("QZK-UNKNOWN", {}));
    EXPECT_EQ(worker.colourFrame().mid(esc, 3).toHex(), "000000");
}

TEST_F(DeviceWorker, SerialNumberAndRestart) {
    EXPECT_TRUE(worker.writeDeviceProperty(kMouse, "3", "KF-0042"));
    EXPECT_TRUE(worker.restartDevice(kMouse));
    EXPECT_FALSE(worker.restartDevice("QZK-UNKNOWN"));
    EXPECT_EQ(sandbox.calls("dcWriteDeviceProperty").size(), 1);
    EXPECT_EQ(sandbox.calls("Reset").size(), 1);
}

TEST(DeviceWorkerThread, HasAnAlternateSignalStackForTheCrashHandler) {
    kf::device::DeviceLayer layer;
    stack_t stack{};
    stack.ss_flags = SS_DISABLE;
    QMetaObject::invokeMethod(
        layer.worker(), [&] { sigaltstack(nullptr, &stack); }, Qt::BlockingQueuedConnection);
    EXPECT_FALSE(stack.ss_flags & SS_DISABLE);
    EXPECT_GE(stack.ss_size, kf::crash::kThreadStackSize);
}

TEST(DeviceWorkerThread, QueuedWritesAnswerInRequestOrderAndMessagesReachTheGuiThread) {
    QJsonObject mouse = simDevice("ms", "QZK-ZMC-V1.1.0_01");
    mouse.insert("failWrites", QJsonArray{12});
    EmulatorSandbox sandbox(QJsonArray{mouse});
    kf::device::DeviceLayer layer;
    ASSERT_NE(layer.workerThread(), QThread::currentThread());
    ASSERT_EQ(layer.deviceFunctions()->buildDeviceList().size(), 1);

    Dispatcher dispatcher;
    QObject::connect(&dispatcher, &Dispatcher::SigWriteDevice, layer.worker(),
                     &device_data_handler::slot_writeDevice);
    QList<bool> results;
    QObject receiver;
    QObject::connect(layer.worker(), &device_data_handler::SigcallbackReasult, &receiver,
                     [&](bool ok) { results << ok; });
    QStringList messages;
    QList<bool> onGuiThread;
    QObject::connect(layer.worker(), &device_data_handler::SigShowMessage, &receiver, [&](const QString& m) {
        messages << m;
        onGuiThread << (QThread::currentThread() == receiver.thread());
    });
    for (const char* index : {"11", "12", "13"}) {
        emit dispatcher.SigWriteDevice(kMouse, index, "0", "单击左键()", "Mouse", "1", "0", "1");
    }
    // Direct requests from this thread meanwhile share the worker's lock.
    for (int i = 0; i < 20; ++i) {
        EXPECT_TRUE(layer.worker()->writeDeviceCode(kMouse, "91", QString::number(i % 4), "1"));
    }
    QElapsedTimer waited;
    waited.start();
    while (results.size() < 3 && waited.elapsed() < 30000) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    }
    EXPECT_EQ(results, (QList<bool>{true, false, true}));
    EXPECT_EQ(messages.size(), 3);
    EXPECT_EQ(messages.at(1), "设置失败");
    EXPECT_EQ(onGuiThread, (QList<bool>{true, true, true}));
    // Every call was journaled whole.
    const auto journal = sandbox.journal();
    for (const QJsonObject& line : journal) {
        EXPECT_TRUE(line.contains("function") && line.contains("result"));
    }
    EXPECT_EQ(sandbox.calls("dcWriteProperty").size(), 23);
}

#include "device_worker_test.moc"
