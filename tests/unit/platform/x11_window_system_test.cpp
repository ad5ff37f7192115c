// The X11 window system against a real X server. Runs only when the tests use the xcb platform
// (e.g. xvfb-run with QT_QPA_PLATFORM=xcb); the offscreen default skips it.
#include <QGuiApplication>
#include <QTest>
#include <QWindow>

#include <algorithm>

#include <ostream>

#include <gtest/gtest.h>

#include "platform/windowing/window_system.h"
#include "platform/windowing/x11_window_system.h"

// Readable QString values in failure messages (the same definition in every test file).
inline void PrintTo(const QString& text, std::ostream* out) {
    *out << '"' << text.toStdString() << '"';
}

namespace kf::platform {
namespace {

class X11Windows : public ::testing::Test {
protected:
    void SetUp() override {
        if (QGuiApplication::platformName() != QLatin1String("xcb")) {
            GTEST_SKIP() << "needs an X display and QT_QPA_PLATFORM=xcb";
        }
        windows_ = X11WindowSystem::open();
        ASSERT_NE(windows_, nullptr);
    }

    // Shows a plain top-level window; Qt sets _NET_WM_PID and _NET_WM_NAME on it.
    static void showWindow(QWindow& window, const QString& title) {
        window.setTitle(title);
        window.resize(120, 80);
        window.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    }

    const TopLevelWindow* find(const QVector<TopLevelWindow>& all, quint64 id) {
        const auto it =
            std::find_if(all.begin(), all.end(), [id](const TopLevelWindow& w) { return w.id == id; });
        return it == all.end() ? nullptr : &*it;
    }

    std::unique_ptr<X11WindowSystem> windows_;
};

TEST_F(X11Windows, ListsOwnWindowsWithPidAndUtf8Title) {
    QWindow main;
    showWindow(main, QStringLiteral("Vorkanta平台"));
    const QVector<TopLevelWindow> all = windows_->topLevelWindows();
    const TopLevelWindow* entry = find(all, main.winId());
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->pid, QCoreApplication::applicationPid());
    EXPECT_EQ(entry->title, QStringLiteral("Vorkanta平台"));
}

TEST_F(X11Windows, BringsTheMatchingWindowForward) {
    QWindow main;
    showWindow(main, QStringLiteral("Vorkanta平台"));
    QWindow product;
    showWindow(product, QStringLiteral("Vorkanta (2)"));
    main.requestActivate();
    ASSERT_TRUE(QTest::qWaitFor([&]() { return windows_->focusedWindow() == main.winId(); }, 5000));

    EXPECT_TRUE(bringProcessWindowForward(*windows_, QCoreApplication::applicationPid()));
    EXPECT_TRUE(QTest::qWaitFor([&]() { return windows_->focusedWindow() == product.winId(); }, 5000));
}

TEST_F(X11Windows, VanishedWindowIsAFailureNotACrash) {
    QWindow window;
    showWindow(window, QStringLiteral("Vorkanta"));
    const quint64 id = window.winId();
    window.destroy();
    ASSERT_TRUE(QTest::qWaitFor([&]() { return find(windows_->topLevelWindows(), id) == nullptr; }, 5000));
    EXPECT_FALSE(windows_->activateWindow(id));
    EXPECT_FALSE(windows_->activateWindow(0));
    // The connection still works after the errors.
    QWindow other;
    showWindow(other, QStringLiteral("Vorkanta (1)"));
    EXPECT_NE(find(windows_->topLevelWindows(), other.winId()), nullptr);
}

}  // namespace
}  // namespace kf::platform
