#pragma once
// Starts the Updater program that installs a client update once the client has quit. It runs
// detached, so it outlives the client; its arguments carry the digest of the unpacked update
// ("--digest"), which it checks again over what it installs. It elevates itself only for an
// install into a release store the user cannot write.
#include <QList>
#include <QString>
#include <QStringList>

#include <memory>

namespace kf::platform {

class UpdaterLauncher {
public:
    virtual ~UpdaterLauncher() = default;
    // Starts `program` with `arguments` in `workingFolder`, detached. True when it started.
    virtual bool startDetached(const QString& program, const QStringList& arguments,
                               const QString& workingFolder) = 0;
};

// A detached process.
class ProcessUpdaterLauncher : public UpdaterLauncher {
public:
    bool startDetached(const QString& program, const QStringList& arguments,
                       const QString& workingFolder) override;
};

// Records the starts instead of making them; tests choose the outcome.
class RecordingUpdaterLauncher : public UpdaterLauncher {
public:
    struct Start {
        QString program;
        QStringList arguments;
        QString workingFolder;
    };
    bool startDetached(const QString& program, const QStringList& arguments,
                       const QString& workingFolder) override {
        starts_.append({program, arguments, workingFolder});
        return succeeds_;
    }
    const QList<Start>& starts() const { return starts_; }
    void setSucceeds(bool succeeds) { succeeds_ = succeeds; }

private:
    QList<Start> starts_;
    bool succeeds_ = true;
};

std::unique_ptr<UpdaterLauncher> createUpdaterLauncher();

}  // namespace kf::platform
