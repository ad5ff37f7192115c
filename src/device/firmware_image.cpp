#include "device/firmware_image.h"

#include <QtEndian>
#include <cmath>

namespace kf::device::firmware {

bool parseImage(const QByteArray& file, Image* out, QString* reason) {
    if (file.size() > kImageBytes) {
        *reason = QStringLiteral("the image is %1 bytes, more than %2").arg(file.size()).arg(kImageBytes);
        return false;
    }
    if (file.size() < kHeaderEnd) {
        // Without these bytes the length and check value would be read from the zeros after the
        // file's end: a cut-off download must not reach the device.
        *reason = QStringLiteral("the image is %1 bytes, too short to hold its length and check value")
                      .arg(file.size());
        return false;
    }
    const char* bytes = file.constData();
    const auto type = qFromLittleEndian<std::uint32_t>(bytes);
    const auto second = qFromLittleEndian<std::uint32_t>(bytes + 4);
    if (type != kImageType || second != 0) {
        *reason = QStringLiteral("the image type is 0x%1/%2, not 0x1016/0").arg(type, 0, 16).arg(second);
        return false;
    }
    const auto length = qFromLittleEndian<quint64>(bytes + kLengthOffset);
    if (length > kMaxDataLength) {
        *reason = QStringLiteral("the data length %1 reaches past the image").arg(length);
        return false;
    }
    // The data may run past the end of a shorter file; the image buffer is zero there.
    QByteArray data(int(length), '\0');
    const int present = qBound(0, file.size() - kDataOffset, int(length));
    std::copy(bytes + kDataOffset, bytes + kDataOffset + present, data.data());
    out->data = data;
    out->checkValue = qFromLittleEndian<std::uint32_t>(bytes + kCheckOffset);
    return true;
}

QVector<Block> blockSchedule(int dataLength) {
    QVector<Block> blocks;
    if (dataLength < 0) {
        return blocks;
    }
    const int count = dataLength / kBlockBytes + 1;
    int remaining = dataLength;
    for (int i = 0; i < count; ++i) {
        blocks.append({i * kBlockBytes, remaining > kBlockBytes ? kBlockBytes : remaining});
        remaining -= kBlockBytes;
    }
    return blocks;
}

int blockProgress(int sent, int total) {
    if (total <= 0) {
        return kProgressWritten;
    }
    const int span = kProgressWritten - kProgressErased;
    return kProgressErased + int((qint64(span) * qBound(0, sent, total) + total - 1) / total);
}

double waitScaleFrom(const QByteArray& text, bool* valid) {
    if (valid) {
        *valid = true;
    }
    if (text.trimmed().isEmpty()) {
        return 1.0;
    }
    bool ok = false;
    const double scale = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(scale) || scale < 0 || scale > 100) {
        if (valid) {
            *valid = false;
        }
        return 1.0;
    }
    return scale;
}

qint64 scaledWaitMicroseconds(int ms, double scale) {
    return qint64(std::llround(double(ms) * 1000.0 * scale));
}

}  // namespace kf::device::firmware
