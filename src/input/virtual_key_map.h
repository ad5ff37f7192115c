#pragma once
// Reading the page's virtual key map: XML with root `map` and one `key` element per trigger
// (attributes flag, scancode, type, playtype, playcount, playdelay; the command is attribute
// `value` of the key's first child element). Key names resolve through the key code map, so
// it must be loaded first (kf::encoding::loadKeyCodeMap).
#include <QString>

#include "input/trigger_entry.h"

namespace kf::input {

// The trigger map of `text`; false (with an empty map) when the text does not parse or the
// root `map` has no child element.
bool parseVirtualKeyMap(const QString& text, TriggerMap* out);

// The actions of one entry of `type` with `command` (empty when nothing is playable).
QVector<MacroAction> actionsFor(const QString& type, const QString& command);

}  // namespace kf::input
