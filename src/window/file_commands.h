#pragma once
// The page's profile and file commands over the file cache: each reads its arguments and
// chooses the answer text. "ReadFileToStr" without "FilePath" and a "savexml" with nothing read
// or replaced since start are not answered; a "savexml" whose file could not be written fails.
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
    static const char kSaveFailed[];    // "save xml failed"

private:
    FileCache& cache_;
};
