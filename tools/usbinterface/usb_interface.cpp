// Our libUsbInterface.so: the vendor device library's functions, emulating the attached devices.
// Devices come from the catalog (sim_catalog.h); what they hold lives in the state folder
// (sim_state.h), and every call is appended to its journal with its arguments, the data bytes
// in lower-case hexadecimal and the result.
//
// Calls are serialised by one process-wide lock. Nothing is cached between calls except the
// parsed catalog, so kestrafon-sim may plug, unplug or reset devices at any time.
#include <QDateTime>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonObject>
#include <cstring>
#include <mutex>
#include <type_traits>

#include "device/sim_location.h"
#include "device/usb_interface_api.h"
#include "sim_catalog.h"
#include "sim_state.h"
#include "sim_table.h"

#define KF_EXPORT extern "C" __attribute__((visibility("default")))

using kf::usbsim::DeviceState;
using kf::usbsim::SimCatalog;
using kf::usbsim::SimDevice;
using kf::usbsim::SimState;

namespace {

constexpr int kMaxRomBytes = 0x20000;
constexpr int kMaxTextUnits = 1024;  // longest text argument read; longer ones are cut
constexpr char kBootLoaderTag[] = "kestrafon-sim-bootloader:";

struct Library {
    std::mutex mutex;
    QString catalogSource;  // KESTRAFON_DEVICES as last read
    QDateTime catalogTime;
    bool catalogLoaded = false;
    SimCatalog catalog;
    QString recordedFolder;  // the state folder that has this catalog in catalog.json
};

Library& library() {
    static Library* lib = new Library;  // never destroyed: calls may come during process exit
    return *lib;
}

// One library call: the lock, the state folder, the catalog and the journal entry.
class Call {
public:
    Call(const char* function, const QString& path)
        : lock_(library().mutex), state_(kf::usb::simStateFolder()) {
        entry_.insert(QStringLiteral("function"), QLatin1String(function));
        entry_.insert(QStringLiteral("path"), path);
        refreshCatalog();
        state_.ensureInitialized(catalog());
        Library& lib = library();
        if (lib.recordedFolder != state_.folder()) {
            // kestrafon-sim reads the device list of the client from here.
            state_.recordCatalog(catalog());
            lib.recordedFolder = state_.folder();
        }
    }

    const SimCatalog& catalog() const { return library().catalog; }
    SimState& state() { return state_; }
    void arg(const char* name, const QJsonValue& value) { args_.insert(QLatin1String(name), value); }
    void note(const char* name, const QJsonValue& value) { entry_.insert(QLatin1String(name), value); }

    // The attached device that owns `path`, or null (also noted in the journal).
    const SimDevice* attachedDevice(const QString& path) {
        const SimDevice* d = catalog().findByPath(path);
        if (d) {
            note("device", d->id);
        }
        return d && state_.isAttached(d->id) ? d : nullptr;
    }

    int finish(int result) {
        entry_.insert(QStringLiteral("args"), args_);
        entry_.insert(QStringLiteral("result"), result);
        state_.appendJournal(entry_);
        return result;
    }

private:
    void refreshCatalog() {
        Library& lib = library();
        const QString source = qEnvironmentVariable("KESTRAFON_DEVICES");
        const QDateTime time = source.isEmpty() ? QDateTime() : QFileInfo(source).lastModified();
        if (lib.catalogLoaded && source == lib.catalogSource && time == lib.catalogTime) {
            return;
        }
        QString error;
        lib.catalog = kf::usbsim::loadCatalog(state_.folder(), false, &error);
        if (!error.isEmpty()) {
            qWarning("UsbInterface: %s", qPrintable(error));
        }
        lib.catalogSource = source;
        lib.catalogTime = time;
        lib.catalogLoaded = true;
        lib.recordedFolder.clear();
    }

