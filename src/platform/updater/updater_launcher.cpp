#include "platform/updater/updater_launcher.h"

#include <QProcess>

namespace kf::platform {

bool ProcessUpdaterLauncher::startDetached(const QString& program, const QStringList& arguments,
                                           const QString& workingFolder) {
    return QProcess::startDetached(program, arguments, workingFolder);
}

std::unique_ptr<UpdaterLauncher> createUpdaterLauncher() {
    return std::make_unique<ProcessUpdaterLauncher>();
}

}  // namespace kf::platform
