#pragma once
// Keeping a crash dump: a dump in a temporary folder is copied into a "crashes" folder beside the
// reporter (temporary folders are emptied at reboot); a dump anywhere else stays where it is.
#include <QString>

struct KeptDump {
    bool kept = false;  // the dump exists and `location` names it
    QString location;   // where the user finds the dump
    QString problem;    // why it was not kept, or why it stayed in the temporary folder
};

// True when `folder` lies in a temporary folder (the system's, /tmp, /var/tmp or /dev/shm).
bool isTemporaryFolder(const QString& folder);

// Keeps the dump at `dumpPath`; `keepFolder` is the folder that receives "crashes".
KeptDump keepDump(const QString& dumpPath, const QString& keepFolder);