    std::lock_guard<std::mutex> lock_;
    SimState state_;
    QJsonObject entry_;
    QJsonObject args_;
};

QString readWide(const char16_t* text) {
    if (!text) {
        return QString();
    }
    int n = 0;
    while (n < kMaxTextUnits && text[n] != 0) {
        ++n;
    }
    return QString::fromUtf16(text, n);
}

QString readNarrow(const char* text, int maxBytes) {
    if (!text) {
        return QString();
    }
    const void* end = std::memchr(text, 0, size_t(maxBytes));
    const int n = end ? int(static_cast<const char*>(end) - text) : maxBytes;
    return QString::fromUtf8(text, n);
}

QString hex(const unsigned char* data, int count) {
    if (!data || count <= 0) {
        return QString();
    }
    return QString::fromLatin1(QByteArray(reinterpret_cast<const char*>(data), count).toHex());
}

bool validIndex(int index) {
    return index >= 0 && index <= 0xFF;
}

// The device a boot-loader buffer names (written by DeviceExist), when it is attached and in
// its boot loader.
const SimDevice* bootLoaderDevice(Call& call, const unsigned char* buffer) {
    const QString text = readNarrow(reinterpret_cast<const char*>(buffer), kf::usb::kBootLoaderBufferBytes);
    if (!text.startsWith(QLatin1String(kBootLoaderTag))) {
        return nullptr;
    }
    const SimDevice* d = call.catalog().find(text.mid(int(std::strlen(kBootLoaderTag))));
    if (!d || !call.state().isAttached(d->id) || !call.state().load(*d).bootLoader) {
        return nullptr;
    }
    call.note("device", d->id);
    return d;
}

// The version text at the start of a firmware image: printable ASCII up to the first NUL, at
// most 17 bytes, at least 3; empty when the image does not start with one.
QByteArray imageVersion(const QByteArray& image) {
    QByteArray text;
    for (int i = 0; i < image.size() && i < kf::usb::kVersionBytes; ++i) {
        const char c = image.at(i);
        if (c == 0) {
            break;
        }
        if (c < 0x20 || c > 0x7E) {
            return QByteArray();
        }
        text.append(c);
    }
    return text.size() >= 3 ? text : QByteArray();
}

}  // namespace

KF_EXPORT int dcDevices(unsigned char* table, const std::uint16_t* usageFilter) {
    Call call("dcDevices", QString());
    const auto filter = kf::usbsim::usageFilterPairs(usageFilter);
    QJsonArray pairs;
    for (const auto& p : filter) {
        pairs.append(QJsonArray{p.first, p.second});
    }
    call.arg("filter", pairs);
    if (!table) {
        return call.finish(0);
    }
    QVector<kf::usbsim::TableEntry> entries;
    QJsonArray reported;
    for (const SimDevice& d : call.catalog().devices) {
        if (!call.state().isAttached(d.id)) {
            continue;
        }
        const DeviceState s = call.state().load(d);
        if (s.bootLoader) {
            continue;  // a device in its boot loader shows only as the boot-loader device
        }
        for (const auto& c : d.collections) {
            if (kf::usbsim::collectionMatches(c, filter)) {
                entries.append({&d, &c, s.firmware, s.serial});
                if (reported.size() < kf::usb::kMaxTableEntries) {
                    reported.append(c.path);
                }
            }
        }
    }
    const int count = call.catalog().tableCount >= 0 ? call.catalog().tableCount
                                                     : qMin(int(entries.size()), kf::usb::kMaxTableEntries);
    kf::usbsim::writeDeviceTable(table, entries, count);
    call.note("count", count);
    call.note("entries", reported);
    return call.finish(1);
}

KF_EXPORT int DeviceExist(const char* vidPid, unsigned char* bootLoader) {
    Call call("DeviceExist", QString());
    const QString name = readNarrow(vidPid, 64);
    call.arg("name", name);
    if (!bootLoader || name.compare(QLatin1String(kf::usb::kBootLoaderVidPid), Qt::CaseInsensitive) != 0) {
        return call.finish(0);
    }
    for (const SimDevice& d : call.catalog().devices) {
        if (call.state().isAttached(d.id) && call.state().load(d).bootLoader) {
            const QByteArray tag = QByteArray(kBootLoaderTag) + d.id.toUtf8();
            std::memset(bootLoader, 0, kf::usb::kBootLoaderBufferBytes);
            std::memcpy(bootLoader, tag.constData(),
                        size_t(qMin(int(tag.size()), kf::usb::kBootLoaderBufferBytes - 1)));
            call.note("device", d.id);
            return call.finish(1);
        }
    }
    return call.finish(0);
}

