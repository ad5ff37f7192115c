#pragma once
// The capture object: it holds the software key map and runs the capture loop on a thread of
// its own. Every keyboard and mouse stroke the interception driver captures passes through
// `decide`: strokes of the client's own virtual device ("kestrafonvd") and strokes whose key is
// not a trigger go on to the desktop; trigger strokes are swallowed and handed to the
// TriggerTarget (the macro player) by the play rules.
//
// A key's release always follows the path its press took: a key whose press went on to the
// desktop has its release sent on even when a new map makes it a trigger, and a trigger's release
// is played with the entry its press played. When a new map drops or changes an active trigger,
// or capture ends (map emptied, loop ended, session switched away), the player gets that
// trigger's release half or stop, so nothing stays pressed on the virtual device.
//
// On Linux the physical devices are grabbed only while the key map is not empty: an empty map
// sets every filter to 0, and the driver lets go of the devices. While the desktop session is
// not the active one every device is closed; it is opened again, with the map applied, when the
// session is active again. The loop releases every grab when it ends, for whatever reason, and
// the log says why. No stroke's key or text is logged.
#include <QHash>
#include <QMutex>
#include <QObject>
#include <QSet>
#include <QString>
#include <QWaitCondition>

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
    QString captureProblem() const override;

    // While false, new presses and motion of physical devices are discarded (the player sets it
    // while it writes the first report of a list); releases and trigger keys still count.
    void setCaptureEnabled(bool enabled);
    bool captureEnabled() const;

    // Whether the desktop session is the active one (any thread). While it is not, every device
    // is closed; the loop waits and opens them again when it is.
    void setSessionActive(bool active);

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
    // Runs the loop over one context until it ends; true when it ended for an inactive session.
    bool capture(kf::input::InterceptionContext* context, QString* reason);
    // Waits while the session is inactive; false when the loop is to end.
    bool waitForActiveSession();
    void applyFilters(kf::input::InterceptionContext* context);
    kf::input::TriggerMap snapshot();
    // Ends the active triggers the new map dropped or changed (capture thread).
    void reconcile(const kf::input::TriggerMap& map);
    void endTrigger(const kf::input::TriggerEntry& entry);
    // Ends every active trigger and forgets every held key: the devices are let go.
    void endAll();
    void handlePress(kf::input::TriggerKey key, const kf::input::TriggerEntry& entry);
    void handleRelease(kf::input::TriggerKey key);
    void wake();
    void setProblem(const QString& problem);

    std::unique_ptr<kf::platform::InterceptionDriver> driver_;
    kf::input::TriggerTarget* target_;
    mutable QMutex mapMutex_;
    kf::input::TriggerMap map_;
    quint64 mapGeneration_ = 0;  // under mapMutex_
    QString problem_;            // under mapMutex_: why nothing is captured, empty while capturing
    std::atomic<bool> captureEnabled_{true};
    std::atomic<bool> stopRequested_{false};
    std::atomic<bool> sessionActive_{true};
    std::atomic<quint16> wantedFilter_{0};
    QMutex sessionMutex_;
    QWaitCondition sessionChanged_;
    // Capture thread only.
    quint16 appliedFilter_ = 0;
    quint64 seenGeneration_ = 0;
    // The active list: triggers playing or awaiting their release, with the entry they started.
    QHash<kf::input::TriggerKey, kf::input::TriggerEntry> active_;
    QSet<kf::input::TriggerKey> passedDown_;     // pressed, the press went on to the desktop
    QSet<kf::input::TriggerKey> swallowedDown_;  // pressed, the press was a trigger's
};
