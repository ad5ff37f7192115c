// The vendor device table read from crafted blocks: the count bound, the "col02" rule, equal
// versions, the version field's parts, fields without a terminating zero, short blocks, and a
// bounded random run over corrupted blocks.
#include <gtest/gtest.h>
#include <QJsonObject>
#include <QRandomGenerator>

#include "device/device_table.h"

using kf::device::deviceMapFromTable;
using kf::device::parseDeviceTable;

namespace {

// Writes entries at the offsets of the table layout, independently of the parser.
class TableBlock {
public:
    TableBlock() : bytes_(42102, '\0') {}

    void setCount(int count) {
        bytes_[0] = char(count & 0xFF);
        bytes_[1] = char((count >> 8) & 0xFF);
    }

    // Fills entry i; texts are copied as they are (no terminating zero is added).
    void setEntry(int i, const QByteArray& version, const QString& path, const QByteArray& serial = "SN1",
                  const QByteArray& identifier = "ID") {
        const int e = 2 + i * 2105;
        put(e + 0, identifier, 40);
        put(e + 40, version, 17);
        put(e + 57, serial, 14);
        put(e + 71, "AB", 2);
        putU32(e + 73, 0x258a);
        putU32(e + 77, 0x0012);
        putWide(e + 1085, path, 255);
        putWide(e + 1595, QStringLiteral("second"), 255);
    }

    void put(int offset, const QByteArray& text, int field) {
        for (int i = 0; i < text.size() && i < field; ++i) {
            bytes_[offset + i] = text[i];
        }
    }
    void putU32(int offset, quint32 v) {
        for (int i = 0; i < 4; ++i) {
            bytes_[offset + i] = char((v >> (8 * i)) & 0xFF);
        }
    }
    void putWide(int offset, const QString& text, int units) {
        for (int i = 0; i < text.size() && i < units; ++i) {
            bytes_[offset + 2 * i] = char(text.at(i).unicode() & 0xFF);
            bytes_[offset + 2 * i + 1] = char(text.at(i).unicode() >> 8);
        }
    }

    QByteArray& bytes() { return bytes_; }

private:
    QByteArray bytes_;
};

QString col(int n, const QString& device = "dev") {
    return QStringLiteral("hid#vid_258a&pid_0012&col%1#%2").arg(n, 2, 10, QLatin1Char('0')).arg(device);
}

}  // namespace

TEST(DeviceTable, ReadsEveryFieldOfAnEntry) {
    TableBlock t;
    t.setCount(1);
    t.setEntry(0, "QZK-ZMC-V1.1.0_01", col(2), "SN-0001", "DEVICE-ID");
    const auto entries = parseDeviceTable(t.bytes());
    ASSERT_EQ(entries.size(), 1);
    EXPECT_EQ(entries[0].identifier, "DEVICE-ID");
    EXPECT_EQ(entries[0].version, "QZK-ZMC-V1.1.0_01");
    EXPECT_EQ(entries[0].serial, "SN-0001");
    EXPECT_EQ(entries[0].twoChars, "AB");
    EXPECT_EQ(entries[0].vendorId, 0x258au);
    EXPECT_EQ(entries[0].productId, 0x12u);
    EXPECT_EQ(entries[0].path, col(2));
    EXPECT_EQ(entries[0].secondText, "second");
    EXPECT_EQ(kf::device::vendorProductIdentifier(0x258a, 0x12), "258A0012");
    EXPECT_EQ(kf::device::vendorProductIdentifier(0xabc, 0x1ffff), "0ABC1FFFF");
}

TEST(DeviceTable, NeverMoreThanTwentyEntriesWhateverTheCountSays) {
    TableBlock t;
    for (int i = 0; i < 20; ++i) {
        t.setEntry(i, QByteArray("QZK-ZMC-V1.1.") + QByteArray::number(i % 10) + QByteArray::number(i / 10),
                   col(2, QString::number(i)));
    }
    for (int count : {21, 25, 0xFFFF}) {
        t.setCount(count);
        EXPECT_EQ(parseDeviceTable(t.bytes()).size(), 20) << count;
    }
    t.setCount(3);
    EXPECT_EQ(parseDeviceTable(t.bytes()).size(), 3);
    t.setCount(0);
    EXPECT_TRUE(parseDeviceTable(t.bytes()).isEmpty());
}