KF_EXPORT int Reset(const char16_t* path, int mode, int zero) {
    Call call("Reset", readWide(path));
    call.arg("mode", mode);
    call.arg("zero", zero);
    const SimDevice* d = call.attachedDevice(readWide(path));
    if (!d || d->failReset || (mode != kf::usb::kResetRestart && mode != kf::usb::kResetToBootLoader)) {
        return call.finish(0);
    }
    DeviceState s = call.state().load(*d);
    if (mode == kf::usb::kResetToBootLoader) {
        s.bootLoader = true;
        return call.finish(call.state().save(d->id, s) ? 1 : 0);
    }
    if (s.bootLoader && s.romFinished) {
        // The restart runs the new image: its version is what the device reports from now on.
        const QByteArray version = imageVersion(call.state().rom(d->id));
        if (!version.isEmpty()) {
            s.firmware = version;
        }
        s.firmwareUpdates += 1;
        call.note("firmware", QString::fromUtf8(s.firmware));
    } else if (s.bootLoader && s.romErased) {
        // An erased image that was never finished cannot run: the boot loader stays.
        call.note("stays", QStringLiteral("boot loader"));
        return call.finish(0);
    }
    s.restarts += 1;
    s.bootLoader = false;
    s.romErased = false;
    s.romCheck = -1;
    s.romFinished = false;
    return call.finish(call.state().save(d->id, s) ? 1 : 0);
}

KF_EXPORT int BootLoader(const char16_t* path) {
    Call call("BootLoader", readWide(path));
    return call.finish(call.attachedDevice(readWide(path)) ? 1 : 0);
}

KF_EXPORT int EraseRom(unsigned char* bootLoader) {
    Call call("EraseRom", QString());
    const SimDevice* d = bootLoaderDevice(call, bootLoader);
    if (!d) {
        return call.finish(0);
    }
    DeviceState s = call.state().load(*d);
    s.romErased = true;
    s.romCheck = -1;
    s.romFinished = false;
    const bool ok = call.state().saveRom(d->id, QByteArray()) && call.state().save(d->id, s);
    return call.finish(ok ? 1 : 0);
}

KF_EXPORT int WriteRom(unsigned char* bootLoader, unsigned char* block, int length, int offset) {
    Call call("WriteRom", QString());
    call.arg("length", length);
    call.arg("offset", offset);
    const bool sane = block && length >= 0 && length <= kf::usb::kRomBlockMaxBytes && offset >= 0 &&
                      offset <= kMaxRomBytes - length;
    call.arg("data", sane ? hex(block, length) : QString());
    const SimDevice* d = bootLoaderDevice(call, bootLoader);
    DeviceState s = d ? call.state().load(*d) : DeviceState();
    if (!d || !sane || !s.romErased) {
        return call.finish(0);
    }
    if (s.romCheck != -1 || s.romFinished) {
        s.romCheck = -1;  // a write after the check needs a new check
        s.romFinished = false;
        call.state().save(d->id, s);
    }
    QByteArray image = call.state().rom(d->id);
    if (image.size() < offset + length) {
        const int old = image.size();
        image.resize(offset + length);  // resize leaves the new bytes undefined
        std::memset(image.data() + old, 0, size_t(image.size() - old));
    }
    std::memcpy(image.data() + offset, block, size_t(length));
    return call.finish(call.state().saveRom(d->id, image) ? 1 : 0);
}

KF_EXPORT int CheckRom(unsigned char* bootLoader, std::uint32_t dataLength, std::uint32_t checkValue) {
    Call call("CheckRom", QString());
    call.arg("length", qint64(dataLength));
    call.arg("check", qint64(checkValue));
    const SimDevice* d = bootLoaderDevice(call, bootLoader);
    if (!d) {
        return call.finish(0);
    }
    // The check value is the sum of the image's data bytes modulo 2^32.
    const QByteArray image = call.state().rom(d->id);
    bool passed = dataLength <= std::uint32_t(image.size());
    if (passed) {
        std::uint32_t sum = 0;
        for (std::uint32_t i = 0; i < dataLength; ++i) {
            sum += static_cast<unsigned char>(image.at(int(i)));
        }
        passed = sum == checkValue;
    }
    DeviceState s = call.state().load(*d);
    s.romCheck = passed ? 1 : 0;
    call.state().save(d->id, s);
    return call.finish(passed ? 1 : 0);
}

