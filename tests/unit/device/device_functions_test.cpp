// Discovery and the device requests against our emulated library: what reaches the device is
// read back from the emulator's journal and state.
#include <gtest/gtest.h>
#include <QJsonArray>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include "device/device_functions.h"
#include "emulator_helpers.h"

using kftest::EmulatorSandbox;
using kftest::hexOf;
using kftest::simDevice;

namespace {

QJsonArray twoDevices() {
    return {simDevice("kb", "QZK-ZKC-V1.1.0_01", "KB-1", "keyboard"),
            simDevice("ms", "QZK-ZMC-V1.1.0_01", "MS-1")};
}

}  // namespace

TEST(DeviceLibrary, LoadsEveryFunctionByName) {
    EmulatorSandbox sandbox;
    DeviceFunctions functions;
    ASSERT_TRUE(functions.libraryLoaded());
    const auto& f = functions.functions();
    for (const void* fn :
         {(const void*)f.dcDevices, (const void*)f.DeviceExist, (const void*)f.Reset,
          (const void*)f.BootLoader, (const void*)f.EraseRom, (const void*)f.WriteRom,
          (const void*)f.CheckRom, (const void*)f.FinishUpdateRom, (const void*)f.UpdateVersion,
          (const void*)f.dcWriteProperty, (const void*)f.dcWriteDeviceProperty,
          (const void*)f.dcNotifyRGBDevice, (const void*)f.Notify, (const void*)f.DeviceData,
          (const void*)f.dcReadProperty, (const void*)f.dcReadAddress, (const void*)f.dcWriteAddress,
          (const void*)f.Open_vidpid, (const void*)f.ColseHandler}) {
        EXPECT_NE(fn, nullptr);
    }
}

TEST(DeviceLibrary, MissingLibraryReadsAsNoDevicesAndEveryWriteFails) {
    EmulatorSandbox sandbox;
    QTemporaryDir empty;
    devices_handler::setLibraryFolder(empty.path());
    DeviceFunctions functions;
    EXPECT_FALSE(functions.libraryLoaded());
    const QByteArray table = functions.enumerate();
    EXPECT_EQ(table, QByteArray(42102, '\0'));
    EXPECT_TRUE(functions.buildDeviceList().isEmpty());
    EXPECT_FALSE(functions.restartDevice("QZK-ZMC-V1.1.0"));
    EXPECT_FALSE(functions.writeParameter("QZK-ZMC-V1.1.0", "11", "1", "1"));
    functions.buildStartupInventory();
    EXPECT_TRUE(functions.inventory().vendorProductIds.isEmpty());
}

TEST(DeviceList, DemoDevicesAreAMouseAndAKeyboard) {
    EmulatorSandbox sandbox;
    DeviceFunctions functions;
    const auto map = functions.buildDeviceList();
    ASSERT_EQ(map.keys(), (QStringList{"QZK-ZKC-V1.1.0", "QZK-ZMC-V1.1.0"}));
    const QJsonObject mouse = map.value("QZK-ZMC-V1.1.0");
    EXPECT_EQ(mouse.value("LastVersionNum").toString(), "01");
    EXPECT_EQ(mouse.value("QZVersion").toString(), "QZK");
    EXPECT_EQ(mouse.value("Sn").toString(), "KFM0000000001");
    EXPECT_TRUE(mouse.value("DevicePath").toString().contains("col02"));
    // The library was asked for the two vendor collections and reported two per device.
    const auto calls = sandbox.calls("dcDevices");
    ASSERT_EQ(calls.size(), 1);
    EXPECT_EQ(calls[0].value("args").toObject().value("filter").toArray(),
              (QJsonArray{QJsonArray{1, 0xFFA0}, QJsonArray{1, 0xFFAA}}));
    EXPECT_EQ(calls[0].value("count").toInt(), 4);
    EXPECT_EQ(DeviceFunctions::deviceMap(), map);
}

TEST(DeviceList, UnpluggedDevicesLeaveTheListAndARebuildReplacesTheMap) {
    EmulatorSandbox sandbox(twoDevices());
    DeviceFunctions functions;
    EXPECT_EQ(functions.buildDeviceList().size(), 2);
    QFile::remove(sandbox.stateFolder() + "/attached/kb");
    EXPECT_EQ(functions.buildDeviceList().keys(), QStringList{"QZK-ZMC-V1.1.0"});
    EXPECT_EQ(DeviceFunctions::deviceMap().keys(), QStringList{"QZK-ZMC-V1.1.0"});
    EXPECT_FALSE(functions.restartDevice("QZK-ZKC-V1.1.0"));  // gone from the map
}

