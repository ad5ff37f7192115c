#pragma once
// Per-key lighting of keyboards ("NotifyRGBDevice"): the page's colour list is unwrapped from
// its "Data" text and laid into the 1024-byte colour frame that is sent to the keyboard.
#include <QByteArray>
#include <QString>
#include <QStringList>

namespace kf::encoding {

// Steps 1 and 2 of reading "Data", a JSON string array written as text (["a","b"] with
// backslashes doubled): the first two and the last two characters go, then every pair of
// backslashes becomes one. This is also the answer text. Short texts simply end up empty.
QString unwrapColourData(const QString& data);

// Step 3: the unwrapped text split at the separator "," between quotes (double quote, comma,
// double quote), empty parts kept. An empty text gives one empty item.
QStringList colourItems(const QString& unwrapped);

// The colour frame of one keyboard and the names it coloured last. Bytes 0..7 are the frame
// header 05 02 BB AA 07 00 F8 01; key matrix position i has red, green, blue at 8 + 3i.
class KeyColourFrame {
public:
    static constexpr int kFrameBytes = 1024;
    static constexpr int kHeaderBytes = 8;

    KeyColourFrame();

    // Applies one list of items "NAME#RRGGBB": the keys coloured by the previous list are turned
    // off (colour 0), then each item's key gets its colour. Items that do not split at "#" into
    // exactly two parts, and items whose name is not in the key matrix layout (an empty name
    // among them), are ignored. A colour shorter than three characters only records the key (it
    // is turned off next time); otherwise characters 0-1, 2-3, 4-5 are read as hexadecimal red,
    // green, blue (malformed or missing digits read as 0).
    void apply(const QStringList& items);

    const QByteArray& buffer() const { return buffer_; }
    const QStringList& previousKeys() const { return previous_; }

private:
    QByteArray buffer_;
    QStringList previous_;
};

}  // namespace kf::encoding
