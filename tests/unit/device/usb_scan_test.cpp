// The USB interface path lookup and the keyboard and mouse scan over an in-memory USB system.
#include <gtest/gtest.h>

#include "device/usb_scan.h"
#include "platform/usb/memory_usb_system.h"

using kf::device::findUsbInterfacePath;
using kf::device::scanKeyboardsAndMice;
using kf::platform::MemoryUsbSystem;
using kf::platform::SetupClass;
using kf::platform::SetupDevice;
using kf::platform::UsbDeviceInterface;

namespace {

struct Printed {
    QStringList lines;
    kf::device::DiagnosticPrinter printer() {
        return [this](const QString& text) { lines << text; };
    }
};

SetupDevice device(const QString& instance, const QString& hardware, SetupClass cls) {
    return SetupDevice{instance, hardware, cls};
}

}  // namespace

TEST(UsbInterfacePath, MatchesVendorAndProductUpperCasedAndJoined) {
    MemoryUsbSystem usb;
    usb.interfaces = {{"/dev/bus/usb/001/002", "046d", "c52b", false},
                      {"/dev/bus/usb/001/003", "258a", "001a", false},
                      {"/dev/bus/usb/001/004", "258a", "001a", false}};
    Printed printed;
    EXPECT_EQ(findUsbInterfacePath(&usb, "258A001A", printed.printer()), "/dev/bus/usb/001/003");
    EXPECT_EQ(findUsbInterfacePath(&usb, "046DC52B", printed.printer()), "/dev/bus/usb/001/002");
    EXPECT_TRUE(printed.lines.isEmpty());
    // The wanted identifier is compared exactly: lower case never matches.
    EXPECT_EQ(findUsbInterfacePath(&usb, "258a001a", printed.printer()), "");
    EXPECT_EQ(printed.lines, QStringList{"Failure: Could not find our HID device \n"});
}

TEST(UsbInterfacePath, PathsWithoutIdsAreMatchedByTheirVidPidText) {
    MemoryUsbSystem usb;
    usb.interfaces = {{R"(\\?\usb#VID_258A&PID_0012#1)", "", "", false},  // upper-case "VID_": no match
                      {R"(\\?\usb#vid_12&pid_345#2)", "", "", false},     // fewer than four characters
                      {R"(\\?\usb#vid_258a&pid_0012#3)", "", "", false}};
    Printed printed;
    EXPECT_EQ(findUsbInterfacePath(&usb, "258A0012", printed.printer()), R"(\\?\usb#vid_258a&pid_0012#3)");
    EXPECT_EQ(findUsbInterfacePath(&usb, "12345", printed.printer()), R"(\\?\usb#vid_12&pid_345#2)");
    EXPECT_TRUE(printed.lines.isEmpty());
}

TEST(UsbInterfacePath, FailuresPrintTheirDiagnostics) {
    MemoryUsbSystem usb;
    usb.interfacesFail = true;
    usb.interfacesError = 0x1f;
    Printed printed;
    EXPECT_EQ(findUsbInterfacePath(&usb, "258A001A", printed.printer()), "");
    EXPECT_EQ(printed.lines, QStringList{"SetupDiGetClassDevs failed: 1f\n"});

    usb.interfacesFail = false;
    usb.interfaces = {{"", "", "", true}, {"/dev/x", "258a", "001a", false}};
    printed.lines.clear();
    EXPECT_EQ(findUsbInterfacePath(&usb, "258A001A", printed.printer()), "/dev/x");
    EXPECT_EQ(printed.lines, QStringList{"Error: SetupDiGetInterfaceDeviceDetail failed\n"});

    printed.lines.clear();
    EXPECT_EQ(findUsbInterfacePath(nullptr, "258A001A", printed.printer()), "");
    EXPECT_EQ(printed.lines.size(), 1);
}

TEST(KeyboardMouseScan, CompositeUsbDeviceCountsOnceAndPs2DevicesUseTheirHardwareId) {
    const QList<SetupDevice> devices = {
        device(R"(HID\VID_258A&PID_001A&MI_00\input5)", R"(HID\VID_258A&PID_001A&REV_0100&MI_00)",
               SetupClass::Mouse),
        device(R"(HID\VID_258A&PID_001A&MI_01\input6)", R"(HID\VID_258A&PID_001A&REV_0100&MI_01)",
               SetupClass::Mouse),
        device(R"(ACPI\PNP0F13\serio1)", R"(acpi\pnp0f13)", SetupClass::Mouse),
        device(R"(ACPI\PNP0303\serio0)", R"(ACPI\PNP0303)", SetupClass::Keyboard),
        device(R"(HID\VID_046D&PID_C31C&MI_00\input9)", R"(HID\VID_046D&PID_C31C&MI_00)",
               SetupClass::Keyboard),
        device(R"(USB\VID_046D&PID_C31C\x)", R"(USB\VID_046D&PID_C31C)", SetupClass::Other),
    };
    QStringList asked;
    const auto scan = scanKeyboardsAndMice(devices, [&](const QString& id) {
        asked << id;
        return id.startsWith('*') ? QString() : "/dev/usb/" + id;
    });
    EXPECT_EQ(scan.identifiers, (QStringList{"258A001A", "*PNP0F0E", "*PNP0303", "046DC31C"}));
    ASSERT_EQ(scan.records.size(), 4);
    EXPECT_EQ(scan.records[0],
              (kf::device::KeyboardMouseRecord{"/dev/usb/258A001A", R"(HID\VID_258A&PID_001A&REV_0100&MI_00)",
                                               "001A", "258A", "mouse"}));
    EXPECT_EQ(scan.records[1], (kf::device::KeyboardMouseRecord{R"(acpi\pnp0f13)", R"(ACPI\PNP0F13)", "0F0E",
                                                                "ACPI", "mouse"}));
    EXPECT_EQ(scan.records[2].kind, "keyboard");
    EXPECT_EQ(scan.records[2].product, "0303");
    EXPECT_EQ(scan.records[3].kind, "keyboard");
    // The ACPI devices are looked up too (and not found); the MI_01 interface never is.
    EXPECT_EQ(asked, (QStringList{"258A001A", "*PNP0F0E", "*PNP0303", "046DC31C"}));
}

TEST(KeyboardMouseScan, DevicesWithoutPathAreLeftOutButStillCountAsSeen) {
    const QList<SetupDevice> devices = {
        device(R"(HID\VID_1111&PID_2222\a)", "", SetupClass::Mouse),
        device(R"(HID\VID_1111&PID_2222\b)", "", SetupClass::Keyboard),     // same identity, skipped
        device(R"(HID\VID_3333&PID_4444&MI_02\c)", "", SetupClass::Mouse),  // not interface 0
        device(R"(SWD\VIRTUAL\d)", "", SetupClass::Mouse),                  // neither USB nor ACPI
        device("", "", SetupClass::Mouse),                                  // ends the scan
        device(R"(HID\VID_5555&PID_6666\e)", "", SetupClass::Mouse),
    };
    QStringList asked;
    const auto scan = scanKeyboardsAndMice(devices, [&](const QString& id) {
        asked << id;
        return QString();
    });
    EXPECT_TRUE(scan.records.isEmpty());
    EXPECT_TRUE(scan.identifiers.isEmpty());
    EXPECT_EQ(asked, QStringList{"11112222"});
}