TEST(DeviceList, TableClaimingMoreThanTwentyEntriesIsReadAsTwenty) {
    QJsonArray devices;
    for (int i = 0; i < 12; ++i) {  // 24 reported collections
        // 15 characters; the first 14 differ from device to device.
        devices.append(simDevice(QStringLiteral("d%1").arg(i),
                                 QStringLiteral("QZK-ZMC-V1.%1.0").arg(i, 2, 10, QLatin1Char('0'))));
    }
    EmulatorSandbox sandbox(devices, QJsonObject{{"tableCount", 300}});
    DeviceFunctions functions;
    EXPECT_EQ(kf::device::parseDeviceTable(functions.enumerate()).size(), 20);
    EXPECT_EQ(functions.buildDeviceList().size(), 10);  // col02 of the first ten devices
}

TEST(StartupInventory, IdentifiersOncePerVendorAndProductAndEntriesCountedPerDevice) {
    QJsonObject other = simDevice("other", "QZK-ZMC-V2.0.0_01");
    other.insert("pid", "00ab");
    other.insert("identifier", "SAME-ID");
    QJsonObject third = simDevice("third", "QZK-ZMC-V3.0.0_01");
    third.insert("identifier", "SAME-ID");
    EmulatorSandbox sandbox(QJsonArray{simDevice("ms", "QZK-ZMC-V1.1.0_01"), other, third});
    devices_handler handler;
    handler.buildStartupInventory();
    const auto& inventory = handler.inventory();
    EXPECT_EQ(inventory.vendorProductIds, (QStringList{"258A001A", "258A00AB"}));
    EXPECT_EQ(handler.identifierList(), inventory.vendorProductIds);
    EXPECT_EQ(inventory.entryCounts.value("SAME-ID"), 4);  // two collections each
    EXPECT_EQ(inventory.entryCounts.value("258A001A-ms"), 2);
    EXPECT_EQ(inventory.records.value("SAME-ID").version, "QZK-ZMC-V3.0.0_01");  // the later entry
}

class DeviceRequests : public ::testing::Test {
protected:
    EmulatorSandbox sandbox{twoDevices()};
    DeviceFunctions functions;
    const QString mouse = "QZK-ZMC-V1.1.0";

    void SetUp() override {
        ASSERT_EQ(functions.buildDeviceList().size(), 2);
        sandbox.clearJournal();
    }
    QJsonObject lastArgs(const QString& function) {
        const auto calls = sandbox.calls(function);
        return calls.isEmpty() ? QJsonObject() : calls.last().value("args").toObject();
    }
};

TEST_F(DeviceRequests, CodeStringTokensBecomeBytes) {
    ASSERT_TRUE(functions.writeParameter(mouse, "11", "0x01,2,,ff", "4"));
    const QJsonObject args = lastArgs("dcWriteProperty");
    EXPECT_EQ(args.value("index").toInt(), 11);
    EXPECT_EQ(args.value("count").toInt(), 4);
    EXPECT_EQ(args.value("data").toString(), "010200ff");
    EXPECT_EQ(sandbox.calls("dcWriteProperty").last().value("path").toString(),
              DeviceFunctions::deviceFor(mouse).value("DevicePath").toString());
    EXPECT_EQ(sandbox.calls("dcWriteProperty").last().value("result").toInt(), 1);
    EXPECT_EQ(sandbox.state("ms").value("slots").toObject().value("11").toString(), "010200ff");
}

TEST_F(DeviceRequests, RequestsThatCannotBeCarriedNeverReachTheLibrary) {
    EXPECT_FALSE(functions.writeParameter(mouse, "11", "1,2", "3"));     // count differs
    EXPECT_FALSE(functions.writeParameter(mouse, "11", "1,2", "x"));     // size not a number
    EXPECT_FALSE(functions.writeParameter(mouse, "300", "1", "1"));      // index not a byte
    EXPECT_FALSE(functions.writeParameter(mouse, "eleven", "1", "1"));   // index not a number
    EXPECT_FALSE(functions.writeParameter("QZK-NOPE", "11", "1", "1"));  // unknown device
    EXPECT_FALSE(functions.writeParameter("", "11", "1", "1"));          // no device
    const QString big = QString("1,").repeated(2048) + "1";
    EXPECT_FALSE(functions.writeParameter(mouse, "11", big, "2049"));  // beyond 2048 bytes
    EXPECT_FALSE(functions.writeDeviceProperty(mouse, "3", QString(2049, 'A')));
    EXPECT_FALSE(functions.writeDeviceProperty(mouse, "-1", "A"));
    EXPECT_FALSE(functions.sendColourFrame(mouse, QByteArray(1023, '\0')));
    EXPECT_FALSE(functions.restartDevice("QZK-ZMC-V1.1.1"));
    EXPECT_TRUE(sandbox.journal().isEmpty());
    // 2048 tokens fit.
    EXPECT_TRUE(functions.writeParameter(mouse, "12", QString("1,").repeated(2047) + "1", "2048"));
}

