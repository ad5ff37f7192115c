#include "platform/display/window_rendering.h"

#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QRegularExpression>

namespace kf::platform {

bool isSoftwareRenderer(const QByteArray& renderer) {
    static const QRegularExpression software(
        QStringLiteral("llvmpipe|softpipe|swrast|software rasterizer|lavapipe|swiftshader"),
        QRegularExpression::CaseInsensitiveOption);
    return software.match(QString::fromLatin1(renderer)).hasMatch();
}

QByteArray openGlRenderer() {
    QOffscreenSurface surface;
    surface.create();
    QOpenGLContext context;
    if (!surface.isValid() || !context.create() || !context.makeCurrent(&surface)) {
        return QByteArray();
    }
    const auto* text = reinterpret_cast<const char*>(context.functions()->glGetString(GL_RENDERER));
    QByteArray renderer = text ? QByteArray(text).left(200) : QByteArray();
    context.doneCurrent();
    return renderer;
}

QString chooseWindowRendering() {
    const QByteArray chosen = qgetenv("QT_QUICK_BACKEND");
    if (!chosen.isEmpty()) {
        return QStringLiteral("window drawn by the renderer QT_QUICK_BACKEND names (%1)")
            .arg(QString::fromLocal8Bit(chosen.left(40)));
    }
    const QByteArray renderer = openGlRenderer();
    if (renderer.isEmpty()) {
        return QStringLiteral("window drawn with OpenGL (its renderer could not be asked)");
    }
    if (!isSoftwareRenderer(renderer)) {
        return QStringLiteral("window drawn with OpenGL on %1").arg(QString::fromLatin1(renderer));
    }
    qputenv("QT_QUICK_BACKEND", "software");
    return QStringLiteral("window drawn in software: OpenGL here is the software rasteriser %1")
        .arg(QString::fromLatin1(renderer));
}

}  // namespace kf::platform
