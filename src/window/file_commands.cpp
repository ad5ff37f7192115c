#include "window/file_commands.h"

#include "window/file_cache.h"

const char FileCommands::kReadFailed[] = "queryProfile load xml file failed!";
const char FileCommands::kModifyOk[] = "ModifyFileFromStr success";
const char FileCommands::kModifyFailed[] = "ModifyFileFromStr failed";
const char FileCommands::kSaveOk[] = "save xml success";
const char FileCommands::kSaveFailed[] = "save xml failed";

CommandAnswer FileCommands::readFileToStr(const QVariantMap& args) {
    if (!args.contains(QStringLiteral("FilePath"))) {
        return CommandAnswer::none();
    }
    const std::optional<QString> result = cache_.query(args.value(QStringLiteral("FilePath")).toString(),
                                                       args.value(QStringLiteral("Xpath")).toString());
    return result ? CommandAnswer::success(*result)
                  : CommandAnswer::failure(QString::fromLatin1(kReadFailed));
}

CommandAnswer FileCommands::modifyFileFromStr(const QVariantMap& args) {
    const bool replaced = cache_.replace(args.value(QStringLiteral("FilePath")).toString(),
                                         args.value(QStringLiteral("ContentStr")).toString());
    return replaced ? CommandAnswer::success(QString::fromLatin1(kModifyOk))
                    : CommandAnswer::failure(QString::fromLatin1(kModifyFailed));
}

CommandAnswer FileCommands::savexml() {
    switch (cache_.saveChangedFiles()) {
        case FileCache::SaveOutcome::NothingCached:
            return CommandAnswer::none();
        case FileCache::SaveOutcome::Failed:
            return CommandAnswer::failure(QString::fromLatin1(kSaveFailed));
        case FileCache::SaveOutcome::Saved:
            break;
    }
    return CommandAnswer::success(QString::fromLatin1(kSaveOk));
}