TEST(DeviceTable, ShortOrMissingBlocksGiveOnlyTheEntriesThatFit) {
    TableBlock t;
    t.setCount(20);
    for (int i = 0; i < 20; ++i) {
        t.setEntry(i, "QZK-ZMC-V1.1.0", col(2));
    }
    EXPECT_EQ(parseDeviceTable(t.bytes().left(2 + 2 * 2105)).size(), 2);
    EXPECT_EQ(parseDeviceTable(t.bytes().left(2 + 2 * 2105 - 1)).size(), 1);
    EXPECT_TRUE(parseDeviceTable(t.bytes().left(1)).isEmpty());
    EXPECT_TRUE(parseDeviceTable(nullptr, 42102).isEmpty());
    EXPECT_TRUE(parseDeviceTable(QByteArray()).isEmpty());
}

TEST(DeviceTable, OnlyPathsWithCol02BecomeDevices) {
    TableBlock t;
    t.setCount(4);
    t.setEntry(0, "QZK-ZMC-V1.1.0", col(1, "a"));
    t.setEntry(1, "QZK-ZMC-V1.1.1", col(3, "b"));
    t.setEntry(2, "QZK-ZMC-V1.1.2", "HID#VID_258A&PID_0012&COL02#c");  // the search is case-sensitive
    t.setEntry(3, "QZK-ZMC-V1.1.3", col(2, "d"));
    const auto map = deviceMapFromTable(parseDeviceTable(t.bytes()));
    EXPECT_EQ(map.keys(), QStringList{"QZK-ZMC-V1.1.3"});
    EXPECT_EQ(map.first().value("DevicePath").toString(), col(2, "d"));
}

TEST(DeviceTable, EqualVersionsShareOneSlotAndTheLaterEntryWins) {
    TableBlock t;
    t.setCount(3);
    t.setEntry(0, "QZK-ZMC-V1.1.0_01", col(2, "first"), "FIRST");
    t.setEntry(1, "QZK-ZKC-V1.1.0_01", col(2, "keyboard"), "KB");
    // Same first 14 bytes, different build number: still the same key.
    t.setEntry(2, "QZK-ZMC-V1.1.0_02", col(2, "second"), "SECOND");
    const auto map = deviceMapFromTable(parseDeviceTable(t.bytes()));
    ASSERT_EQ(map.size(), 2);
    // Ascending "Version" order.
    EXPECT_EQ(map.keys(), (QStringList{"QZK-ZKC-V1.1.0", "QZK-ZMC-V1.1.0"}));
    EXPECT_EQ(map.value("QZK-ZMC-V1.1.0").value("Sn").toString(), "SECOND");
    EXPECT_EQ(map.value("QZK-ZMC-V1.1.0").value("LastVersionNum").toString(), "02");
}

TEST(DeviceTable, VersionFieldParts) {
    TableBlock t;
    t.setCount(4);
    t.setEntry(0, "QZK-ZMC-V1.1.0_01", col(2, "a"));  // 17 characters: no terminating zero
    t.setEntry(1, "QZK-ZMC-V1.2.0_", col(2, "b"));    // 15 characters
    t.setEntry(2, "QZK-ZMC-V1.3.0_7", col(2, "c"));   // 16 characters
    t.setEntry(3, "QZ", col(2, "d"));
    const auto entries = parseDeviceTable(t.bytes());
    ASSERT_EQ(entries.size(), 4);
    const QJsonObject full = kf::device::deviceObject(entries[0]);
    EXPECT_EQ(full.value("Version").toString(), "QZK-ZMC-V1.1.0");
    EXPECT_EQ(full.value("LastVersionNum").toString(), "01");
    EXPECT_EQ(full.value("QZVersion").toString(), "QZK");
    EXPECT_EQ(full.value("Sn").toString(), "SN1");
    EXPECT_EQ(full.keys(), (QStringList{"DevicePath", "LastVersionNum", "QZVersion", "Sn", "Version"}));

    EXPECT_EQ(kf::device::deviceObject(entries[1]).value("Version").toString(), "QZK-ZMC-V1.2.0");
    EXPECT_EQ(kf::device::deviceObject(entries[1]).value("LastVersionNum").toString(), "");
    EXPECT_EQ(kf::device::deviceObject(entries[2]).value("LastVersionNum").toString(), "7");
    const QJsonObject tiny = kf::device::deviceObject(entries[3]);
    EXPECT_EQ(tiny.value("Version").toString(), "QZ");
    EXPECT_EQ(tiny.value("QZVersion").toString(), "QZ");
    EXPECT_EQ(tiny.value("LastVersionNum").toString(), "");
}

