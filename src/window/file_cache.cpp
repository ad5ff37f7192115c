#include "window/file_cache.h"

#include <QDebug>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTextStream>

#include <new>
#include <string>
#include <utility>
#include <vector>

#include <pugixml.hpp>

#include "cefclient/theme_archive.h"

const char FileCache::kReadFailed[] = "queryProfile load xml file failed!";
const char FileCache::kModifyOk[] = "ModifyFileFromStr success";
const char FileCache::kModifyFailed[] = "ModifyFileFromStr failed";
const char FileCache::kSaveOk[] = "save xml success";

namespace {

using DocumentPtr = std::shared_ptr<const pugi::xml_document>;

// Collects the library's output in one UTF-8 buffer.
class StringWriter : public pugi::xml_writer {
public:
    void write(const void* data, size_t size) override { out.append(static_cast<const char*>(data), size); }
    std::string out;
};

QString withoutTrailingSlash(const QString& root) {
    if (root.size() > 1 && root.endsWith(QLatin1Char('/'))) {
        return root.left(root.size() - 1);
    }
    return root;
}

// Parses with the library's default options. Null when the text is not a document.
DocumentPtr parseDocument(const QString& text) {
    const QByteArray utf8 = text.toUtf8();
    auto doc = std::make_shared<pugi::xml_document>();
    const pugi::xml_parse_result result = doc->load_buffer(utf8.constData(), static_cast<size_t>(utf8.size()),
                                                           pugi::parse_default, pugi::encoding_utf8);
    if (!result) {
        return nullptr;
    }
    return doc;
}

// Whether the text is one well-formed document: it parses without error, and, read as a
// fragment so that nothing is skipped, holds exactly one element and no text beside it. The
// default options would silently drop text around the root, and a store of what was left
// would later overwrite a good file with it.
bool isWholeDocument(const QByteArray& utf8, QString* why) {
    if (utf8.contains('\0')) {
        *why = QStringLiteral("contains a NUL character");
        return false;
    }
    pugi::xml_document fragment;
    const pugi::xml_parse_result result =
        fragment.load_buffer(utf8.constData(), static_cast<size_t>(utf8.size()),
                             pugi::parse_default | pugi::parse_fragment, pugi::encoding_utf8);
    if (!result) {
        *why =
            QStringLiteral("%1 at offset %2").arg(QString::fromUtf8(result.description())).arg(result.offset);
        return false;
    }
    int elements = 0;
    for (const pugi::xml_node& child : fragment.children()) {
        if (child.type() == pugi::node_element) {
            ++elements;
        } else if (child.type() == pugi::node_pcdata || child.type() == pugi::node_cdata) {
            *why = QStringLiteral("text outside the root element");
            return false;
        }
    }
    if (elements != 1) {
        *why =
            elements == 0 ? QStringLiteral("no root element") : QStringLiteral("more than one root element");
        return false;
    }
    return true;
}

// Selects the node set of `xpath` and prints each node with "\t" indentation, one after the
// other. An attribute in the set has no node of its own and prints nothing. False (with the
// library's reason) for an expression that does not compile or does not give a node set. The
// library reports such errors by throwing, so they are caught here, at its edge.
bool printQuery(const pugi::xml_document& doc, const QString& xpath, QString* result, QString* why) {
    const QByteArray expression = xpath.toUtf8();
    if (expression.contains('\0')) {
        *why = QStringLiteral("contains a NUL character");
        return false;
    }
    try {
        const pugi::xpath_query query(expression.constData());
        if (query.return_type() != pugi::xpath_type_node_set) {
            *why = QStringLiteral("does not select nodes");
            return false;
        }
        const pugi::xpath_node_set nodes = query.evaluate_node_set(doc);
        StringWriter writer;
        for (const pugi::xpath_node& node : nodes) {
            node.node().print(writer, "\t", pugi::format_indent, pugi::encoding_utf8);
        }
        *result = QString::fromUtf8(writer.out.data(), static_cast<int>(writer.out.size()));
        return true;
    } catch (const pugi::xpath_exception& error) {
        *why = QString::fromUtf8(error.what());
    } catch (const std::bad_alloc&) {
        *why = QStringLiteral("out of memory");
    }
    return false;
}

}  // namespace

