// Random device requests as a page could send them, straight into the device worker and down
// to the emulated library, while the devices are unplugged and plugged again: nothing crashes
// or reads out of bounds (the sanitizer build checks), every successful parameter write carries
// exactly the stated number of bytes, and nothing is written for a device that was never
// listed. Deeply nested and 1 MB arguments come in between; no request may raise the peak
// memory by more than 256 MiB, and the slowest request is reported. Fixed seed, fixed number of
// requests.
#include <gtest/gtest.h>
#include <QFile>
#include <QJsonArray>
#include <QRandomGenerator>

#include "device/device_data_handler.h"
#include "device/device_functions.h"
#include "emulator_helpers.h"
#include "encoding/driver_table.h"
#include "support/request_cost.h"

using kftest::EmulatorSandbox;

namespace {

class Texts {
public:
    explicit Texts(quint32 seed) : random_(seed) {}

    int below(int n) { return int(random_.bounded(n)); }

    QString pick(const QStringList& list) { return list.at(below(list.size())); }

    // Plausible values, edge values and noise; now and then a deeply nested or 1 MB text.
    QString any() {
        switch (below(7)) {
            case 6:
                return below(20) ? pick({"", "1"}) : heavy();
            case 0:
                return pick({"", "0", "1", "3", "5", "15", "255", "256", "-1", "2048", "2049", "99999999999",
                             "0x10", " 7 ", "1.5", "abc"});
            case 1:
                return pick({"CD00E9", "2EABF3", "2000", "0x01,2,,ff", "1,2,3", ",", ",,,,", "zz,1", "0x100",
                             "1|800|1600", "1|800", "|||", "单击左键()", "Ctrl+C", "Shift+Enter", "Foo+Bar"});
            case 2:
                return pick({"键盘按下(a)延迟(1000)键盘弹起(a)", "鼠标按下(ctrl)", "相对定位XY(10,-5)",
                             "绝对定位XY(70000,-3)", "延迟(999999)", "(((", ")))", "键盘按下()",
                             "上滚动(1)"});
            case 3: {
                QString s;
                const int n = below(40);
                for (int i = 0; i < n; ++i) {
                    s.append(QChar(ushort(below(0x3000) + 1)));
                }
                return s;
            }
            case 4:
                return QString("1,").repeated(below(2100)) + "1";
            default:
                return pick(
                    {"FN#00FF00", "ESC#FF0000", "#", "A#", "A#1", "NOSUCH#FFFFFF", "a#b#c", "SPACE#zzzzzz"});
        }
    }

    QString heavy() {
        switch (below(5)) {
            case 0:
                return QString("1,").repeated(512 * 1024);
            case 1:
                return QString("键盘按下(a)").repeated(128 * 1024);
            case 2:
                return QString(100000, '(') + "a" + QString(100000, ')');
            case 3:
                return QString("Ctrl+").repeated(200000) + "C";
            default:
                return QString(1024 * 1024, QChar(ushort(below(0x3000) + 1)));
        }
    }

    // A parameter index: mostly a slot of the profiles, sometimes anything.
    QString index() { return below(4) ? QString::number(11 + below(50)) : any(); }

    bool often() { return below(3) != 0; }

private:
    QRandomGenerator random_;
};

}  // namespace

