// The XTest transport and the XInput2 button hook against a real X server (the platform tests
// run under their own Xvfb): a Qt window of this process is the test client that reads back
// what the transport types.
#include <QGuiApplication>
#include <QKeyEvent>
#include <QTest>
#include <QWindow>

#include <gtest/gtest.h>

#include "platform/input/desktop_hid_transports.h"
#include "platform/input/pointer_button_hook.h"
#include "platform/input/x11_input.h"
#include "support/qt_wait.h"

namespace kf::platform {
namespace {

// Writes down every key press it gets: its text, or the chord for Ctrl combinations.
class KeyReader : public QWindow {
public:
    QString typed;

protected:
    void keyPressEvent(QKeyEvent* event) override {
        if (event->modifiers() & Qt::ControlModifier && event->key() >= Qt::Key_A &&
            event->key() <= Qt::Key_Z) {
            typed += QStringLiteral("<Ctrl+%1>").arg(QChar(event->key()));
        } else {
            typed += event->text();
        }
    }
};

QByteArray keyboardReport(quint8 modifiers, quint8 key) {
    QByteArray report(kHidReportSize, 0);
    report[0] = char(kControlReportId);
    report[1] = 0x09;
    report[2] = char(kKeyboardReportId);
    report[3] = char(modifiers);
    report[5] = char(key);
    return report;
}

class X11Input : public ::testing::Test {
protected:
    void SetUp() override {
        if (QGuiApplication::platformName() != QLatin1String("xcb")) {
            GTEST_SKIP() << "needs an X display and QT_QPA_PLATFORM=xcb";
        }
    }
};

TEST_F(X11Input, XTestTransportTypesAChordAndNonLatinTextIntoAWindow) {
    KeyReader reader;
    reader.resize(200, 100);
    reader.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&reader));
    reader.requestActivate();
    ASSERT_TRUE(kftest::waitFor([&] { return reader.isActive(); }));

    XTestHidTransport transport;
    ASSERT_EQ(transport.openCollection(1), 0);
    ASSERT_EQ(transport.openCollection(2), 0);
    for (const QByteArray& report :
         {keyboardReport(0x01, 0x06), keyboardReport(0x01, 0), keyboardReport(0, 0)}) {
        ASSERT_EQ(transport.writeReport(reinterpret_cast<const quint8*>(report.constData()), report.size()),
                  0);
    }
    const QString text = QStringLiteral("Aé中Жb😀!");
    EXPECT_TRUE(transport.typeText(text));
    EXPECT_FALSE(transport.typeText(QString(QChar(0xD800))));  // half a surrogate pair
    const QString expected = QStringLiteral("<Ctrl+C>") + text;
    EXPECT_TRUE(kftest::waitFor([&] { return reader.typed == expected; }, 5000));
    EXPECT_EQ(reader.typed.toStdString(), expected.toStdString());
    transport.close();
}

TEST_F(X11Input, ButtonHookSeesReleasesWherePointerIs) {
    std::unique_ptr<PointerButtonHook> hook = createPointerButtonHook();
    ASSERT_NE(hook, nullptr);
    QList<QPair<int, QPoint>> releases;
    ASSERT_TRUE(hook->install([&](int button, QPoint at) { releases.append({button, at}); }));
    std::unique_ptr<kf::platform::X11Input> input = kf::platform::X11Input::open();
    ASSERT_NE(input, nullptr);
    input->warp(100, 200);
    input->button(1, true);
    input->button(1, false);
    input->button(3, true);
    input->button(3, false);
    input->flush();
    ASSERT_TRUE(kftest::waitFor([&] { return releases.size() == 2; }, 5000));
    EXPECT_EQ(releases.at(0), qMakePair(1, QPoint(100, 200)));
    EXPECT_EQ(releases.at(1).first, 3);
    hook->uninstall();
    input->button(1, true);
    input->button(1, false);
    input->flush();
    kftest::settle(100);
    EXPECT_EQ(releases.size(), 2);
}

}  // namespace
}  // namespace kf::platform
