#pragma once
// Process-wide values of the client: the quit routine, the application directory, the
// autostart and update-pending flags, and the current application and browser handler.
#include <QString>

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

// The browser cache folder: system temporary folder + "/Kestrafon".
QString cacheFolder();

// Removes a folder recursively: files one by one, sub-folders recursed into (symbolic links are
// removed, not followed), then the folder itself. A folder that does not exist counts as done.
// Returns false when anything stayed.
bool removeFolderRecursively(const QString& path);

// The same for a folder in a shared place such as the temporary folder: only a real folder of the
// user's own is removed; a symbolic link or another user's folder is left (false) and logged.
bool removeOwnFolderRecursively(const QString& path);

}  // namespace kf
