#pragma once
// The GNU build id of the running program, which tells a dump's reader which build crashed.
#include <QByteArray>

namespace kf::crash {

// Runs before crashing: normal context.
// Lower-case hex of the main program's build id note; empty when it has none.
QByteArray mainBuildId();

}  // namespace kf::crash
