#pragma once
// Builds theme archives in the format theme_archive reads (see theme_archive.h). Used by the
// kestrafon-archive tool, the build (resources/themedata into theme.dat) and the tests.
#include <QByteArray>
#include <QString>

#include "cefclient/theme_archive.h"

struct ThemeArchiveOptions {
    int preset = 6;         // LZMA preset 0..9, as xz's -0 .. -9
    bool endMarker = true;  // write the LZMA end marker (xz can then decode the raw stream)
    QString text;           // free text for the first 128 bytes (cut to 127 UTF-8 bytes)
};

// Builds an archive in memory. Every path must pass theme_archive::isSafeRelativePath and the
// payload must stay within theme_archive::kMaxPayloadSize; otherwise the result is empty and
// the reason is in *error.
QByteArray buildThemeArchive(const theme_archive::Contents& contents, const ThemeArchiveOptions& options = {},
                             QString* error = nullptr);

// Wraps an already serialised payload (the QDataStream content described in theme_archive.h)
// into an archive without looking into it. For tests and benchmarks that need exact bytes.
QByteArray buildThemeArchiveFromPayload(const QByteArray& payload, const ThemeArchiveOptions& options = {},
                                        QString* error = nullptr);

// Archives every file below dir (recursively, sorted, paths relative to dir) with the package
// name `name` and writes the archive to outPath atomically.
bool writeThemeArchive(const QString& dir, const QString& outPath, const QString& name, QString* error);
