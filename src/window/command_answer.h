#pragma once
// What a page command answers: a success text, a failure text (error code 0), or nothing, in
// which case the page's query stays pending. Command components return one of these and the
// dispatcher delivers it through the query's callback.
#include <QString>

struct CommandAnswer {
    enum Kind { None, Success, Failure };

    Kind kind = None;
    QString text;

    static CommandAnswer none() { return CommandAnswer{}; }
    static CommandAnswer success(const QString& text) { return CommandAnswer{Success, text}; }
    static CommandAnswer failure(const QString& text) { return CommandAnswer{Failure, text}; }

    bool operator==(const CommandAnswer& other) const { return kind == other.kind && text == other.text; }
    bool operator!=(const CommandAnswer& other) const { return !(*this == other); }
};