TEST(DeviceTable, FieldsFilledToTheirEndStopThereAndNeverReadTheNextField) {
    TableBlock t;
    t.setCount(2);
    const QString longPath = col(2) + QString(255, QLatin1Char('x'));  // cut at 255 units
    t.setEntry(0, "QZK-ZMC-V1.1.0_01", longPath, "12345678901234", QByteArray(40, 'I'));
    // Entry 1 follows entry 0 directly: its bytes must not leak into entry 0's fields.
    t.setEntry(1, "QZK-ZMC-V9.9.9_99", col(2, "next"), "NEXTSERIAL", "NEXT");
    const auto entries = parseDeviceTable(t.bytes());
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries[0].identifier, QByteArray(40, 'I'));
    EXPECT_EQ(entries[0].serial, "12345678901234");
    EXPECT_EQ(entries[0].path.size(), 255);
    EXPECT_EQ(entries[0].path, longPath.left(255));
    EXPECT_EQ(entries[0].secondText, "second");
    EXPECT_EQ(entries[1].identifier, "NEXT");

    // A second UTF-16 text without its zero in the last entry of a full block ends at the block.
    TableBlock last;
    last.setCount(20);
    last.setEntry(19, "QZK-ZMC-V1.1.0", col(2));
    last.putWide(2 + 19 * 2105 + 1595, QString(255, QLatin1Char('y')), 255);
    const auto all = parseDeviceTable(last.bytes());
    ASSERT_EQ(all.size(), 20);
    EXPECT_EQ(all[19].secondText, QString(255, QLatin1Char('y')));
}

TEST(DeviceTable, UnicodeAndInvalidBytesInTextFields) {
    TableBlock t;
    t.setCount(1);
    t.setEntry(0, "QZK-\xE9\xBC\xA0-V1.0", QStringLiteral("设备&col02"), "\xFF\xFE");
    const auto map = deviceMapFromTable(parseDeviceTable(t.bytes()));
    ASSERT_EQ(map.size(), 1);
    EXPECT_EQ(map.first().value("DevicePath").toString(), QStringLiteral("设备&col02"));
    EXPECT_EQ(map.first().value("QZVersion").toString(), "QZK");
}

TEST(DeviceTable, RandomAndCorruptedBlocksStayInBounds) {
    // Fixed seed and fixed number of blocks; the sanitizer build checks every access.
    QRandomGenerator random(20240611);
    TableBlock base;
    base.setCount(20);
    for (int i = 0; i < 20; ++i) {
        base.setEntry(i, "QZK-ZMC-V1.1.0_01", col(2, QString::number(i)));
    }
    for (int round = 0; round < 400; ++round) {
        QByteArray block = base.bytes();
        const int size = int(random.bounded(42103));
        block.truncate(size);
        const int flips = int(random.bounded(200));
        for (int f = 0; f < flips && !block.isEmpty(); ++f) {
            block[int(random.bounded(block.size()))] = char(random.bounded(256));
        }
        if (round % 3 == 0 && block.size() > 2) {
            // Fields full of non-zero bytes.
            for (int i = 2; i < block.size(); ++i) {
                block[i] = char(0x41 + (i % 26));
            }
        }
        const auto entries = parseDeviceTable(block);
        ASSERT_LE(entries.size(), 20);
        ASSERT_LE(qsizetype(entries.size()) * 2105 + 2, qMax<qsizetype>(block.size(), 2));
        for (const auto& e : entries) {
            ASSERT_LE(e.identifier.size(), 40);
            ASSERT_LE(e.version.size(), 17);
            ASSERT_LE(e.serial.size(), 14);
            ASSERT_LE(e.path.size(), 255);
            ASSERT_LE(e.secondText.size(), 255);
        }
        const auto map = deviceMapFromTable(entries);
        for (auto it = map.constBegin(); it != map.constEnd(); ++it) {
            ASSERT_EQ(it.key(), it.value().value("Version").toString());
            ASSERT_TRUE(it.value().value("DevicePath").toString().contains("col02"));
        }
    }
}
