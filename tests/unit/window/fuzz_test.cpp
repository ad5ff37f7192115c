// Random and mutated requests into onJsMessage: nothing crashes, and every answer that is given
// is one the command table allows for that request. Deeply nested and 1 MB arguments come in
// between; no request may raise the peak memory by more than 256 MiB, and the slowest request
// is reported. Fixed seed, fixed number of requests.
#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QEvent>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cstdio>

#include "device/device_layer.h"
#include "platform/desktop/url_opener.h"
#include "platform/display/screen_metrics.h"
#include "platform/keyboard/keyboard_layouts.h"
#include "platform/updater/updater_launcher.h"
#include "support/qt_wait.h"
#include "support/request_cost.h"
#include "support/thread_census.h"
#include "unit/device/emulator_helpers.h"
#include "window/command_args.h"
#include "window/updates.h"
#include "window_helpers.h"

namespace {

constexpr int kRequests = 20000;

// What the table allows as the answer to a request, given no device, music, update, file or
// pointer component (those rows stay unanswered).
bool answerAllowed(const QString& request, const QList<kftest::Answer>& answers, QString* why) {
    if (answers.size() > 1) {
        *why = "answered more than once";
        return false;
    }
    if (request.contains("maxsizeWindow") || request.contains("restoreWindow")) {
        *why = "plain window request answered";
        return answers.isEmpty();
    }
    const QJsonDocument doc = QJsonDocument::fromJson(request.toUtf8());
    const QVariantMap args = doc.isObject() ? doc.object().toVariantMap() : QVariantMap();
    if (!doc.isObject() || !args.contains("FuncName")) {
        *why = "malformed request answered";
        return answers.isEmpty();
    }
    const QString name = kf::window::argText(args, "FuncName");
    const auto only = [&](const kftest::Answer& expected) {
        *why = "wrong answer for " + name;
        return answers.size() == 1 && answers.first() == expected;
    };
    const auto none = [&] {
        *why = name + " should stay unanswered";
        return answers.isEmpty();
    };
    if (name == "goback" || name == "goforward")
        return only(kftest::ok(name));
    if (name == "CloseX")
        return only(kftest::ok("CloseX sucess"));
    if (name == "CloseApp")
        return only(kftest::ok("modify conf sucess"));
    if (name == "SetIME")
        return only(kftest::ok("SetIME success!"));
    if (name == "OpenUrl")
        return args.contains("Url") ? only(kftest::ok("open successed")) : none();
    if (name == "SendMsgToMainBrowser") {
        return args.contains("Url") && args.contains("Msg") ? only(kftest::ok("SendMsgToMainBrowser success"))
                                                            : none();
    }
    if (name == "RefreshVirtualDrive") {
        return kf::window::argText(args, "VirtualStr").isEmpty()
                   ? none()
                   : only(kftest::failed("RefreshVirtualDrive failed!"));
    }
    const auto oneOf = [&](std::initializer_list<kftest::Answer> allowed) {
        *why = "unexpected answer for " + name;
        if (answers.isEmpty())
            return false;
        for (const kftest::Answer& a : allowed) {
            if (answers.first() == a)
                return true;
        }
        return false;
    };
    if (name == "ReadFileToStr") {
        if (!args.contains("FilePath"))
            return none();
        *why = "ReadFileToStr answers a node text or its failure";
        return answers.size() == 1 &&
               (answers.first().success ||
                answers.first() == kftest::failed("queryProfile load xml file failed!"));
    }
    if (name == "ModifyFileFromStr")
        return oneOf({kftest::ok("ModifyFileFromStr success"), kftest::failed("ModifyFileFromStr failed")});
    if (name == "savexml")
        return answers.isEmpty() || oneOf({kftest::ok("save xml success")});
    if (name == "saveFileDialog" || name == "OpenFileDialog")
        return only(kftest::failed("doesn't select file"));  // the scripted dialogs cancel
    static const QMap<QString, QString> pointerTexts{
        {"modifyMouseAcce", "modifyMouseAccel"},
        {"ModifyWindowAcceleratedSpeed", "ModifyWindowAcceleratedSpeed"},
        {"ModifyMouseScrollLines", "ModifyMouseScrollLines"},
        {"modifyMouseScrollLinesX", "modifyMouseScrollLinesX"},
        {"modifyMouseDoubleClick", "modifyMouseDoubleClick"}};
    if (pointerTexts.contains(name)) {
        if (!args.contains("Num"))
            return none();
        const QString text = pointerTexts.value(name);
        return oneOf({kftest::ok(text + " success"), kftest::failed(text + " failed")});
    }
    if (name == "GetLocalConf" || name == "GetVirtualDevice" || name == "GetClientUpdate") {
        *why = name + " must answer success";
        return answers.size() == 1 && answers.first().success && answers.first().code == 0;
    }
    return none();
}

// Requests the mutations start from: every command with plausible arguments.
QStringList seeds() {
    QStringList result;
    for (const QString& name : Window::commandNames()) {
        QJsonObject o{{"FuncName", name},    {"Version", "MG1"},     {"Url", "about:blank"},
                      {"url", "/a.html"},    {"Width", 320},         {"Height", 200},
                      {"width", "300"},      {"height", "200"},      {"Num", 5},
                      {"status", "开始"},    {"VirtualStr", "<a/>"}, {"Name", "Define"},
                      {"Msg", "hi"},         {"Data", "[\"1\"]"},    {"Event", "PlayMusic"},
                      {"FilePath", "a.xml"}, {"Xpath", "//a"},       {"ContentStr", "<a/>"}};
        result << QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
        result << QString::fromUtf8(
            QJsonDocument(QJsonObject{{"FuncName", name}}).toJson(QJsonDocument::Compact));
    }
    result << "maxsizeWindow"
           << "restoreWindow"
           << "[1,2,3]"
           << "{}"
           << "\"text\"";
    return result;
}

// Requests with deeply nested and 1 MB arguments: nested XML for the file commands, nested
// XPath, nested JSON, and a 1 MB text for each argument key of every command.
QStringList heavyRequests() {
    const auto json = [](const QJsonObject& o) {
        return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
    };
    const auto nestedXml = [](int depth, const QString& body = QString()) {
        return QString("<a>").repeated(depth) + body + QString("</a>").repeated(depth);
    };
    const QString mb(1024 * 1024, QChar('x'));
    QStringList result;
    for (int depth : {10000, 30000}) {
        result << json(
            {{"FuncName", "ModifyFileFromStr"}, {"FilePath", "deep.xml"}, {"ContentStr", nestedXml(depth)}});
    }
    result << json({{"FuncName", "ModifyFileFromStr"},
                    {"FilePath", "wide.xml"},
                    {"ContentStr", nestedXml(63, QString("<b/>").repeated(256 * 1024))}})
           << json({{"FuncName", "ModifyFileFromStr"},
                    {"FilePath", "big.xml"},
                    {"ContentStr", "<r>" + QString("<b x='1'/>").repeated(100 * 1024) + "</r>"}})
           << json({{"FuncName", "ReadFileToStr"},
                    {"FilePath", "small.xml"},
                    {"Xpath", QString(100000, '(') + "//b" + QString(100000, ')')}})
           << json({{"FuncName", "RefreshVirtualDrive"}, {"VirtualStr", nestedXml(30000)}})
           << QString(100000, '[') + QString(100000, ']')
           << "{\"FuncName\":\"GetDevicesList\",\"a\":" + QString(100000, '[') + QString(100000, ']') + "}";
    static const char* const keys[] = {"Url",   "Msg",        "Width",    "Height", "width",      "height",
                                       "url",   "VirtualStr", "Name",     "status", "Version",    "Data",
                                       "Event", "Num",        "FilePath", "Xpath",  "ContentStr", "Task"};
    int k = 0;
    for (const QString& name : Window::commandNames()) {
        result << json({{"FuncName", name}, {keys[k++ % int(sizeof(keys) / sizeof(keys[0]))], mb}});
    }
    return result;
}

QString randomText(QRandomGenerator& rng, int maxLength) {
    static const QString pieces[] = {
        "{",  "}",       "[",  "]",        "\"",     ":",   ",",   "null", "true", "1e999",
        "-0", "\\u0000", "\\", "FuncName", "CloseX", "Url", "Msg", " ",    "你好", QString(QChar(0))};
    QString text;
    const int parts = int(rng.bounded(maxLength + 1));
    for (int i = 0; i < parts; ++i) {
        if (rng.bounded(3) == 0) {
            text += QChar(ushort(rng.bounded(0x10000)));
        } else {
            text += pieces[rng.bounded(int(sizeof(pieces) / sizeof(pieces[0])))];
        }
    }
    return text;
}

QJsonValue randomValue(QRandomGenerator& rng) {
    switch (rng.bounded(7)) {
        case 0:
            return QJsonValue();
        case 1:
            return rng.bounded(2) == 0;
        case 2:
            return double(qint64(rng.generate64()) >> rng.bounded(64));
        case 3:
            return QJsonArray{1, "x"};
        case 4:
            return QJsonObject{{"k", "v"}};
        case 5:
            return QString(int(rng.bounded(100000)), QChar('x'));
        default:
            return randomText(rng, 8);
    }
}

QString mutate(QString text, QRandomGenerator& rng) {
    const int steps = 1 + int(rng.bounded(4));
    for (int i = 0; i < steps; ++i) {
        const int at = text.isEmpty() ? 0 : int(rng.bounded(text.size() + 1));
        switch (rng.bounded(6)) {
            case 0:
                text.insert(at, randomText(rng, 3));
                break;
            case 1:
                text.remove(at, int(rng.bounded(8)));
                break;
            case 2:
                if (at < text.size())
                    text[at] = text[at].isUpper() ? text[at].toLower() : text[at].toUpper();
                break;
            case 3:
                text.truncate(at);
                break;
            case 4:
                text.insert(at, text.mid(at, int(rng.bounded(16))));
                break;
            default:
                if (at < text.size())
                    text[at] = QChar(ushort(rng.bounded(0x80)));
                break;
        }
    }
    return text;
}

TEST(DispatcherFuzz, NoRequestCrashesOrIsAnsweredWrongly) {
    // Quiet: every request writes its debug line.
    const kftest::QuietLog log;
    kftest::IsolatedWindow window;
    window.setKeyboardLayouts(std::make_unique<kf::platform::RecordingKeyboardLayouts>());
    window.setUrlOpener(std::make_unique<kf::platform::RecordingUrlOpener>());
    window.setQuitRoutine([] {});
    window.setScreenMetrics(
        std::make_unique<kf::platform::FixedScreenMetrics>(QSize(1920, 1080), QRect(0, 0, 1920, 1040)));
    const QStringList base = seeds();
    const QStringList heavy = heavyRequests();
    QFile small(window.root.path() + "/read/small.xml");  // for the queries to run on
    ASSERT_TRUE(small.open(QIODevice::WriteOnly) && small.write("<r><b>1</b></r>") > 0);
    small.close();
    QRandomGenerator rng(20240611u);
    int answered = 0;
    kftest::WorstRequests worst;
    for (int i = 0; i < kRequests; ++i) {
        QString request;
        switch (rng.bounded(4)) {
            case 0:
                request = randomText(rng, 40);
                break;
            case 1: {
                QJsonObject o{{"FuncName", Window::commandNames().at(int(rng.bounded(42)))}};
                for (const char* key :
                     {"Url", "Msg", "Width", "Height", "width", "height", "url", "VirtualStr", "Name",
                      "status", "Version", "Data", "Event", "Num", "FilePath", "Xpath", "ContentStr"}) {
                    if (rng.bounded(2) == 0)
                        o.insert(key, randomValue(rng));
                }
                request = QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
                break;
            }
            default:
                request = mutate(base.at(int(rng.bounded(base.size()))), rng);
                break;
        }
        if (i % 5000 == 4999) {
            request = QString(4 * 1024 * 1024, QChar('{'));  // a huge text now and then
        } else if (i % 250 == 125) {
            request = heavy.at((i / 250) % heavy.size());
        }
        kftest::AnswerLog answers;
        const kftest::RequestMeter meter;
        window.onJsMessage(request, answers.callback());
        worst.add(meter.ms(), meter.peakRise(), request);
        if (!kftest::kUnderAddressSanitizer) {
            ASSERT_LT(meter.peakRise(), 256 * 1024 * 1024) << request.left(300).toStdString();
        }
        QString why;
        ASSERT_TRUE(answerAllowed(request, answers.answers(), &why)) << why.toStdString() << "\n"
                                                                     << request.left(300).toStdString();
        answered += answers.count();
        if (i % 500 == 0) {
            // Let deferred deletions and queued calls run, as the event loop would.
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QCoreApplication::processEvents();
        }
    }
    worst.print("dispatcher fuzz");
    EXPECT_LT(kftest::QuietLog::longest(), 8192);  // a page's argument never floods the log
    EXPECT_GE(kRequests / 250, heavy.size());      // every heavy request came at least once
    EXPECT_LT(worst.ms, 10000);                    // far above what any request needs; catches blow-ups
    EXPECT_GT(answered, 100);                      // the mutations reach real commands, not just the parser
}

// A burst of requests with the device layer on the emulator and the update component present:
// firmware updates (good images, missing files, unlisted devices) between client updates,
// device requests and mutated requests of every kind. Threads come and go with their work: the
// count ends within 8 of where it began, and no firmware update thread is left.
TEST(DispatcherFuzz, BurstOfMixedRequestsLeavesNoThreadsBehind) {
    const kftest::QuietLog log;
    qputenv("KESTRAFON_WAIT_SCALE", "0.0005");
    kftest::EmulatorSandbox sandbox{QJsonArray{kftest::simDevice("ms", "QZK-ZMC-V1.1.0_01")}};
    kftest::IsolatedWindow window;
    window.setDeviceLayer(std::make_unique<kf::device::DeviceLayer>());
    const QString folder = window.root.path() + "/update";
    window.setUpdateServices(folder, std::make_unique<kf::platform::RecordingUpdaterLauncher>());
    QDir().mkpath(folder);
    const QByteArray data = kftest::firmwareData("QZK-ZMC-V1.1.0_01", 4500);
    const QByteArray image = kftest::firmwareFile(data, kftest::byteSum(data));
    const QStringList base = seeds();
    const auto json = [](const QJsonObject& o) {
        return QString::fromUtf8(QJsonDocument(o).toJson(QJsonDocument::Compact));
    };
    kftest::ask(window, json({{"FuncName", "GetDevicesList"}}));
    kftest::settle(200);
    const int before = kftest::threadsNamed();
    QRandomGenerator rng(20261209u);
    int firmwareRequests = 0;
    for (int i = 0; i < 3000; ++i) {
        const QString file = QString("%1/f%2.bin").arg(folder).arg(i);
        QString request;
        switch (rng.bounded(8)) {
            case 0:
            case 1:
                kftest::writeBytes(file, image);
                request = json({{"FuncName", "ExecuteUpdateFirmware"},
                                {"Version", "QZK-ZMC-V1.1.0"},
                                {"FilePath", file}});
                ++firmwareRequests;
                break;
            case 2:
                request = json({{"FuncName", "ExecuteUpdateFirmware"},
                                {"Version", rng.bounded(2) ? "QZK-NOPE" : "QZK-ZMC-V1.1.0"},
                                {"FilePath", folder + "/missing.bin"}});
                ++firmwareRequests;
                break;
            case 3:
                kftest::writeBytes(file, QByteArray(200 + int(rng.bounded(400)), 'p'));
                request = json({{"FuncName", "ExecuteUpdateClient"}, {"FilePath", file}});
                break;
            case 4:
                request = json({{"FuncName", rng.bounded(2) ? "GetDevicesList" : "RestartDevice"},
                                {"Version", "QZK-ZMC-V1.1.0"}});
                break;
            default:
                request = mutate(base.at(int(rng.bounded(base.size()))), rng);
                break;
        }
        kftest::AnswerLog answers;
        window.onJsMessage(request, answers.callback());
        if (i % 20 == 0) {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            QCoreApplication::processEvents();
        }
    }
    EXPECT_GT(firmwareRequests, 500);
    EXPECT_TRUE(kftest::waitFor(
        [&] {
            return window.updates()->firmwareUpdateCount() == 0 &&
                   kftest::threadsNamed("firmware update") == 0;
        },
        20000));
    kftest::settle(200);
    const int after = kftest::threadsNamed();
    std::printf("mixed burst: %d firmware requests, %d threads before, %d after\n", firmwareRequests, before,
                after);
    EXPECT_LE(after, before + 8);
    qunsetenv("KESTRAFON_WAIT_SCALE");
}

}  // namespace
