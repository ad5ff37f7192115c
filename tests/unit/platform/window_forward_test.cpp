// Bringing the first instance's window forward: the rule on the in-memory window system, and the
// factory without a display.
#include <QByteArray>
#include <QString>
#include <QtGlobal>

#include <gtest/gtest.h>

#include "platform/windowing/memory_window_system.h"
#include "platform/windowing/window_system.h"

namespace kf::platform {
namespace {

constexpr qint64 kPid = 4242;

TEST(BringForward, PidZeroDoesNothing) {
    MemoryWindowSystem windows;
    windows.addWindow(0, "Vorkanta");
    EXPECT_FALSE(bringProcessWindowForward(windows, 0));
    EXPECT_EQ(windows.listCount(), 0);
    EXPECT_TRUE(windows.activated().isEmpty());
}

TEST(BringForward, OnlyWindowsOfThatProcessCount) {
    MemoryWindowSystem windows;
    windows.addWindow(kPid + 1, "Vorkanta");
    windows.addWindow(0, "Vorkanta (1)");
    EXPECT_FALSE(bringProcessWindowForward(windows, kPid));
    EXPECT_TRUE(windows.activated().isEmpty());
}

TEST(BringForward, TitlePattern) {
    for (const QString& title : {QStringLiteral("Vorkanta"), QStringLiteral("Vorkanta(3)"),
                                 QStringLiteral("Vorkanta (12)"), QStringLiteral("Vorkanta \t (0)")}) {
        EXPECT_TRUE(isProductWindowTitle(title)) << qPrintable(title);
    }
    const QString rejected[] = {QStringLiteral("Vorkanta平台"),  // the main window's own title
                                QStringLiteral("vorkanta"),        QStringLiteral("VORKANTA"),
                                QStringLiteral(" Vorkanta"),       QStringLiteral("Vorkanta "),
                                QStringLiteral("Vorkanta\n"),      QStringLiteral("Vorkanta ()"),
                                QStringLiteral("Vorkanta (x)"),    QStringLiteral("Vorkanta (1) "),
                                QStringLiteral("Vorkanta (1)(2)"), QStringLiteral("Vorkanta 1"),
                                QStringLiteral("Vorkanta (-1)"),   QStringLiteral("XVorkanta"),
                                QStringLiteral("Vorkanta (1)\nx"), QString()};
    for (const QString& title : rejected) {
        EXPECT_FALSE(isProductWindowTitle(title)) << qPrintable(title);
    }
}

TEST(BringForward, TitlesOf1024CharactersOrMoreAreSkipped) {
    // "Vorkanta (" + digits + ")" filled to an exact length.
    auto titleOfLength = [](int length) {
        return QStringLiteral("Vorkanta (") + QString(length - 11, '7') + QStringLiteral(")");
    };
    EXPECT_EQ(titleOfLength(1023).size(), 1023);
    EXPECT_TRUE(isProductWindowTitle(titleOfLength(1023)));
    EXPECT_FALSE(isProductWindowTitle(titleOfLength(1024)));
    EXPECT_FALSE(isProductWindowTitle(titleOfLength(5000)));

    MemoryWindowSystem windows;
    windows.addWindow(kPid, titleOfLength(1024));
    const quint64 fits = windows.addWindow(kPid, titleOfLength(1023));
    EXPECT_TRUE(bringProcessWindowForward(windows, kPid));
    EXPECT_EQ(windows.activated(), QVector<quint64>{fits});
}

TEST(BringForward, FirstMatchingWindowWinsAndTheSearchStops) {
    MemoryWindowSystem windows;
    windows.addWindow(kPid + 1, "Vorkanta");  // another process
    windows.addWindow(kPid, "Vorkanta平台");  // this process, other title
    windows.addWindow(kPid, QString());       // no title
    const quint64 first = windows.addWindow(kPid, "Vorkanta (2)");
    windows.addWindow(kPid, "Vorkanta");
    EXPECT_TRUE(bringProcessWindowForward(windows, kPid));
    EXPECT_EQ(windows.activated(), QVector<quint64>{first});
    EXPECT_EQ(windows.listCount(), 1);
}

TEST(BringForward, FailedActivationEndsTheSearch) {
    MemoryWindowSystem windows;
    const quint64 first = windows.addWindow(kPid, "Vorkanta");
    windows.addWindow(kPid, "Vorkanta (1)");
    windows.setActivationSucceeds(false);
    EXPECT_FALSE(bringProcessWindowForward(windows, kPid));
    EXPECT_EQ(windows.activated(), QVector<quint64>{first});
}

TEST(BringForward, NoDisplayMeansNoWindowSystem) {
    const QByteArray display = qgetenv("DISPLAY");
    qunsetenv("DISPLAY");
    const auto windows = createWindowSystem();
    if (!display.isNull()) {
        qputenv("DISPLAY", display);
    }
    EXPECT_EQ(windows, nullptr);
}

}  // namespace
}  // namespace kf::platform
