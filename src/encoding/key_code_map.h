#pragma once
// The key code map: upper-cased Define task -> HID usage text, loaded once at start-up from
// ":/drive/Define" and read by the software macro player. Loading and lookups may happen on
// different threads; the map is guarded.
#include <QString>

namespace kf::encoding {

// Loads ":/drive/Define" into the key code map (see loadKeyCodeMapFrom).
bool loadKeyCodeMap();

// Loads the Define table at `path`: for every `key` child of the root `keyboard`, task upper-cased
// -> hidCode; a later row with the same upper-cased task replaces an earlier one. Returns false,
// keeping the previous map, when the file is missing, cannot be read or does not parse.
bool loadKeyCodeMapFrom(const QString& path);

// The HID usage text stored for `task` (exact, case-sensitive: callers upper-case first), or an
// empty string.
QString hidCodeForTask(const QString& task);

// Number of entries in the key code map.
int keyCodeMapSize();

}  // namespace kf::encoding
