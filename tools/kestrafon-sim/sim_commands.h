#pragma once
// The commands of kestrafon-sim. Each writes its output to `out`, its complaints to `err` and
// returns the exit status: 0 done, 1 failed (unknown device, unreadable device file, state
// folder not writable), 2 wrong usage.
#include <QStringList>
#include <QTextStream>

namespace kf::usbsim {

int runSimCommand(const QStringList& args, QTextStream& out, QTextStream& err);

// The usage text.
QString simUsage();

}  // namespace kf::usbsim