// The parsed documents of recently queried files, most recently used first.
struct FileCache::ParsedDocuments {
    std::vector<std::pair<QString, DocumentPtr>> entries;

    DocumentPtr find(const QString& path) {
        for (size_t i = 0; i < entries.size(); ++i) {
            if (entries[i].first == path) {
                auto entry = std::move(entries[i]);
                entries.erase(entries.begin() + static_cast<std::ptrdiff_t>(i));
                entries.insert(entries.begin(), std::move(entry));
                return entries.front().second;
            }
        }
        return nullptr;
    }

    void add(const QString& path, DocumentPtr doc) {
        entries.insert(entries.begin(), {path, std::move(doc)});
        if (entries.size() > static_cast<size_t>(kMaxParsedDocuments)) {
            entries.pop_back();
        }
    }

    void drop(const QString& path) {
        for (auto it = entries.begin(); it != entries.end(); ++it) {
            if (it->first == path) {
                entries.erase(it);
                return;
            }
        }
    }
};

FileCache::FileCache(const QString& readRoot, const QString& writeRoot)
    : readRoot_(withoutTrailingSlash(readRoot)),
      writeRoot_(withoutTrailingSlash(writeRoot)),
      parsed_(std::make_unique<ParsedDocuments>()) {}

FileCache::~FileCache() = default;

void FileCache::setKeepParsedDocuments(bool keep) {
    keepParsed_ = keep;
    if (!keep) {
        parsed_->entries.clear();
    }
}

bool FileCache::writeFileAtomically(const QString& path, const QByteArray& data, const CommitGate& gate) {
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        return false;
    }
    if (file.write(data) != data.size() || !file.flush()) {
        file.cancelWriting();
        return false;
    }
    if (gate && !gate(path)) {
        file.cancelWriting();
        return false;
    }
    // commit() syncs the temporary file and renames it over the old one; on failure the
    // temporary file is removed and the old file stays as it was.
    return file.commit();
}

void FileCache::allowChosenPath(const QString& path) {
    if (QDir::isAbsolutePath(path)) {
        chosen_.insert(QDir::cleanPath(path));
    }
}

QString FileCache::chosenPath(const QString& pagePath) const {
    if (!QDir::isAbsolutePath(pagePath)) {
        return QString();
    }
    const QString clean = QDir::cleanPath(pagePath);
    return chosen_.contains(clean) ? clean : QString();
}

void FileCache::loadFileToCache(const QString& path) {
    if (files_.contains(path)) {
        return;
    }
    // Only regular files: a folder does not open as one, and a pipe or device could block
    // the GUI thread or never end.
    const QFileInfo info(path);
    if (!info.isFile()) {
        return;
    }
    if (info.size() > kMaxFileBytes) {
        qWarning().noquote()
            << QStringLiteral("file %1 is larger than %2 bytes and is not read").arg(path).arg(kMaxFileBytes);
        return;
    }
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) {
        return;
    }
    QByteArray bytes = file.read(kMaxFileBytes + 1);
    if (bytes.size() > kMaxFileBytes) {
        qWarning().noquote() << QStringLiteral("file %1 grew past %2 bytes while read and is not cached")
                                    .arg(path)
                                    .arg(kMaxFileBytes);
        return;
    }
    QTextStream stream(&bytes, QIODevice::ReadOnly);
    stream.setCodec("UTF-8");
    files_.insert(path, stream.readAll());
}

void FileCache::storeText(const QString& path, const QString& text) {
    files_.insert(path, text);
    parsed_->drop(path);
    if (!changed_.contains(path)) {
        changed_.append(path);
    }
}

FileCache::SaveOutcome FileCache::saveChangedFiles() {
    if (files_.isEmpty()) {
        return SaveOutcome::NothingCached;
    }
    for (const QString& path : qAsConst(changed_)) {
        if (!writeFileAtomically(path, files_.value(path).toUtf8(), gate_)) {
            qWarning().noquote() << QStringLiteral("could not write %1; %2 changed file(s) stay unsaved")
                                        .arg(path)
                                        .arg(changed_.size());
            return SaveOutcome::Failed;
        }
    }
    changed_.clear();
    return SaveOutcome::Saved;
}

