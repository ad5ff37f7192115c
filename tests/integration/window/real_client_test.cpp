// The real client under a virtual X server, driven with the pointer as a person would: the
// page's maximize and restore buttons change the window's geometry, and on a bare X server,
// which has no tray to bring a hidden window back, the close button quits the client.
#include <gtest/gtest.h>
#include <QProcess>

#include "display_helpers.h"

using kftest::waitFor;
using kftest::xdotool;
using kftest::xGeometry;

namespace {

// The virtual X server's screen is 1280 × 800 and has no panel: its work area is all of it.
const QRect kScreen(0, 0, 1280, 800);
const QRect kCentred((1280 - 1160) / 2, (800 - 720) / 2, 1160, 720);
// The start page's title bar: 36 pixels high, 8 pixels of padding at the right, then the close
// button and, left of it, the maximize button, both 36 pixels wide.
const QPoint kMaximizeButton(1160 - 8 - 36 - 18, 18);
const QPoint kCloseButton(1160 - 8 - 18, 18);

void click(const QString& window, const QPoint& at) {
    xdotool(
        {"mousemove", "--window", window, QString::number(at.x()), QString::number(at.y()), "click", "1"});
}

TEST(RealClient, PageMaximizeAndRestoreChangeTheWindowAndCloseQuitsWithoutATray) {
    kftest::ClientProcess client;
    ASSERT_TRUE(client.start());
    ASSERT_TRUE(client.waitForLog("page load finished 1 kestrafon://page.kestrafon/local/black/client.html"))
        << client.log().toStdString();
    // No notification area on a bare X server: said in the log, and the client runs on.
    EXPECT_TRUE(client.log().contains("System tray unavailable"));
    QString window;
    ASSERT_TRUE(waitFor([&] {
        window = xdotool({"search", "--onlyvisible", "--name", "Vorkanta"}).split('\n').value(0);
        return !window.isEmpty();
    }));
    EXPECT_EQ(xGeometry(window), kCentred);
    // The page's bridge comes up just after the load.
    kftest::settle(1000);

    click(window, kMaximizeButton);
    // The client window keeps its fixed size and goes to the work area's corner.
    ASSERT_TRUE(waitFor([&] { return xGeometry(window).topLeft() == kScreen.topLeft(); }, 10000))
        << "still at " << xGeometry(window).x() << "," << xGeometry(window).y();
    EXPECT_EQ(xGeometry(window).size(), kCentred.size());
    QProcess::execute("import", {"-window", "root", kftest::screenshotDir() + "/window-maximized-x11.png"});

    click(window, kMaximizeButton);  // the page asks for restore the second time
    ASSERT_TRUE(waitFor([&] { return xGeometry(window) == kCentred; }, 10000));
    QProcess::execute("import", {"-window", "root", kftest::screenshotDir() + "/window-x11.png"});

    click(window, kCloseButton);  // "CloseX" without a tray: the client saves and quits
    ASSERT_TRUE(client.process().waitForFinished(15000));
    EXPECT_EQ(client.process().exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(client.process().exitCode(), 0);
    EXPECT_FALSE(client.log().contains(":FATAL:"));
}

}  // namespace
