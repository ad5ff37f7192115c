#include "platform/input/hid_reports.h"

namespace kf::platform {

ReportKind readReport(const quint8* report, int size, KeyboardState* keyboard, MouseState* mouse) {
    if (size < 11 || report[0] != kControlReportId) {
        return ReportKind::Invalid;
    }
    if (report[2] == kKeyboardReportId) {
        keyboard->modifiers = report[3];
        for (int i = 0; i < 6; ++i) {
            keyboard->keys[i] = report[5 + i];
        }
        return ReportKind::Keyboard;
    }
    if (report[2] == kMouseReportId) {
        mouse->buttons = report[3];
        mouse->dx = qint8(report[4]);
        mouse->dy = qint8(report[5]);
        mouse->wheel = qint8(report[6]);
        return ReportKind::Mouse;
    }
    return ReportKind::Invalid;
}

QVector<quint8> heldUsages(const KeyboardState& state) {
    QVector<quint8> usages;
    for (int i = 0; i < 8; ++i) {
        if (state.modifiers & (1 << i)) {
            usages.append(quint8(0xE0 + i));
        }
    }
    for (quint8 key : state.keys) {
        if (key != 0 && !usages.contains(key)) {
            usages.append(key);
        }
    }
    return usages;
}

}  // namespace kf::platform

namespace kf::platform {

void applyKeyboard(const KeyboardState& before, const KeyboardState& now, ReportSink& sink) {
    const QVector<quint8> was = heldUsages(before);
    const QVector<quint8> is = heldUsages(now);
    for (quint8 usage : was) {
        if (!is.contains(usage)) {
            sink.key(usage, false);
        }
    }
    for (quint8 usage : is) {
        if (!was.contains(usage)) {
            sink.key(usage, true);
        }
    }
}

void applyMouse(const MouseState& before, const MouseState& now, ReportSink& sink) {
    for (int i = 0; i < 5; ++i) {
        const bool was = before.buttons & (1 << i);
        const bool is = now.buttons & (1 << i);
        if (was != is) {
            sink.button(i, is);
        }
    }
    if (now.dx != 0 || now.dy != 0) {
        sink.motion(now.dx, now.dy);
    }
    if (now.wheel != 0) {
        sink.wheel(now.wheel);
    }
}

}  // namespace kf::platform
