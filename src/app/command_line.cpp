#include "app/command_line.h"

namespace kf {

bool CommandLine::matches(const QString& arg, const QString& name, QString* value) const {
    QStringRef rest;
    if (arg.startsWith(QLatin1String("--"))) {
        rest = arg.midRef(2);
    } else if (arg.startsWith(QLatin1Char('-'))) {
        rest = arg.midRef(1);
    } else {
        return false;
    }
    if (rest == name) {
        if (value)
            value->clear();
        return true;
    }
    if (rest.startsWith(name) && rest.size() > name.size() && rest.at(name.size()) == QLatin1Char('=')) {
        if (value)
            *value = rest.mid(name.size() + 1).toString();
        return true;
    }
    return false;
}

bool CommandLine::hasSwitch(const QString& name) const {
    for (int i = 1; i < args_.size(); ++i) {
        if (matches(args_.at(i), name, nullptr))
            return true;
    }
    return false;
}

QString CommandLine::switchValue(const QString& name) const {
    QString value;
    for (int i = 1; i < args_.size(); ++i) {
        if (matches(args_.at(i), name, &value))
            return value;
    }
    return QString();
}

namespace {
CommandLine& processLine() {
    static CommandLine line;
    return line;
}
}  // namespace

const CommandLine& CommandLine::process() {
    return processLine();
}
void CommandLine::setProcess(const QStringList& arguments) {
    processLine() = CommandLine(arguments);
}

}  // namespace kf
