#include "encoding/key_colours.h"

#include "encoding/key_matrix.h"

namespace kf::encoding {
namespace {

// Byte offset of the red component of matrix position `index` (0..125), which always leaves
// room for green and blue inside the frame.
int colourOffset(int index) {
    return KeyColourFrame::kHeaderBytes + 3 * index;
}

char hexByte(const QString& colour, int from) {
    bool ok = false;
    const uint value = colour.mid(from, 2).toUInt(&ok, 16);
    return ok ? static_cast<char>(value & 0xFF) : char(0);
}

}  // namespace

QString unwrapColourData(const QString& data) {
    QString text = data.mid(2);
    text.chop(2);
    text.replace(QStringLiteral("\\\\"), QStringLiteral("\\"));
    return text;
}

QStringList colourItems(const QString& unwrapped) {
    return unwrapped.split(QStringLiteral("\",\""), Qt::KeepEmptyParts);
}

KeyColourFrame::KeyColourFrame() : buffer_(kFrameBytes, char(0)) {
    static const unsigned char header[kHeaderBytes] = {0x05, 0x02, 0xBB, 0xAA, 0x07, 0x00, 0xF8, 0x01};
    for (int i = 0; i < kHeaderBytes; ++i) {
        buffer_[i] = static_cast<char>(header[i]);
    }
}

void KeyColourFrame::apply(const QStringList& items) {
    for (const QString& name : std::as_const(previous_)) {
        const int index = matrixIndex(name);
        if (index >= 0) {
            const int offset = colourOffset(index);
            buffer_[offset] = buffer_[offset + 1] = buffer_[offset + 2] = 0;
        }
    }
    previous_.clear();
    for (const QString& item : items) {
        const QStringList parts = item.split(QLatin1Char('#'));
        if (parts.size() != 2) {
            continue;
        }
        const int index = matrixIndex(parts.at(0));
        if (index < 0) {
            continue;
        }
        previous_.append(parts.at(0));
        const QString& colour = parts.at(1);
        if (colour.size() < 3) {
            continue;
        }
        const int offset = colourOffset(index);
        buffer_[offset] = hexByte(colour, 0);
        buffer_[offset + 1] = hexByte(colour, 2);
        buffer_[offset + 2] = hexByte(colour, 4);
    }
}

}  // namespace kf::encoding
