#include "cefclient/update_digest.h"

#include <QMap>

namespace kf::update {

void UpdateDigest::beginFile(const QString& relativePath, quint64 size) {
    const QByteArray path = relativePath.toUtf8();
    hash_.addData(path.constData(), path.size());
    char header[9] = {0};
    for (int i = 0; i < 8; ++i) {
        header[1 + i] = char((size >> (56 - 8 * i)) & 0xff);
    }
    hash_.addData(header, sizeof header);
}

QString updateDigest(const QVector<QPair<QString, QByteArray>>& files) {
    QMap<QByteArray, const QByteArray*> sorted;  // UTF-8 byte order
    for (const auto& file : files) {
        sorted.insert(file.first.toUtf8(), &file.second);
    }
    UpdateDigest digest;
    for (auto it = sorted.cbegin(); it != sorted.cend(); ++it) {
        digest.beginFile(QString::fromUtf8(it.key()), quint64(it.value()->size()));
        digest.addData(it.value()->constData(), it.value()->size());
    }
    return digest.hex();
}

bool isUpdateDigest(const QString& text) {
    if (text.size() != 64) {
        return false;
    }
    for (const QChar c : text) {
        if (!c.isDigit() && !(c >= QLatin1Char('a') && c <= QLatin1Char('f'))) {
            return false;
        }
    }
    return true;
}

}  // namespace kf::update
