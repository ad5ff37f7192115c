#pragma once
// The page's profile and file commands over the file cache: each reads its arguments and
// chooses the answer text. "ReadFileToStr" without "FilePath" and a "savexml" that wrote
// nothing (empty cache, or a file that could not be written) are not answered.
#include <QVariantMap>

#include "window/command_answer.h"

class FileCache;

class FileCommands {
public:
    explicit FileCommands(FileCache& cache) : cache_(cache) {}

    CommandAnswer readFileToStr(const QVariantMap& args);
    CommandAnswer modifyFileFromStr(const QVariantMap& args);
    CommandAnswer savexml();
    // Recognised names without behaviour: never answered.
    static CommandAnswer downloadFile(const QVariantMap&) { return CommandAnswer::none(); }
    static CommandAnswer getWindowsKeyboreadConfig() { return CommandAnswer::none(); }

    static const char kReadFailed[];    // "queryProfile load xml file failed!"
    static const char kModifyOk[];      // "ModifyFileFromStr success"
    static const char kModifyFailed[];  // "ModifyFileFromStr failed"
    static const char kSaveOk[];        // "save xml success"

private:
    FileCache& cache_;
};
