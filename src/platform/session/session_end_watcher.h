#pragma once
// Tells the client that the desktop session is ending: SIGTERM or SIGHUP arrives, or the session
// manager asks the application to commit its data. Each case emits sessionEnding() on the thread
// that owns the watcher (the GUI thread), where it is safe to run the quit routine.
//
// The signals reach the event loop through a self-pipe: the signal handler only writes one byte,
// a QSocketNotifier on the reading end emits. One watcher at a time owns SIGTERM and SIGHUP; its
// destruction puts the previous signal actions back. A SIGHUP that the starter set to be ignored
// (nohup) stays ignored.
#include <QObject>

class QSocketNotifier;

namespace kf::platform {

class SessionEndWatcher : public QObject {
    Q_OBJECT
public:
    explicit SessionEndWatcher(QObject* parent = nullptr);
    ~SessionEndWatcher() override;

    // True when this watcher handles SIGTERM and SIGHUP (false when another watcher already does,
    // or the pipe could not be made).
    bool handlesSignals() const { return notifier_ != nullptr; }

signals:
    void sessionEnding();

private slots:
    void onSignalPipeReadable();

private:
    bool installSignalHandlers();
    void removeSignalHandlers();

    int pipe_[2] = {-1, -1};
    QSocketNotifier* notifier_ = nullptr;
};

}  // namespace kf::platform
