#include "encoding/driver_table.h"

#include "encoding/drive_resources.h"

#include <QMap>
#include <QMutex>
#include <QMutexLocker>

namespace kf::encoding {
namespace {

constexpr int kMaxMemoEntries = 4096;

QMutex& registryLock() {
    static QMutex lock;
    return lock;
}

QMap<QString, QByteArray>& registry() {
    static QMap<QString, QByteArray> tables;
    return tables;
}

}  // namespace

bool DriverTable::parse(const QByteArray& xml) {
    memo_.clear();
    doc_.reset();
    loaded_ = static_cast<bool>(doc_.load_buffer(xml.constData(), static_cast<size_t>(xml.size())));
    if (!loaded_) {
        doc_.reset();
    }
    return loaded_;
}

QString DriverTable::driverCode(const QString& task) const {
    if (!loaded_ || task.contains(QLatin1Char('"')) || task.contains(QChar(0))) {
        return QString();
    }
    const auto memo = memo_.constFind(task);
    if (memo != memo_.constEnd()) {
        return memo.value();
    }
    const QByteArray query = "/Driver/key[@Task=\"" + task.toUtf8() + "\"]";
    const pugi::xpath_node match = doc_.select_node(query.constData());
    const QString code = QString::fromUtf8(match.node().attribute("Code").value());
    if (memo_.size() >= kMaxMemoEntries) {
        memo_.clear();
    }
    memo_.insert(task, code);
    return code;
}

bool registerDriverTable(const QString& path) {
    QByteArray text;
    pugi::xml_document doc;
    if (!loadTableDocument(path, &text, &doc)) {
        return false;
    }
    const QString version = QString::fromUtf8(doc.child("Driver").attribute("Version").value());
    QMutexLocker locker(&registryLock());
    registry().insert(version, text);
    return true;
}

QString registeredDriverTable(const QString& version) {
    QMutexLocker locker(&registryLock());
    return QString::fromUtf8(registry().value(version));
}

bool loadDriverTable(DriverTable* table, const QString& version) {
    if (table == nullptr) {
        return false;
    }
    QByteArray text;
    {
        QMutexLocker locker(&registryLock());
        const auto found = registry().constFind(version);
        if (found == registry().constEnd()) {
            table->parse(QByteArray());
            return false;
        }
        text = found.value();
    }
    return table->parse(text);
}

}  // namespace kf::encoding
