#pragma once
// A virtual-device transport that records what it is given: every report, the typed text and
// the pointer moves. Opening and writing can be made to fail. Thread-safe, so tests may read it
// while the player writes.
#include <QByteArray>
#include <QList>
#include <QMutex>
#include <QPoint>
#include <QWaitCondition>

#include <functional>

#include "platform/input/virtual_hid_transport.h"

namespace kf::platform {

class MemoryHidTransport : public VirtualHidTransport {
public:
    QString name() const override { return QStringLiteral("memory"); }
    int openCollection(int usage) override;
    void close() override;
    int writeReport(const quint8* report, int size) override;
    bool typeText(const QString& text) override;
    bool moveCursorTo(int x, int y) override;

    // Test side.
    void setOpenError(int usage, int error);
    void setWriteError(int error);
    // Called (on the writing thread) after each report is recorded.
    void setOnReport(std::function<void()> onReport);
    // Called (on the typing thread) before text is typed; it may block to hold the typing up.
    void setOnType(std::function<void()> onType);
    QList<QByteArray> reports() const;
    int reportCount() const;
    void clear();
    // Waits until at least `count` reports were written.
    bool waitForReports(int count, int timeoutMs = 5000);
    QString typed() const;
    QList<QPoint> cursorMoves() const;
    bool isOpen() const;

private:
    mutable QMutex mutex_;
    QWaitCondition written_;
    int openErrors_[3] = {0, 0, 0};
    int writeError_ = 0;
    bool open_ = false;
    QList<QByteArray> reports_;
    QString typed_;
    QList<QPoint> moves_;
    std::function<void()> onReport_;
    std::function<void()> onType_;
};

}  // namespace kf::platform
