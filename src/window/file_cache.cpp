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

namespace {

using DocumentPtr = std::shared_ptr<const pugi::xml_document>;

// Collects the library's output in one UTF-8 buffer.
class StringWriter : public pugi::xml_writer {
public:
    void write(const void* data, size_t size) override { out.append(static_cast<const char*>(data), size); }
    std::string out;
};

// Collects at most `limit` bytes of the library's output; past that it only notes the overflow,
// so an oversized document never takes more memory than the limit.
class BoundedWriter : public pugi::xml_writer {
public:
    explicit BoundedWriter(size_t limit) : limit_(limit) {}
    void write(const void* data, size_t size) override {
        if (overflow || size > limit_ - out.size()) {
            overflow = true;
            return;
        }
        out.append(static_cast<const char*>(data), size);
    }
    std::string out;
    bool overflow = false;

private:
    const size_t limit_;
};

// Stops the (iterative) walk at the first node nested deeper than the limit; the root element
// is at level 1.
class DepthCheck : public pugi::xml_tree_walker {
public:
    explicit DepthCheck(int limit) : limit_(limit) {}
    bool for_each(pugi::xml_node&) override {
        tooDeep = depth() + 1 > limit_;
        return !tooDeep;
    }
    bool tooDeep = false;

private:
    const int limit_;
};

// Page texts in log lines (paths, expressions) are cut to this many characters.
constexpr int kLogPathChars = 300;

// The first 4 KB of a logged text, with its length when it is longer.
QString logExcerpt(const QString& text) {
    constexpr int kLogChars = 4096;
    if (text.size() <= kLogChars) {
        return text;
    }
    return text.left(kLogChars) + QStringLiteral("… [%1 characters in all]").arg(text.size());
}

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

bool FileCache::writeFileAtomically(const QString& path, const QByteArray& data, const CommitGate& gate,
                                    QString* error) {
    QSaveFile file(path);
    const auto fail = [&](const QString& why) {
        if (error) {
            *error = why;
        }
        return false;
    };
    if (!file.open(QIODevice::WriteOnly | QIODevice::Text)) {
        return fail(file.errorString());
    }
    if (file.write(data) != data.size() || !file.flush()) {
        const QString why = file.errorString();
        file.cancelWriting();
        return fail(why);
    }
    if (gate && !gate(path)) {
        file.cancelWriting();
        return fail(QStringLiteral("interrupted"));
    }
    // commit() syncs the temporary file and renames it over the old one; on failure the
    // temporary file is removed and the old file stays as it was.
    return file.commit() || fail(file.errorString());
}

void FileCache::allowChosenPath(const QString& path) {
    if (QDir::isAbsolutePath(path)) {
        chosen_.insert(QDir::cleanPath(path));
    }
}

QString FileCache::readPathFor(const QString& relative) const {
    const QString own = writeRoot_ + QLatin1Char('/') + relative;
    if (own != readRoot_ + QLatin1Char('/') + relative && (files_.contains(own) || QFileInfo(own).isFile())) {
        return own;
    }
    return readRoot_ + QLatin1Char('/') + relative;
}

QString FileCache::refusalReason(const QString& pagePath, const QString& root, const QString& verb) {
    if (QDir::isAbsolutePath(pagePath)) {
        return QStringLiteral("an absolute path is %1 only when it was chosen in a file dialog").arg(verb);
    }
    return QStringLiteral("it is empty, climbs out of %1 with \"..\" or names no file").arg(root);
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
        QString error;
        if (!writeFileAtomically(path, files_.value(path).toUtf8(), gate_, &error)) {
            qWarning().noquote() << QStringLiteral("could not write %1 (%2); %3 changed file(s) stay unsaved")
                                        .arg(path.left(kLogPathChars), error)
                                        .arg(changed_.size());
            return SaveOutcome::Failed;
        }
    }
    changed_.clear();
    return SaveOutcome::Saved;
}

