#include "window/pointer_commands.h"

#include <QDebug>

#include "system/pointer_settings.h"
#include "window/command_args.h"

std::optional<int> PointerCommands::readNum(const QVariant& value) {
    // Read as the dispatcher reads every argument: as text (a whole JSON number is its decimal
    // text, a boolean "true" or "false").
    bool ok = false;
    const int num = kf::window::variantText(value).trimmed().toInt(&ok);
    if (!ok) {
        return std::nullopt;
    }
    return num;
}

CommandAnswer PointerCommands::run(const QVariantMap& args, bool (PointerSettings::*operation)(int),
                                   const QString& name) {
    const QString numKey = QStringLiteral("Num");
    if (!args.contains(numKey)) {
        return CommandAnswer::none();
    }
    const std::optional<int> num = readNum(args.value(numKey));
    if (!num) {
        qWarning().noquote()
            << QStringLiteral("%1: \"Num\" is not an integer: %2").arg(name, args.value(numKey).toString());
        return CommandAnswer::failure(name + QStringLiteral(" failed"));
    }
    if (!(settings_.*operation)(*num)) {
        return CommandAnswer::failure(name + QStringLiteral(" failed"));
    }
    return CommandAnswer::success(name + QStringLiteral(" success"));
}

CommandAnswer PointerCommands::modifyMouseAcce(const QVariantMap& args) {
    // The command is "modifyMouseAcce"; its answers say "modifyMouseAccel".
    return run(args, &PointerSettings::setAcceleration, QStringLiteral("modifyMouseAccel"));
}

CommandAnswer PointerCommands::modifyWindowAcceleratedSpeed(const QVariantMap& args) {
    return run(args, &PointerSettings::setSpeed, QStringLiteral("ModifyWindowAcceleratedSpeed"));
}

CommandAnswer PointerCommands::modifyMouseScrollLines(const QVariantMap& args) {
    return run(args, &PointerSettings::setScrollLines, QStringLiteral("ModifyMouseScrollLines"));
}

CommandAnswer PointerCommands::modifyMouseScrollLinesX(const QVariantMap& args) {
    return run(args, &PointerSettings::setScrollChars, QStringLiteral("modifyMouseScrollLinesX"));
}

CommandAnswer PointerCommands::modifyMouseDoubleClick(const QVariantMap& args) {
    return run(args, &PointerSettings::setDoubleClickTime, QStringLiteral("modifyMouseDoubleClick"));
}
