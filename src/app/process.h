#pragma once
// Process-wide values of the client: the quit routine, the application directory, the
// autostart and update-pending flags, and the current application and browser handler.
#include <QString>

#include "app/user_folders.h"

class Application;
class Window;
class QObject;

namespace kf {

// Ends the event loop once. The first call sets "quit requested" and asks the current
// Application to quit (queued, so a call before the loop runs also ends it), which it does once
// a running firmware update has ended; later calls do nothing.
void quitApplication();
bool quitRequested();

// Application directory followed by "/". Set once by Application::start.
QString appDirPath();
void setAppDirPath(const QString& dirWithSlash);

bool startedWithAutostart();
void setStartedWithAutostart(bool on);

// Set by the client self-update just before it quits so that the main routine removes the
// browser cache folder after the event loop.
bool updatePending();
void setUpdatePending(bool on);

Application* currentApplication();
void setCurrentApplication(Application* app);
Window* mainWindow();
QObject* deviceFilter();

// The user's private runtime root (kf::paths::chooseRuntimeRoot), set once by the main routine
// before anything uses it; the single-instance socket, the theme files and the browser cache
// live there.
QString runtimeRoot();
void setRuntimeRoot(const QString& folder);

// The folders this run writes profiles, the log and dumps into (set once by the main routine;
// empty values while unset: the callers then use the application folder as before).
const paths::UserFolders& userFolders();
void setUserFolders(const paths::UserFolders& folders);

// The browser cache folder: runtime root + "/cache" (the temporary folder + "/Kestrafon" while
// no runtime root is set).
QString cacheFolder();

// Removes a folder recursively (kf::paths::removeTree): links are removed, never followed, and
// another file system mounted below it is left alone. A folder that does not exist counts as
// done. Returns false when anything stayed.
bool removeFolderRecursively(const QString& path);

// The same for a folder in a shared place: only a real folder of the user's own is removed; a
// symbolic link or another user's folder is left (false) and logged.
bool removeOwnFolderRecursively(const QString& path);

}  // namespace kf