std::optional<QString> FileCache::query(const QString& relative, const QString& xpath) {
    const QString chosen = chosenPath(relative);
    if (chosen.isEmpty() && !theme_archive::isSafeRelativePath(relative)) {
        qWarning().noquote() << QStringLiteral("ReadFileToStr: refused file path \"%1\": %2")
                                    .arg(relative.left(kLogPathChars),
                                         refusalReason(relative, readRoot_, QStringLiteral("read")));
        return std::nullopt;
    }
    const QString path = chosen.isEmpty() ? readPathFor(relative) : chosen;
    loadFileToCache(path);

    DocumentPtr doc = keepParsed_ ? parsed_->find(path) : nullptr;
    if (!doc) {
        doc = parseDocument(files_.value(path));
        if (!doc) {
            return std::nullopt;
        }
        if (keepParsed_) {
            parsed_->add(path, doc);
        }
    }
    QString result;
    QString why;
    if (!printQuery(*doc, xpath, &result, &why)) {
        qWarning().noquote() << QStringLiteral("ReadFileToStr: XPath \"%1\" on %2 failed: %3")
                                    .arg(xpath.left(kLogPathChars), path, why);
        return std::nullopt;
    }
    return result;
}

bool FileCache::replace(const QString& relative, const QString& content) {
    const QString chosen = chosenPath(relative);
    if (chosen.isEmpty() && !theme_archive::isSafeRelativePath(relative)) {
        qWarning().noquote() << QStringLiteral("ModifyFileFromStr: refused file path \"%1\": %2")
                                    .arg(relative.left(kLogPathChars),
                                         refusalReason(relative, writeRoot_, QStringLiteral("written")));
        return false;
    }
    const QString path = chosen.isEmpty() ? writeRoot_ + QLatin1Char('/') + relative : chosen;
    const QString shown = path.left(kLogPathChars);  // in log lines
    if (QFileInfo(path).isDir()) {
        qWarning().noquote() << QStringLiteral("ModifyFileFromStr: %1 is a folder").arg(shown);
        return false;
    }

    const QByteArray utf8 = content.toUtf8();
    QString why;
    if (!isWholeDocument(utf8, &why)) {
        qWarning().noquote()
            << QStringLiteral(
                   "ModifyFileFromStr: content for %1 is not well-formed XML (%2); kept the old text")
                   .arg(shown, why);
        return false;
    }
    pugi::xml_document doc;
    if (!doc.load_buffer(utf8.constData(), static_cast<size_t>(utf8.size()), pugi::parse_default,
                         pugi::encoding_utf8)) {
        return false;
    }
    // The document is written back with one tab per level, so its written form grows with the
    // square of its depth: deeper content, or content whose written form would exceed the
    // bound, is refused before anything changes.
    DepthCheck depth(kMaxNestingDepth);
    doc.traverse(depth);
    if (depth.tooDeep) {
        qWarning().noquote()
            << QStringLiteral(
                   "ModifyFileFromStr: content for %1 nests deeper than %2 levels; kept the old text")
                   .arg(shown)
                   .arg(kMaxNestingDepth);
        return false;
    }
    // Saving adds an XML declaration when the content has none.
    BoundedWriter writer(static_cast<size_t>(kMaxWrittenBytes));
    doc.save(writer, "\t", pugi::format_indent, pugi::encoding_utf8);
    if (writer.overflow) {
        qWarning().noquote()
            << QStringLiteral(
                   "ModifyFileFromStr: content for %1 would be written as more than %2 bytes; "
                   "kept the old text")
                   .arg(shown)
                   .arg(kMaxWrittenBytes);
        return false;
    }
    const QByteArray serialised(writer.out.data(), static_cast<int>(writer.out.size()));

    // A new file exists on disk at once; an existing one is written at the next save. A new file
    // that cannot be created is a failure the page hears of: nothing is kept for it.
    if (!QFileInfo::exists(path)) {
        const QString folder = QFileInfo(path).absolutePath();
        if (chosen.isEmpty() && !QDir().mkpath(folder)) {
            qWarning().noquote()
                << QStringLiteral("ModifyFileFromStr: cannot create the folder %1").arg(folder);
            return false;
        }
        QString error;
        if (!writeFileAtomically(path, serialised, gate_, &error)) {
            qWarning().noquote()
                << QStringLiteral("ModifyFileFromStr: cannot create %1: %2").arg(shown, error);
            return false;
        }
    }
    const QString text = QString::fromUtf8(serialised);
    // The name and size at information level; the profile text itself only for a debug log.
    qInfo().noquote() << QStringLiteral("ModifyFileFromStr: %1 (%2 bytes)").arg(shown).arg(serialised.size());
    qDebug().noquote() << logExcerpt(text);
    storeText(path, text);
    return true;
}
