#pragma once
// The mouse-track recorder: while started, every left-button release anywhere on the desktop
// appends "x:X,y:YTime:T;" (screen position, milliseconds since local midnight) to the track
// text, which lives as long as the client and is answered whole by every stop. The text is
// kept to its newest kTextCap characters: the oldest records are dropped first, whole.
// GUI thread only.
#include <QPoint>
#include <QString>

#include <functional>
#include <memory>

#include "input/input_components.h"
#include "platform/input/pointer_button_hook.h"

namespace kf::input {

class MouseTrackRecorder : public MouseTrackHook {
public:
    // 512 Ki characters (1 MiB of text, about 17,000 records).
    static constexpr int kTextCap = 512 * 1024;

    // `hook` may be null (no desktop hook): start() then fails. `clock` gives the milliseconds
    // since local midnight (0 when the clock cannot be read).
    explicit MouseTrackRecorder(std::unique_ptr<platform::PointerButtonHook> hook,
                                std::function<int()> clock = millisecondsSinceMidnight);

    bool start() override;
    QString stop() override;
    QString text() const { return text_; }

    static QString record(QPoint position, int msecs);
    static int millisecondsSinceMidnight();

private:
    void released(int button, QPoint position);

    std::unique_ptr<platform::PointerButtonHook> hook_;
    std::function<int()> clock_;
    bool active_ = false;
    QString text_;
};

}  // namespace kf::input