CommandAnswer FileCache::readFileToStr(const QVariantMap& args) {
    if (!args.contains(QStringLiteral("FilePath"))) {
        return CommandAnswer::none();
    }
    const QString relative = args.value(QStringLiteral("FilePath")).toString();
    const QString xpath = args.value(QStringLiteral("Xpath")).toString();
    const QString chosen = chosenPath(relative);
    if (chosen.isEmpty() && !theme_archive::isSafeRelativePath(relative)) {
        qWarning().noquote()
            << QStringLiteral("ReadFileToStr: refused file path \"%1\" outside %2").arg(relative, readRoot_);
        return CommandAnswer::failure(QString::fromLatin1(kReadFailed));
    }
    const QString path = chosen.isEmpty() ? readRoot_ + QLatin1Char('/') + relative : chosen;
    loadFileToCache(path);

    DocumentPtr doc = keepParsed_ ? parsed_->find(path) : nullptr;
    if (!doc) {
        doc = parseDocument(files_.value(path));
        if (!doc) {
            return CommandAnswer::failure(QString::fromLatin1(kReadFailed));
        }
        if (keepParsed_) {
            parsed_->add(path, doc);
        }
    }
    QString result;
    QString why;
    if (!printQuery(*doc, xpath, &result, &why)) {
        qWarning().noquote()
            << QStringLiteral("ReadFileToStr: XPath \"%1\" on %2 failed: %3").arg(xpath, path, why);
        return CommandAnswer::failure(QString::fromLatin1(kReadFailed));
    }
    return CommandAnswer::success(result);
}

CommandAnswer FileCache::modifyFileFromStr(const QVariantMap& args) {
    const QString relative = args.value(QStringLiteral("FilePath")).toString();
    const QString content = args.value(QStringLiteral("ContentStr")).toString();
    const QString failed = QString::fromLatin1(kModifyFailed);
    const QString chosen = chosenPath(relative);
    if (chosen.isEmpty() && !theme_archive::isSafeRelativePath(relative)) {
        qWarning().noquote() << QStringLiteral("ModifyFileFromStr: refused file path \"%1\" outside %2")
                                    .arg(relative, writeRoot_);
        return CommandAnswer::failure(failed);
    }
    const QString path = chosen.isEmpty() ? writeRoot_ + QLatin1Char('/') + relative : chosen;
    if (QFileInfo(path).isDir()) {
        qWarning().noquote() << QStringLiteral("ModifyFileFromStr: %1 is a folder").arg(path);
        return CommandAnswer::failure(failed);
    }

    const QByteArray utf8 = content.toUtf8();
    QString why;
    if (!isWholeDocument(utf8, &why)) {
        qWarning().noquote()
            << QStringLiteral(
                   "ModifyFileFromStr: content for %1 is not well-formed XML (%2); kept the old text")
                   .arg(path, why);
        return CommandAnswer::failure(failed);
    }
    pugi::xml_document doc;
    if (!doc.load_buffer(utf8.constData(), static_cast<size_t>(utf8.size()), pugi::parse_default,
                         pugi::encoding_utf8)) {
        return CommandAnswer::failure(failed);
    }
    // Saving adds an XML declaration when the content has none.
    StringWriter writer;
    doc.save(writer, "\t", pugi::format_indent, pugi::encoding_utf8);
    const QByteArray serialised(writer.out.data(), static_cast<int>(writer.out.size()));

    // A new file exists on disk at once; an existing one is written at the next save.
    if (!QFileInfo::exists(path) && !writeFileAtomically(path, serialised, gate_)) {
        qWarning().noquote() << QStringLiteral(
                                    "ModifyFileFromStr: could not create %1; it is written at the next save")
                                    .arg(path);
    }
    const QString text = QString::fromUtf8(serialised);
    qInfo().noquote() << text;
    storeText(path, text);
    return CommandAnswer::success(QString::fromLatin1(kModifyOk));
}

CommandAnswer FileCache::savexml() {
    if (saveChangedFiles() != SaveOutcome::Saved) {
        return CommandAnswer::none();
    }
    return CommandAnswer::success(QString::fromLatin1(kSaveOk));
}

CommandAnswer FileCache::downloadFile(const QVariantMap& args) {
    // The name is recognised so that it reaches no other command; nothing is downloaded.
    Q_UNUSED(args)
    return CommandAnswer::none();
}

CommandAnswer FileCache::getWindowsKeyboreadConfig() {
    return CommandAnswer::none();
}
