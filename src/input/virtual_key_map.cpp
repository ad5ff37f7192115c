#include "input/virtual_key_map.h"

#include <QtDebug>

#include <pugixml.hpp>

#include "encoding/key_code_map.h"

namespace kf::input {

namespace {

bool isElement(const pugi::xml_node& node) {
    return node.type() == pugi::node_element;
}

QString attributeText(const pugi::xml_node& node, const char* name) {
    return QString::fromUtf8(node.attribute(name).value());
}

// Macro text: name(argument) groups; key and button arguments resolve to HID codes.
QVector<MacroAction> macroSteps(const QString& command) {
    struct Step {
        const char* name;
        const char* action;
        bool resolves;
    };
    static const Step kSteps[] = {
        {"键盘按下", "KeybroadDown", true},  {"键盘弹起", "KeybroadUp", true},
        {"鼠标按下", "MouseDown", true},     {"鼠标弹起", "MouseUp", true},
        {"上滚动", "WheelUp", false},        {"下滚动", "WheelDown", false},
        {"绝对定位XY", "AbsoluteXY", false}, {"相对定位XY", "RelativeXY", false},
        {"延迟", "DelayTime", false},
    };
    QVector<MacroAction> actions;
    const QStringList pieces = command.split(QLatin1Char(')'), Qt::SkipEmptyParts);
    for (const QString& piece : pieces) {
        const int open = piece.indexOf(QLatin1Char('('));
        if (open < 1) {
            continue;
        }
        const QString name = piece.left(open).trimmed();
        QString argument = piece.mid(open + 1).toUpper().trimmed();
        if (argument == QLatin1String("CTRL") || argument == QLatin1String("SHIFT") ||
            argument == QLatin1String("ALT") || argument == QLatin1String("WIN")) {
            argument.prepend(QLatin1String("LEFT "));
        }
        for (const Step& step : kSteps) {
            if (name == QString::fromUtf8(step.name)) {
                const QString value = step.resolves ? kf::encoding::hidCodeForTask(argument) : argument;
                if (!value.isEmpty()) {
                    actions.append({QString::fromLatin1(step.action), value});
                }
                break;
            }
        }
    }
    return actions;
}

QString mouseButton(const QString& command) {
    static const QHash<QString, QString> kButtons = {
        {QStringLiteral("单击左键()"), QStringLiteral("1")},
        {QStringLiteral("单击右键()"), QStringLiteral("2")},
        {QStringLiteral("单击中键()"), QStringLiteral("4")},
        {QStringLiteral("单击前进键()"), QStringLiteral("10")},
        {QStringLiteral("单击后退键()"), QStringLiteral("8")},
    };
    return kButtons.value(command);
}

}  // namespace

QVector<MacroAction> actionsFor(const QString& type, const QString& command) {
    if (type == QLatin1String("macro")) {
        return macroSteps(command);
    }
    if (type == QLatin1String("macrofun")) {
        qDebug().noquote() << command.left(200);  // the page's text, cut so it cannot flood the log
        if (command == QStringLiteral("自定义开关()")) {
            return {{QStringLiteral("SwitchCustom"), QString()}};
        }
        if (command == QStringLiteral("打断执行()")) {
            return {{QStringLiteral("StopCustom"), QString()}};
        }
        return {};
    }
    if (type == QLatin1String("Keyboard")) {
        QStringList codes;
        for (const QString& part : command.split(QLatin1Char('+'), Qt::SkipEmptyParts)) {
            const QString code = kf::encoding::hidCodeForTask(part.toUpper().trimmed());
            if (!code.isEmpty()) {
                codes << code;
            }
        }
        return {{QStringLiteral("keyboard"), codes.join(QLatin1Char(','))}};
    }
    if (type == QLatin1String("Shortcut")) {
        return {{QStringLiteral("Shortcut"), command}};
    }
    if (type == QLatin1String("Mouse")) {
        return {{QStringLiteral("mouse"), mouseButton(command)}};
    }
    if (type == QLatin1String("Text")) {
        return {{QStringLiteral("text"), command}};
    }
    if (!command.isEmpty()) {
        return {{type, command}};
    }
    return {};
}

bool parseVirtualKeyMap(const QString& text, TriggerMap* out) {
    out->clear();
    pugi::xml_document document;
    const QByteArray utf8 = text.toUtf8();
    if (!document.load_buffer(utf8.constData(), size_t(utf8.size()))) {
        return false;
    }
    const pugi::xml_node root = document.child("map");
    if (!root.find_child(isElement)) {
        return false;
    }
    for (const pugi::xml_node& key : root.children("key")) {
        const pugi::xml_node command = key.find_child(isElement);
        if (!command) {
            continue;
        }
        TriggerEntry entry;
        entry.actions = actionsFor(attributeText(key, "type"), attributeText(command, "value"));
        entry.playType = key.attribute("playtype").as_int();
        entry.playCount = key.attribute("playcount").as_int();
        entry.playDelay = key.attribute("playdelay").as_int();
        const auto code = quint16(key.attribute("scancode").as_uint());
        const auto flag = quint16(key.attribute("flag").as_uint());
        out->insert(triggerKey(code, flag), entry);
    }
    return true;
}

}  // namespace kf::input
