#pragma once
// Naming the frames of a crash dump. The crash handler writes raw addresses (the "pc:" line and
// the "backtrace:" section, newest first) and a copy of the crashed process's /proc/self/maps
// (the "maps:" section). Each address is looked up in the mapping that holds it; module and file
// offset are then turned into the function whose ELF symbol (the full symbol table, else the
// dynamic one) covers it. A frame that cannot be named keeps its module and offset, or only its
// address when no mapping holds it.
#include <QByteArray>
#include <QStringList>

// One line per frame: "#<n> 0x<address> <function>+0x<offset> (<module>+0x<offset>)". Empty
// when the dump has no frames. The modules are read from disk, so this is done on the machine
// that crashed, right after the crash.
QStringList nameFrames(const QByteArray& dump);
