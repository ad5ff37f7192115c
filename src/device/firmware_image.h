#pragma once
// The firmware image file and the plan of a firmware update: how the image is read and checked,
// the blocks it is written in, the progress values the page sees and the waits between steps.
// Pure code: no library, no thread, no file.
//
// Image file, little-endian, at most 67200 bytes:
//   0      4  type, must be 0x1016
//   4      4  must be 0
//   8    256  not read
//   264    L  firmware data
//   66143  8  data length L
//   66151  4  check value handed to CheckRom
#include <QByteArray>
#include <QString>
#include <QVector>
#include <cstdint>

namespace kf::device::firmware {

constexpr int kImageBytes = 67200;
constexpr int kDataOffset = 264;
constexpr int kLengthOffset = 66143;
constexpr int kCheckOffset = 66151;
constexpr int kHeaderEnd = kCheckOffset + 4;  // a file shorter than this has no length or check value
constexpr std::uint32_t kImageType = 0x1016;
constexpr quint64 kMaxDataLength = quint64(kImageBytes - kDataOffset);
constexpr int kBlockBytes = 2000;

struct Image {
    QByteArray data;  // the L bytes of firmware data
    std::uint32_t checkValue = 0;
};

// Reads an image file's content. False, with the reason, when the file is larger than 67200
// bytes, too short to hold the length and check value, of the wrong type, or when its data
// length would reach past the image.
bool parseImage(const QByteArray& file, Image* out, QString* reason);

struct Block {
    int offset = 0;  // in the firmware data, also the offset handed to WriteRom
    int length = 0;  // 0..2000
};

// The blocks the data goes out in: L / 2000 + 1 of them, each 2000 bytes but the last, which
// holds the rest (0 bytes when L is a multiple of 2000; that block is still sent).
QVector<Block> blockSchedule(int dataLength);

// Progress values sent to the page as "RefreshUpdateState". "5" is sent when the update starts;
// then they rise with the steps and the blocks, staying within 5..99 until the device is back.
constexpr int kProgressStart = 5;
constexpr int kProgressBootLoader = 10;  // the boot loader answered
constexpr int kProgressErased = 15;
constexpr int kProgressWritten = 90;  // the last block went out
constexpr int kProgressChecked = 95;
constexpr int kProgressFinished = 97;
constexpr int kProgressStamped = 98;
constexpr int kProgressDone = 100;
// The value after `sent` of `total` blocks: from just above kProgressErased to kProgressWritten.
int blockProgress(int sent, int total);

// The waits between the steps, in milliseconds at scale 1 (31 s in all, plus 20 ms a block).
constexpr int kWaitAfterBootLoaderSwitch = 8000;
constexpr int kWaitAfterErase = 5000;
constexpr int kWaitAfterBlock = 20;
constexpr int kWaitBeforeCheck = 8000;
constexpr int kWaitAfterCheck = 1000;
constexpr int kWaitAfterFinish = 8000;
constexpr int kWaitAfterVersion = 1000;

// KESTRAFON_WAIT_SCALE: a factor for every wait of a firmware update, so tests can run one in
// a few milliseconds. Unset or empty gives 1; a value that is not a number from 0 to 100 gives
// 1 and sets *valid to false.
double waitScaleFrom(const QByteArray& text, bool* valid = nullptr);
// A wait of `ms` milliseconds scaled, in microseconds.
qint64 scaledWaitMicroseconds(int ms, double scale);

}  // namespace kf::device::firmware