KF_EXPORT int FinishUpdateRom(unsigned char* bootLoader) {
    Call call("FinishUpdateRom", QString());
    const SimDevice* d = bootLoaderDevice(call, bootLoader);
    if (!d) {
        return call.finish(0);
    }
    DeviceState s = call.state().load(*d);
    if (s.romCheck != 1) {
        return call.finish(0);  // an unchecked or failed image is never marked runnable
    }
    s.romFinished = true;  // runs from the next restart
    return call.finish(call.state().save(d->id, s) ? 1 : 0);
}

KF_EXPORT int UpdateVersion(const char16_t* path, int a, int b) {
    Call call("UpdateVersion", readWide(path));
    call.arg("a", a);
    call.arg("b", b);
    return call.finish(call.attachedDevice(readWide(path)) ? 1 : 0);
}

KF_EXPORT int dcWriteProperty(const char16_t* path, unsigned char* data, int index, int count) {
    Call call("dcWriteProperty", readWide(path));
    call.arg("index", index);
    call.arg("count", count);
    const bool sane = data && validIndex(index) && count >= 0 && count <= kf::usb::kDataBufferBytes;
    call.arg("data", sane ? hex(data, count) : QString());
    const SimDevice* d = call.attachedDevice(readWide(path));
    if (!d || !sane || d->writeFails(index)) {
        return call.finish(0);
    }
    DeviceState s = call.state().load(*d);
    if (s.bootLoader) {
        return call.finish(0);
    }
    s.parameterSlots.insert(index, QByteArray(reinterpret_cast<const char*>(data), count));
    return call.finish(call.state().save(d->id, s) ? 1 : 0);
}

KF_EXPORT int dcWriteDeviceProperty(const char16_t* path, unsigned char* data, int index, int count,
                                    std::uint16_t tag) {
    Call call("dcWriteDeviceProperty", readWide(path));
    call.arg("index", index);
    call.arg("count", count);
    call.arg("tag", int(tag));
    const bool sane = data && validIndex(index) && count >= 0 && count <= kf::usb::kDataBufferBytes &&
                      tag == kf::usb::kDevicePropertyTag;
    call.arg("data", data && count > 0 && count <= kf::usb::kDataBufferBytes ? hex(data, count) : QString());
    const SimDevice* d = call.attachedDevice(readWide(path));
    if (!d || !sane || d->writeFails(index)) {
        return call.finish(0);
    }
    DeviceState s = call.state().load(*d);
    if (s.bootLoader) {
        return call.finish(0);
    }
    const QByteArray bytes(reinterpret_cast<const char*>(data), count);
    s.properties.insert(index, bytes);
    if (index == 3) {
        // Property 3 is the serial number the device reports from now on.
        const int nul = bytes.indexOf('\0');
        s.serial = (nul < 0 ? bytes : bytes.left(nul)).left(kf::usb::kSerialBytes);
    }
    return call.finish(call.state().save(d->id, s) ? 1 : 0);
}

KF_EXPORT int dcNotifyRGBDevice(const char16_t* path, unsigned char* frame, int length) {
    Call call("dcNotifyRGBDevice", readWide(path));
    call.arg("length", length);
    const bool sane = frame && length == kf::usb::kColourFrameBytes;
    call.arg("data", sane ? hex(frame, length) : QString());
    const SimDevice* d = call.attachedDevice(readWide(path));
    if (!d || !sane || d->failAllWrites) {
        return call.finish(0);
    }
    DeviceState s = call.state().load(*d);
    if (s.bootLoader) {
        return call.finish(0);
    }
    s.colourFrame = QByteArray(reinterpret_cast<const char*>(frame), length);
    return call.finish(call.state().save(d->id, s) ? 1 : 0);
}

// The functions below are part of the library but the client never calls them.

KF_EXPORT int Notify(const char16_t* path, int enable) {
    Call call("Notify", readWide(path));
    call.arg("enable", enable);
    return call.finish(call.attachedDevice(readWide(path)) ? 1 : 0);
}

KF_EXPORT int DeviceData(const char16_t* path, unsigned char* data, int length) {
    Call call("DeviceData", readWide(path));
    call.arg("length", length);
    Q_UNUSED(data);
    call.attachedDevice(readWide(path));
    return call.finish(0);  // the emulated devices send no reports
}

