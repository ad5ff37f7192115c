#pragma once
// Builds resource packs in the format ResourcePack reads (see resource_pack.h). Used by the
// kestrafon-pak tool, the build (web/pages into theme.pak) and the tests.
#include <QByteArray>
#include <QPair>
#include <QString>
#include <QVector>

struct ResourcePackSource {
    QString name;  // full entry name, e.g. "theme/black/client.html"; at most 149 UTF-8 bytes
    QByteArray data;
};

// Builds a pack in memory from explicit entries, in the given order. With `subtract` the
// direction flag is set, so a reader subtracts `shift` from every stored byte; otherwise it
// adds it. Fails (empty result, reason in *error) without entries, with an empty or too long
// name, or when the pack would not fit the 32-bit offsets.
QByteArray buildResourcePack(const QVector<ResourcePackSource>& entries, quint8 shift, bool subtract,
                             QString* error = nullptr);

// Packs every file below dir (recursively, in sorted path order) under the entry name
// <base name of outPath> + "/" + <path relative to dir>, and writes the pack to outPath
// atomically. "web/pages" packed into "app/theme.pak" gives "theme/black/client.html".
bool writeResourcePack(const QString& dir, const QString& outPath, quint8 shift, bool subtract,
                       QString* error);
