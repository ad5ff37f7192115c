#pragma once
// A window system held in memory: tests add windows and read back which ones were activated.
#include <QVector>

#include "platform/windowing/window_system.h"

namespace kf::platform {

class MemoryWindowSystem : public WindowSystem {
public:
    // Adds a window at the end of the list and returns its id (ids start at 1).
    quint64 addWindow(qint64 pid, const QString& title);
    void removeWindow(quint64 id);
    // When false, activateWindow() reports failure (a window that vanished meanwhile).
    void setActivationSucceeds(bool succeeds) { activationSucceeds_ = succeeds; }

    QVector<TopLevelWindow> topLevelWindows() override;
    bool activateWindow(quint64 id) override;

    // Ids passed to activateWindow(), in call order.
    const QVector<quint64>& activated() const { return activated_; }
    // How often topLevelWindows() was asked.
    int listCount() const { return listCount_; }

private:
    QVector<TopLevelWindow> windows_;
    QVector<quint64> activated_;
    quint64 nextId_ = 1;
    int listCount_ = 0;
    bool activationSucceeds_ = true;
};

}  // namespace kf::platform
