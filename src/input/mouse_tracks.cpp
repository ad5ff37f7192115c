#include "input/mouse_tracks.h"

#include <QTime>

namespace kf::input {

namespace {
constexpr int kLeftButton = 1;
}  // namespace

MouseTrackRecorder::MouseTrackRecorder(std::unique_ptr<platform::PointerButtonHook> hook,
                                       std::function<int()> clock)
    : hook_(std::move(hook)), clock_(std::move(clock)) {}

int MouseTrackRecorder::millisecondsSinceMidnight() {
    const QTime now = QTime::currentTime();
    return now.isValid() ? now.msecsSinceStartOfDay() : 0;
}

QString MouseTrackRecorder::record(QPoint position, int msecs) {
    return QStringLiteral("x:%1,y:%2Time:%3;").arg(position.x()).arg(position.y()).arg(msecs);
}

bool MouseTrackRecorder::start() {
    if (active_) {
        stop();
    }
    if (!hook_ || !hook_->install([this](int button, QPoint position) { released(button, position); })) {
        return false;
    }
    active_ = true;
    return true;
}

QString MouseTrackRecorder::stop() {
    if (hook_) {
        hook_->uninstall();
    }
    return text_;
}

void MouseTrackRecorder::released(int button, QPoint position) {
    if (button != kLeftButton) {
        return;
    }
    text_ += record(position, clock_ ? clock_() : 0);
    if (text_.size() > kTextCap) {
        // Drop whole records from the front, down to three quarters of the cap, so trimming
        // happens once in many releases.
        const int cut = text_.size() - kTextCap * 3 / 4;
        text_.remove(0, text_.indexOf(QLatin1Char(';'), cut - 1) + 1);
    }
}

}  // namespace kf::input
