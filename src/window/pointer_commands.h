#pragma once
// The page's five pointer-setting commands. Each reads the integer "Num", has the pointer
// settings apply it, and answers whether the system accepted it. A request without "Num"
// changes nothing and is not answered; a "Num" that is not an integer fails without a system
// call.
#include <QVariant>
#include <QVariantMap>

#include <optional>

#include "window/command_answer.h"

class PointerSettings;

class PointerCommands {
public:
    explicit PointerCommands(PointerSettings& settings) : settings_(settings) {}

    CommandAnswer modifyMouseAcce(const QVariantMap& args);
    CommandAnswer modifyWindowAcceleratedSpeed(const QVariantMap& args);
    CommandAnswer modifyMouseScrollLines(const QVariantMap& args);
    CommandAnswer modifyMouseScrollLinesX(const QVariantMap& args);
    CommandAnswer modifyMouseDoubleClick(const QVariantMap& args);
    // Recognised, never answered: there is no reply format for the current settings.
    static CommandAnswer getWindowsMouseConfig() { return CommandAnswer::none(); }

    // "Num" as an integer: a whole JSON number or a decimal text. Empty for anything else (a
    // fraction, a word, a boolean, a value beyond int).
    static std::optional<int> readNum(const QVariant& value);

private:
    CommandAnswer run(const QVariantMap& args, bool (PointerSettings::*operation)(int), const QString& name);

    PointerSettings& settings_;
};
