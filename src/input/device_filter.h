#pragma once
// The capture object: it holds the software key map and runs the capture loop on a thread of
// its own. Every keyboard and mouse stroke the interception driver captures passes through
// `decide`: strokes of the client's own virtual device ("kestrafonvd") and strokes whose key is
// not a trigger go on to the desktop; trigger strokes are swallowed and handed to the
// TriggerTarget (the macro player) by the play rules.
//
// On Linux the physical devices are grabbed only while the key map is not empty: an empty map
// sets every filter to 0, and the driver lets go of the devices. The loop releases every grab
// when it ends, for whatever reason, and the log says why. No stroke's key or text is logged.
#include <QMutex>
#include <QObject>
#include <QSet>
#include <QString>

#include <atomic>
#include <memory>

#include "input/input_components.h"
#include "input/interception.h"
#include "input/trigger_entry.h"

class DEVICE_FILTER : public QObject, public kf::input::VirtualKeyMaps {
    Q_OBJECT
public:
    // `target` must outlive the capture loop.
    DEVICE_FILTER(std::unique_ptr<kf::platform::InterceptionDriver> driver, kf::input::TriggerTarget* target,
                  QObject* parent = nullptr);
    ~DEVICE_FILTER() override;

    // Replaces the trigger map as a whole (main thread); false, leaving no triggers, when the
    // text is not a key map.
    bool refreshVirtualMap(const QString& virtualStr) override;
    kf::input::TriggerMap triggerMap() const;

    // While false, new presses and motion of physical devices are discarded (the player sets it
    // while a list starts); releases and trigger keys still count.
    void setCaptureEnabled(bool enabled);
    bool captureEnabled() const;

    // Ends the capture loop from any thread.
    void stopCapture();

    // One pass of the capture loop: waits for a stroke and sends it on unless it is a trigger.
    // False when the loop is to end, with the reason.
    bool pump(kf::input::InterceptionContext* context, QString* endReason);
    // The decision for one captured stroke (capture thread): true when it goes on to the desktop.
    bool decide(int device, const kf::input::InterceptionStroke& stroke, const QString& hardwareId);

    kf::platform::InterceptionDriver& driver() const { return *driver_; }

public slots:
    // The capture loop; connected to the capture thread's started().
    void start();

signals:
    // The loop has ended and every device is released; `reason` is for the log.
    void captureEnded(const QString& reason);

private:
    void applyFilters(kf::input::InterceptionContext* context);
    void handleTrigger(kf::input::TriggerKey key, const kf::input::TriggerEntry& entry, bool press);

    std::unique_ptr<kf::platform::InterceptionDriver> driver_;
    kf::input::TriggerTarget* target_;
    mutable QMutex mapMutex_;
    kf::input::TriggerMap map_;
    std::atomic<bool> captureEnabled_{true};
    std::atomic<bool> stopRequested_{false};
    std::atomic<quint16> wantedFilter_{0};
    std::atomic<kf::input::InterceptionContext*> context_{nullptr};
    quint16 appliedFilter_ = 0;
    QSet<kf::input::TriggerKey> active_;  // capture thread only
};
