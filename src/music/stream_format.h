#pragma once
// Recognises a music file's format from its first bytes, whatever its name says.
#include <QByteArray>
#include <QString>

#include "music/player.h"

namespace kf::music {

// The format of a file that starts with `head` (its first 64 bytes or fewer), or Unknown.
StreamFormat formatOfHead(const QByteArray& head);

// Reads the start of `path` and names its format. Unknown, with `error` set, when the path is not
// a readable regular file (a pipe or a device would block or never end) or of no known format.
StreamFormat detectStreamFormat(const QString& path, QString* error);

QString formatName(StreamFormat format);

}  // namespace kf::music