TEST(DeviceFuzz, RandomRequestsStayWithinTheirBounds) {
    EmulatorSandbox sandbox(QJsonArray{kftest::simDevice("ms", "QZK-ZMC-V1.1.0_01"),
                                       kftest::simDevice("kb", "QZK-ZKC-V1.1.0_01", "", "keyboard")});
    ASSERT_TRUE(kf::encoding::registerDriverTable(":/drive/D2.0"));
    device_data_handler worker;
    ASSERT_EQ(worker.deviceFunctions()->buildDeviceList().size(), 2);
    const QStringList versions = {"QZK-ZMC-V1.1.0", "QZK-ZKC-V1.1.0", "QZK-NOT-LISTED", ""};
    const QStringList types = {"Mouse",      "MACROFUN", "Keyboard", "HOTKEY", "Macro",
                               "multimedia", "DPI",      "other",    ""};
    Texts t(20240611);
    const kftest::QuietLog log;
    kftest::WorstRequests worst;
    const QStringList ids = {"ms", "kb"};
    for (int i = 0; i < 1500; ++i) {
        if (i % 40 == 39) {
            // Unplug or plug a device again; now and then the list is read anew.
            const QString attached = sandbox.stateFolder() + "/attached/" + t.pick(ids);
            QFile::exists(attached) ? QFile::remove(attached) : QFile(attached).open(QIODevice::WriteOnly);
            if (t.below(3) == 0) {
                worker.deviceFunctions()->buildDeviceList();
            }
        }
        const QString version = t.pick(versions);
        const int kind = t.below(5);
        static const char* const kinds[] = {"device code", "property", "key colours", "restart", "button"};
        QString what = kinds[kind];
        const kftest::RequestMeter meter;
        switch (kind) {
            case 0: {
                static const QList<QPair<QString, QString>> valid = {
                    {"CD00E9", "3"}, {"2000", "5"}, {"1,2,3", "3"}, {"7", "1"}, {"0x01,0x02", "2"}};
                const auto pair = valid.at(t.below(valid.size()));
                if (t.often()) {
                    worker.writeDeviceCode(version, t.index(), pair.first, pair.second);
                } else {
                    worker.writeDeviceCode(version, t.index(), t.any(), t.any());
                }
                break;
            }
            case 1:
                worker.writeDeviceProperty(version, t.often() ? "3" : t.any(), t.any());
                break;
            case 2: {
                QStringList items;
                const int n = t.below(6);
                for (int k = 0; k < n; ++k) {
                    items << t.any();
                }
                worker.writeKeyColours(version, items);
                break;
            }
            case 3:
                worker.restartDevice(version);
                break;
            default: {
                static const QList<QPair<QString, QString>> valid = {
                    {"Mouse", "单击左键()"},
                    {"Keyboard", "Ctrl+C"},
                    {"Macro", "键盘按下(a)延迟(100)键盘弹起(a)"},
                    {"DPI", "1|800|1600"},
                    {"MultiMedia", "0x03,0x00,0xCD,0x00"},
                    {"Mouse", ""}};
                const auto pair = valid.at(t.below(valid.size()));
                const bool plausible = t.often();
                kf::encoding::ButtonAssignment a;
                a.device = version;
                a.taskIndex = t.index();
                a.mode = plausible ? QString::number(t.below(3)) : t.any();
                a.command = plausible ? pair.second : t.any();
                a.type = plausible ? pair.first : t.pick(types);
                a.playCount = plausible ? QString::number(t.below(10)) : t.any();
                a.playDelay = t.any();
                a.playType = plausible ? QString::number(1 + t.below(4)) : t.any();
                what += " " + a.type + " of " + QString::number(a.command.size()) + " characters";
                worker.writeButtonAssignment(a);
                break;
            }
        }
        worst.add(meter.ms(), meter.peakRise(), what);
        if (!kftest::kUnderAddressSanitizer) {
            ASSERT_LT(meter.peakRise(), 256 * 1024 * 1024) << what.toStdString();
        }
    }
    worst.print("device fuzz");
    EXPECT_LT(kftest::QuietLog::longest(), 8192);  // a page's argument never floods the log
    EXPECT_LT(worst.ms, 10000);                    // far above what any request needs; catches blow-ups
    const auto journal = sandbox.journal();
    int written = 0;
    for (const QJsonObject& line : journal) {
        ASSERT_FALSE(line.value("path").toString().contains("NOT-LISTED"));
        const QString function = line.value("function").toString();
        const QJsonObject args = line.value("args").toObject();
        if (function == "dcWriteProperty" || function == "dcWriteDeviceProperty") {
            const int count = args.value("count").toInt(-1);
            ASSERT_GE(count, 0);
            ASSERT_LE(count, 2048);
            ASSERT_GE(args.value("index").toInt(-1), 0);
            ASSERT_LE(args.value("index").toInt(-1), 255);
            ASSERT_EQ(args.value("data").toString().size(), 2 * count);
            written += line.value("result").toInt();
        }
        if (function == "dcNotifyRGBDevice") {
            ASSERT_EQ(args.value("length").toInt(), 1024);
        }
    }
    // The run reached the device often enough to mean something.
    EXPECT_GT(written, 80) << journal.size() << " calls";
}