KF_EXPORT int dcReadProperty(const char16_t* path, unsigned char* data, int index, int count) {
    Call call("dcReadProperty", readWide(path));
    call.arg("index", index);
    call.arg("count", count);
    const SimDevice* d = call.attachedDevice(readWide(path));
    if (!d || !data || !validIndex(index) || count < 0 || count > kf::usb::kDataBufferBytes) {
        return call.finish(0);
    }
    const DeviceState s = call.state().load(*d);
    if (!s.parameterSlots.contains(index)) {
        return call.finish(0);
    }
    const QByteArray bytes = s.parameterSlots.value(index);
    std::memset(data, 0, size_t(count));
    std::memcpy(data, bytes.constData(), size_t(qMin(int(bytes.size()), count)));
    call.arg("data", hex(data, count));
    return call.finish(1);
}

KF_EXPORT int dcReadAddress(const char16_t* path, unsigned char* data, int address, int count) {
    Call call("dcReadAddress", readWide(path));
    call.arg("address", address);
    call.arg("count", count);
    Q_UNUSED(data);
    call.attachedDevice(readWide(path));
    return call.finish(0);  // no address space is emulated
}

KF_EXPORT int dcWriteAddress(const char16_t* path, unsigned char* data, int address, int count) {
    Call call("dcWriteAddress", readWide(path));
    call.arg("address", address);
    call.arg("count", count);
    call.arg("data", data && count > 0 && count <= kf::usb::kDataBufferBytes ? hex(data, count) : QString());
    call.attachedDevice(readWide(path));
    return call.finish(0);
}

KF_EXPORT int Open_vidpid(int vid, int pid) {
    Call call("Open_vidpid", QString());
    call.arg("vid", vid);
    call.arg("pid", pid);
    for (const SimDevice& d : call.catalog().devices) {
        if (int(d.vendorId) == vid && int(d.productId) == pid && call.state().isAttached(d.id)) {
            return call.finish(1);
        }
    }
    return call.finish(0);
}

KF_EXPORT int ColseHandler() {
    Call call("ColseHandler", QString());
    return call.finish(1);
}

// The exports must match the signatures the client resolves.
static_assert(std::is_same_v<decltype(&dcDevices), kf::usb::DcDevicesFn>);
static_assert(std::is_same_v<decltype(&DeviceExist), kf::usb::DeviceExistFn>);
static_assert(std::is_same_v<decltype(&Reset), kf::usb::ResetFn>);
static_assert(std::is_same_v<decltype(&BootLoader), kf::usb::BootLoaderFn>);
static_assert(std::is_same_v<decltype(&EraseRom), kf::usb::EraseRomFn>);
static_assert(std::is_same_v<decltype(&WriteRom), kf::usb::WriteRomFn>);
static_assert(std::is_same_v<decltype(&CheckRom), kf::usb::CheckRomFn>);
static_assert(std::is_same_v<decltype(&FinishUpdateRom), kf::usb::FinishUpdateRomFn>);
static_assert(std::is_same_v<decltype(&UpdateVersion), kf::usb::UpdateVersionFn>);
static_assert(std::is_same_v<decltype(&dcWriteProperty), kf::usb::DcWritePropertyFn>);
static_assert(std::is_same_v<decltype(&dcWriteDeviceProperty), kf::usb::DcWriteDevicePropertyFn>);
static_assert(std::is_same_v<decltype(&dcNotifyRGBDevice), kf::usb::DcNotifyRGBDeviceFn>);
static_assert(std::is_same_v<decltype(&Notify), kf::usb::NotifyFn>);
static_assert(std::is_same_v<decltype(&DeviceData), kf::usb::DeviceDataFn>);
static_assert(std::is_same_v<decltype(&dcReadProperty), kf::usb::DcReadPropertyFn>);
static_assert(std::is_same_v<decltype(&dcReadAddress), kf::usb::DcReadAddressFn>);
static_assert(std::is_same_v<decltype(&dcWriteAddress), kf::usb::DcWriteAddressFn>);
static_assert(std::is_same_v<decltype(&Open_vidpid), kf::usb::OpenVidPidFn>);
static_assert(std::is_same_v<decltype(&ColseHandler), kf::usb::ColseHandlerFn>);
