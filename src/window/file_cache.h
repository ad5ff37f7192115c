#pragma once
// The profile files that the pages query and edit (the page commands that read their arguments
// and choose the answers are FileCommands). Every file that a page reads or replaces is
// kept in memory by its full path; a replacement changes only that copy and marks the path as
// changed, and the changed files are written when the page asks for it ("savexml") or when the
// window hides or the client quits (saveChangedFiles()).
//
// Two roots: "ModifyFileFromStr" paths are relative to the user's profile folder (the
// application directory when the user may write it, else $XDG_DATA_HOME/kestrafon), and
// "ReadFileToStr" paths are read from that folder first and from the runtime root (where the
// installation's theme files are unpacked) second. A page path that is empty, absolute, climbs out with ".."
// or names a folder is refused, so no command reaches a file outside its root; the one
// exception is a file the person chose in one of the client's file dialogs, which both
// commands accept by its absolute path (export and import of profiles). Files are
// written through a temporary file that is renamed over the old one, so a file on disk always
// holds either its old or its new content.
#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

class FileCache {
public:
    enum class SaveOutcome {
        NothingCached,  // the cache is empty: nothing was read or replaced since start
        Saved,          // every changed file was written; the changed-file list is empty
        Failed,         // a file could not be written; the list is unchanged
    };

    // Called after a file's new content is completely in its temporary file and before that
    // file replaces the old one. Returning false abandons the write as a failure (the old file
    // stays). Tests use it to interrupt a save at its most delicate point.
    using CommitGate = std::function<bool(const QString& path)>;

    // readRoot: second folder of "ReadFileToStr" (the runtime root);
    // writeRoot: folder of "ModifyFileFromStr" (the profile folder), the first one read. Full paths are
    // root + "/" + page path; a trailing "/" on a root is dropped so it is not doubled.
    FileCache(const QString& readRoot, const QString& writeRoot);
    ~FileCache();
    FileCache(const FileCache&) = delete;
    FileCache& operator=(const FileCache&) = delete;

    // Reads the file at `path` into the cache unless the path is cached already (the disk is
    // not read again). A file that is missing, not a regular file, larger than
    // kMaxFileBytes or unreadable is not cached.
    void loadFileToCache(const QString& path);

    // Writes every changed file in list order; stops at the first file that cannot be written.
    SaveOutcome saveChangedFiles();

    // The profile query: the nodes that `xpath` selects in the file at `pagePath` (under the
    // read root, or a chosen path), each printed with one tab per level, one after the other;
    // empty when nothing matches. None when the path is refused, the file is not cached or not
    // XML, or the expression is not valid.
    std::optional<QString> query(const QString& pagePath, const QString& xpath);

    // Replaces the text of the file at `pagePath` (under the write root, or a chosen path) with
    // `content` written back with one tab per level, and marks it changed; a file that does not
    // exist yet is created at once (with its folders below the write root). False, with nothing
    // changed, when the path is refused or names a folder, the content is not one well-formed
    // document within the bounds below, or a new file cannot be created.
    bool replace(const QString& pagePath, const QString& content);

    // Lets both commands use `path` (absolute, as a file dialog returned it) as it is.
    void allowChosenPath(const QString& path);

    QString readRoot() const { return readRoot_; }
    QString writeRoot() const { return writeRoot_; }
    bool isCached(const QString& path) const { return files_.contains(path); }
    QString cachedText(const QString& path) const { return files_.value(path); }
    int cachedFileCount() const { return files_.size(); }
    const QStringList& changedFiles() const { return changed_; }

    // Keeps the parsed documents of the most recently queried files (up to
    // kMaxParsedDocuments) so a repeated query does not parse the file again. A replaced
    // file's document is dropped. On by default; answers are the same either way.
    void setKeepParsedDocuments(bool keep);
    bool keepsParsedDocuments() const { return keepParsed_; }

    void setCommitGate(CommitGate gate) { gate_ = std::move(gate); }

    // Writes `data` to a temporary file beside `path` and renames it over `path`. False when
    // any step fails, in which case `path` is untouched.
    // The reason goes to *error when given.
    static bool writeFileAtomically(const QString& path, const QByteArray& data, const CommitGate& gate = {},
                                    QString* error = nullptr);

    static constexpr qint64 kMaxFileBytes = 64 * 1024 * 1024;
    // replace() refuses content nested deeper than this many element levels (the
    // built-in profiles have 3), or whose written form, one tab per level, would exceed
    // kMaxWrittenBytes; either way the answer is the failure text and nothing changes.
    static constexpr int kMaxNestingDepth = 64;
    static constexpr qint64 kMaxWrittenBytes = 16 * 1024 * 1024;
    static constexpr int kMaxParsedDocuments = 8;

private:
    struct ParsedDocuments;

    void storeText(const QString& path, const QString& text);
    // Where a relative "ReadFileToStr" path is read: the write root (the user's profile folder)
    // when the file is there, else the read root (the files the installation unpacked).
    QString readPathFor(const QString& relative) const;
    // Why a page path that is neither safe and relative nor chosen is refused, for the log.
    static QString refusalReason(const QString& pagePath, const QString& root, const QString& verb);
    // The cleaned path when `pagePath` is a path chosen in a dialog, else empty.
    QString chosenPath(const QString& pagePath) const;

    QString readRoot_;
    QString writeRoot_;
    QHash<QString, QString> files_;
    QStringList changed_;
    QSet<QString> chosen_;
    bool keepParsed_ = true;
    std::unique_ptr<ParsedDocuments> parsed_;
    CommitGate gate_;
};
