#pragma once
// How the window's scene is drawn. The web view composes its pages through Qt Quick, which
// draws with OpenGL by default. On a display without graphics hardware OpenGL is a software
// rasteriser (llvmpipe and its kin) that redraws the whole window for every changed pixel: a
// live music spectrum then costs a third of a core. Qt Quick's own software renderer redraws
// only what changed, so on such displays the client asks for it instead.
#include <QByteArray>
#include <QString>

namespace kf::platform {

// True when an OpenGL renderer string names a software rasteriser.
bool isSoftwareRenderer(const QByteArray& renderer);

// The OpenGL renderer string of the display, or empty when no context can be made there.
// Needs the toolkit's application object.
QByteArray openGlRenderer();

// Chooses Qt Quick's software renderer when the display draws OpenGL in software, unless the
// person chose a renderer through QT_QUICK_BACKEND. Must run before the first web view exists.
// Returns what it decided, for the log.
QString chooseWindowRendering();

}  // namespace kf::platform
