#pragma once
// The vendor device library (libUsbInterface.so) as the client sees it: the layout of the
// device table that dcDevices fills, the buffer sizes of the other calls, and the signature of
// every exported function. The client resolves the functions by name at run time; our emulator
// of the library (tools/usbinterface) exports them with exactly these signatures.
//
// Texts marked "path" are NUL-terminated UTF-16 (16-bit code units); byte-sized arguments (a
// parameter index, a restart mode) travel as int; results are int, nonzero meaning success.
#include <cstdint>

namespace kf::usb {

// The device table: a 16-bit little-endian count, then 20 entries of 2105 bytes, no padding.
constexpr int kTableBytes = 42102;
constexpr int kMaxTableEntries = 20;
constexpr int kEntriesOffset = 2;
constexpr int kEntryBytes = 2105;

// Fields of one entry (offsets inside the entry). Single-byte texts are NUL-padded; the two
// UTF-16 texts are NUL-terminated within their 510 bytes.
constexpr int kIdentifierOffset = 0;
constexpr int kIdentifierBytes = 40;
constexpr int kVersionOffset = 40;
constexpr int kVersionBytes = 17;
constexpr int kSerialOffset = 57;
constexpr int kSerialBytes = 14;
constexpr int kTwoCharsOffset = 71;
constexpr int kTwoCharsBytes = 2;
constexpr int kVendorIdOffset = 73;   // unsigned 32-bit
constexpr int kProductIdOffset = 77;  // unsigned 32-bit
constexpr int kPathOffset = 1085;
constexpr int kSecondTextOffset = 1595;
constexpr int kWideTextBytes = 510;
constexpr int kWideTextUnits = kWideTextBytes / 2;

// The usage filter handed to dcDevices: 20 pairs (usage, usage page) of unsigned 16-bit numbers;
// a zero pair ends the list. The client asks for the two vendor collections.
constexpr int kUsageFilterPairs = 20;
constexpr std::uint16_t kVendorUsage = 1;
constexpr std::uint16_t kVendorUsagePageA = 0xFFA0;
constexpr std::uint16_t kVendorUsagePageB = 0xFFAA;

// Buffers of the other calls.
constexpr int kDataBufferBytes = 2048;       // dcWriteProperty, dcWriteDeviceProperty, WriteRom
constexpr int kColourFrameBytes = 1024;      // dcNotifyRGBDevice
constexpr int kBootLoaderBufferBytes = 500;  // DeviceExist and the ROM calls
constexpr int kRomBlockMaxBytes = 2000;
constexpr std::uint16_t kDevicePropertyTag = 0x1016;

// Restart modes of Reset.
constexpr int kResetRestart = 2;
constexpr int kResetToBootLoader = 1;

// The boot-loader device that DeviceExist looks for.
constexpr char kBootLoaderVidPid[] = "Vid_258a&Pid_ff12";

extern "C" {
// Fills `table` (kTableBytes, zeroed by the caller) with the attached devices' collections that
// match `usageFilter` (kUsageFilterPairs pairs).
typedef int (*DcDevicesFn)(unsigned char* table, const std::uint16_t* usageFilter);
// Nonzero when the boot-loader device named by `vidPid` is present; `bootLoader`
// (kBootLoaderBufferBytes, zeroed) then identifies it to the ROM calls.
typedef int (*DeviceExistFn)(const char* vidPid, unsigned char* bootLoader);
typedef int (*ResetFn)(const char16_t* path, int mode, int zero);
typedef int (*BootLoaderFn)(const char16_t* path);
typedef int (*EraseRomFn)(unsigned char* bootLoader);
typedef int (*WriteRomFn)(unsigned char* bootLoader, unsigned char* block, int length, int offset);
typedef int (*CheckRomFn)(unsigned char* bootLoader, std::uint32_t dataLength, std::uint32_t checkValue);
typedef int (*FinishUpdateRomFn)(unsigned char* bootLoader);
typedef int (*UpdateVersionFn)(const char16_t* path, int a, int b);
typedef int (*DcWritePropertyFn)(const char16_t* path, unsigned char* data, int index, int count);
typedef int (*DcWriteDevicePropertyFn)(const char16_t* path, unsigned char* data, int index, int count,
                                       std::uint16_t tag);
typedef int (*DcNotifyRGBDeviceFn)(const char16_t* path, unsigned char* frame, int length);
// Exported by the library but never called by the client.
typedef int (*NotifyFn)(const char16_t* path, int enable);
typedef int (*DeviceDataFn)(const char16_t* path, unsigned char* data, int length);
typedef int (*DcReadPropertyFn)(const char16_t* path, unsigned char* data, int index, int count);
typedef int (*DcReadAddressFn)(const char16_t* path, unsigned char* data, int address, int count);
typedef int (*DcWriteAddressFn)(const char16_t* path, unsigned char* data, int address, int count);
typedef int (*OpenVidPidFn)(int vid, int pid);
typedef int (*ColseHandlerFn)();
}

}  // namespace kf::usb
