#pragma once
// Reads engine-style switches from the argument vector: "--name", "--name=value" (one or two
// leading dashes). "-autostart" is matched exactly by Application, as it always has been.
#include <QString>
#include <QStringList>

namespace kf {

class CommandLine {
public:
    CommandLine() = default;
    explicit CommandLine(const QStringList& arguments) : args_(arguments) {}

    bool hasSwitch(const QString& name) const;
    QString switchValue(const QString& name) const;  // empty when missing or without value
    const QStringList& arguments() const { return args_; }

    // The arguments the process was started with.
    static const CommandLine& process();
    static void setProcess(const QStringList& arguments);

private:
    bool matches(const QString& arg, const QString& name, QString* value) const;
    QStringList args_;
};

}  // namespace kf