TEST_F(DeviceRequests, PropertyWriteCarriesTheSerialNumberAndTheDeviceReportsIt) {
    ASSERT_TRUE(functions.writeDeviceProperty(mouse, "3", "SN-20240611"));
    const QJsonObject args = lastArgs("dcWriteDeviceProperty");
    EXPECT_EQ(args.value("index").toInt(), 3);
    EXPECT_EQ(args.value("count").toInt(), 11);
    EXPECT_EQ(args.value("tag").toInt(), 0x1016);
    EXPECT_EQ(args.value("data").toString(), QString::fromLatin1(QByteArray("SN-20240611").toHex()));
    EXPECT_EQ(functions.buildDeviceList().value(mouse).value("Sn").toString(), "SN-20240611");
    // Non-ASCII text is written whole: the length is its byte count.
    ASSERT_TRUE(functions.writeDeviceProperty(mouse, "4", QStringLiteral("é")));
    EXPECT_EQ(lastArgs("dcWriteDeviceProperty").value("count").toInt(), 2);
}

TEST_F(DeviceRequests, ColourFrameAndRestart) {
    QByteArray frame(1024, '\0');
    frame[0] = 0x05;
    frame[1023] = char(0x7f);
    ASSERT_TRUE(functions.sendColourFrame(mouse, frame));
    EXPECT_EQ(lastArgs("dcNotifyRGBDevice").value("length").toInt(), 1024);
    EXPECT_EQ(lastArgs("dcNotifyRGBDevice").value("data").toString(), QString::fromLatin1(frame.toHex()));

    ASSERT_TRUE(functions.restartDevice(mouse));
    EXPECT_EQ(lastArgs("Reset"), (QJsonObject{{"mode", 2}, {"zero", 0}}));
    EXPECT_EQ(sandbox.state("ms").value("restarts").toInt(), 1);
}

TEST(DeviceFaults, WritesFailAtTheInjectedIndicesOrEverywhere) {
    QJsonObject some = simDevice("some", "QZK-ZMC-V1.1.0_01");
    some.insert("failWrites", QJsonArray{12, 3});
    QJsonObject all = simDevice("all", "QZK-ZKC-V1.1.0_01", "", "keyboard");
    all.insert("failWrites", "all");
    all.insert("failReset", true);
    EmulatorSandbox sandbox(QJsonArray{some, all});
    DeviceFunctions functions;
    ASSERT_EQ(functions.buildDeviceList().size(), 2);
    EXPECT_TRUE(functions.writeParameter("QZK-ZMC-V1.1.0", "11", "1", "1"));
    EXPECT_FALSE(functions.writeParameter("QZK-ZMC-V1.1.0", "12", "1", "1"));
    EXPECT_FALSE(functions.writeDeviceProperty("QZK-ZMC-V1.1.0", "3", "SN"));
    EXPECT_TRUE(functions.restartDevice("QZK-ZMC-V1.1.0"));
    EXPECT_FALSE(functions.writeParameter("QZK-ZKC-V1.1.0", "11", "1", "1"));
    EXPECT_FALSE(functions.sendColourFrame("QZK-ZKC-V1.1.0", QByteArray(1024, '\0')));
    EXPECT_FALSE(functions.restartDevice("QZK-ZKC-V1.1.0"));
    // Failed calls are journaled with their result.
    const auto writes = sandbox.calls("dcWriteProperty");
    ASSERT_EQ(writes.size(), 3);
    EXPECT_EQ(writes[1].value("result").toInt(), 0);
    EXPECT_EQ(writes[1].value("args").toObject().value("data").toString(), "01");
    // Nothing of a failed write is kept.
    EXPECT_FALSE(sandbox.state("some").value("slots").toObject().contains("12"));
}

