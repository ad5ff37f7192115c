#pragma once
// Reads a music file's tags and stream properties with TagLib, choosing the reader by the
// format found in the file's content rather than by its name.
#include <QString>

#include "music/player.h"

namespace kf::music {

// False, with `error` set, when TagLib does not find a valid file of that format.
bool readStreamFacts(const QString& path, StreamFormat format, TagRecord* tags, StreamInfo* info,
                     QString* error);

}  // namespace kf::music
