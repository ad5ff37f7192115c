#pragma once
// Shared pieces of the file-command tests: two scratch roots, small file helpers and readable
// failure messages.
#include <QByteArray>
#include <QDir>
#include <QFile>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QVariantMap>

#include <ostream>

#include <gtest/gtest.h>

#include "window/command_answer.h"
#include "window/file_cache.h"
#include "window/file_commands.h"

// Readable QString values in failure messages (the same definition in every test file).
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

inline void PrintTo(const CommandAnswer& answer, std::ostream* out) {
    static const char* const kinds[] = {"None", "Success", "Failure"};
    *out << kinds[answer.kind] << "(\"" << answer.text.toStdString() << "\")";
}

namespace filestest {

inline bool writeFile(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

// The file's bytes, or "<missing>" when it cannot be read.
inline QByteArray readFile(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        return "<missing>";
    }
    return file.readAll();
}

inline QVariantMap readArgs(const QString& filePath, const QString& xpath) {
    return QVariantMap{{QStringLiteral("FuncName"), QStringLiteral("ReadFileToStr")},
                       {QStringLiteral("FilePath"), filePath},
                       {QStringLiteral("Xpath"), xpath}};
}

inline QVariantMap modifyArgs(const QString& filePath, const QString& content) {
    return QVariantMap{{QStringLiteral("FuncName"), QStringLiteral("ModifyFileFromStr")},
                       {QStringLiteral("FilePath"), filePath},
                       {QStringLiteral("ContentStr"), content}};
}

// The text a replacement is stored and saved as: the library's serialisation with a
// declaration and tab indentation.
inline QString stored(const QString& body) {
    return QStringLiteral("<?xml version=\"1.0\"?>\n") + body;
}

inline CommandAnswer readFailed() {
    return CommandAnswer::failure(QStringLiteral("queryProfile load xml file failed!"));
}
inline CommandAnswer modifyOk() {
    return CommandAnswer::success(QStringLiteral("ModifyFileFromStr success"));
}
inline CommandAnswer modifyFailed() {
    return CommandAnswer::failure(QStringLiteral("ModifyFileFromStr failed"));
}
inline CommandAnswer saveOk() {
    return CommandAnswer::success(QStringLiteral("save xml success"));
}

// A cache over two fresh folders: `temp` stands for the temporary folder, `app` for the
// application directory.
class FileCacheTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(tempRoot_.isValid());
        ASSERT_TRUE(appRoot_.isValid());
        cache_ = std::make_unique<FileCache>(temp(), app());
    }

    QString temp() const { return tempRoot_.path(); }
    QString app() const { return appRoot_.path(); }
    QString tempFile(const QString& name) const { return temp() + QLatin1Char('/') + name; }
    QString appFile(const QString& name) const { return app() + QLatin1Char('/') + name; }
    FileCache& cache() { return *cache_; }
    FileCommands commands() { return FileCommands(*cache_); }

    QTemporaryDir tempRoot_;
    QTemporaryDir appRoot_;
    std::unique_ptr<FileCache> cache_;
};

}  // namespace filestest