TEST(CodeString, TokensAreHexWithOptionalPrefixAndKeepTheirLowByte) {
    EXPECT_EQ(DeviceFunctions::codeStringBytes("0x01,2,,ff").toHex(), "010200ff");
    EXPECT_EQ(DeviceFunctions::codeStringBytes("0X0A,E8,1ff,zz,0x,-1").toHex(), "0ae8ff000000");
    EXPECT_EQ(DeviceFunctions::codeStringBytes("").size(), 1);  // one empty token
    EXPECT_EQ(DeviceFunctions::codeStringBytes(",").size(), 2);
    EXPECT_EQ(DeviceFunctions::codeStringBytes("ffffffffffffffffff").toHex(), "00");  // too large: 0
}

TEST(CodeString, RandomTextsGiveOneBytePerToken) {
    QRandomGenerator random(611);
    const QString alphabet = QStringLiteral("0123456789abcdefABCDEFxX, -g\\\"中");
    for (int round = 0; round < 3000; ++round) {
        QString code;
        const int length = int(random.bounded(80));
        for (int i = 0; i < length; ++i) {
            code.append(alphabet.at(int(random.bounded(alphabet.size()))));
        }
        ASSERT_EQ(DeviceFunctions::codeStringBytes(code).size(), code.count(',') + 1) << code.toStdString();
    }
}

TEST(BootLoader, FirmwareImageGoesThroughTheEmulatedBootLoader) {
    EmulatorSandbox sandbox(QJsonArray{simDevice("ms", "QZK-ZMC-V1.1.0_01")});
    DeviceFunctions functions;
    const auto& f = functions.functions();
    const QString path = functions.buildDeviceList().value("QZK-ZMC-V1.1.0").value("DevicePath").toString();
    const auto* wide = reinterpret_cast<const char16_t*>(path.utf16());
    unsigned char loader[500] = {};
    EXPECT_EQ(f.DeviceExist("Vid_258a&Pid_ff12", loader), 0);
    ASSERT_EQ(f.Reset(wide, 1, 0), 1);
    EXPECT_TRUE(functions.buildDeviceList().isEmpty());  // in its boot loader it is not listed
    ASSERT_EQ(f.DeviceExist("Vid_258a&Pid_ff12", loader), 1);
    ASSERT_EQ(f.EraseRom(loader), 1);
    QByteArray image("QZK-ZMC-V2.0.0_07");
    image.append(QByteArray(2500, char(3)));
    quint32 sum = 0;
    for (char c : image) {
        sum += static_cast<unsigned char>(c);
    }
    unsigned char block[2048] = {};
    for (int offset = 0; offset <= image.size(); offset += 2000) {
        const int length = qMin(2000, int(image.size()) - offset);
        std::copy(image.constBegin() + offset, image.constBegin() + offset + length, block);
        EXPECT_EQ(f.WriteRom(loader, block, length, offset), 1);
    }
    EXPECT_EQ(f.WriteRom(loader, block, 2001, 0), 0);  // longer than a block
    EXPECT_EQ(f.CheckRom(loader, quint32(image.size()), sum + 1), 0);
    EXPECT_EQ(f.FinishUpdateRom(loader), 0);  // a failed check keeps it in the boot loader
    EXPECT_EQ(f.Reset(wide, 2, 0), 0);        // even through a restart
    EXPECT_TRUE(functions.buildDeviceList().isEmpty());
    EXPECT_EQ(f.CheckRom(loader, quint32(image.size()), sum), 1);
    EXPECT_EQ(f.FinishUpdateRom(loader), 1);
    EXPECT_EQ(f.UpdateVersion(wide, 2, 17), 1);
    EXPECT_EQ(f.Reset(wide, 2, 0), 1);
    const auto map = functions.buildDeviceList();
    ASSERT_EQ(map.keys(), QStringList{"QZK-ZMC-V2.0.0"});
    EXPECT_EQ(map.first().value("LastVersionNum").toString(), "07");
    // A stale boot-loader buffer no longer names a device in its boot loader.
    EXPECT_EQ(f.EraseRom(loader), 0);
    unsigned char garbage[500];
    std::fill(std::begin(garbage), std::end(garbage), 'k');
    EXPECT_EQ(f.EraseRom(garbage), 0);
    EXPECT_EQ(f.EraseRom(nullptr), 0);
}
