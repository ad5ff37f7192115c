// The request path without a page: answer handles, the handler's routing of the two window
// requests, and the hop of a MessageEvent to the view's jsMessage signal.
#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QWidget>
#include <atomic>
#include <thread>
#include <vector>

#include "cefclient/client_handler.h"
#include "cefclient/message_event.h"
#include "cefclient/page_bridge.h"
#include "cefclient/qcef_web_view.h"
#include "cefclient/query_callback.h"

namespace {

struct Answer {
    bool success;
    int code;
    QString text;
    bool final;
};

QueryCallbackPtr recording(std::vector<Answer>* out, bool persistent) {
    return QueryCallbackPtr(new QueryCallback(
        [out](bool s, int c, const QString& t, bool f) {
            out->push_back({s, c, t, f});
        },
        persistent));
}

TEST(QueryCallback, NonPersistentIsAnsweredOnce) {
    std::vector<Answer> answers;
    QueryCallbackPtr cb = recording(&answers, false);
    EXPECT_TRUE(cb->Success("first"));
    EXPECT_FALSE(cb->Success("second"));
    EXPECT_FALSE(cb->Failure(0, "third"));
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_EQ(answers[0].text, "first");
    EXPECT_TRUE(answers[0].final);
    EXPECT_FALSE(cb->isPending());
}

TEST(QueryCallback, PersistentTakesSuccessesUntilAFailure) {
    std::vector<Answer> answers;
    QueryCallbackPtr cb = recording(&answers, true);
    EXPECT_TRUE(cb->Success("1"));
    EXPECT_TRUE(cb->Success("2"));
    EXPECT_TRUE(cb->isPending());
    EXPECT_TRUE(cb->Failure(0, "done"));
    EXPECT_FALSE(cb->Success("late"));
    ASSERT_EQ(answers.size(), 3u);
    EXPECT_FALSE(answers[1].final);
    EXPECT_TRUE(answers[2].final);
    EXPECT_FALSE(answers[2].success);
}

TEST(QueryCallback, CancelledHandleDeliversNothing) {
    std::vector<Answer> answers;
    QueryCallbackPtr cb = recording(&answers, false);
    cb->cancel();
    EXPECT_FALSE(cb->Success("x"));
    EXPECT_TRUE(answers.empty());
}

TEST(QueryCallback, ManyThreadsRacingDeliverExactlyOneAnswer) {
    for (int round = 0; round < 50; ++round) {
        std::atomic<int> delivered{0};
        QueryCallbackPtr cb(new QueryCallback([&](bool, int, const QString&, bool) { ++delivered; }, false));
        std::vector<std::thread> threads;
        for (int i = 0; i < 8; ++i) {
            threads.emplace_back([cb, i] { i % 2 ? cb->Success("s") : cb->Failure(0, "f"); });
        }
        for (auto& t : threads)
            t.join();
        EXPECT_EQ(delivered.load(), 1);
    }
}

TEST(PageBridge, AnswersFromAnotherThreadArriveOnTheBridgeThread) {
    PageBridge bridge(nullptr);
    QSignalSpy answers(&bridge, &PageBridge::answer);
    QueryCallbackPtr cb = bridge.makeCallback(5, false);
    EXPECT_EQ(bridge.pendingCount(), 1);
    std::thread worker([cb] { cb->Success("from worker"); });
    worker.join();
    ASSERT_TRUE(answers.wait(2000));
    EXPECT_EQ(answers.at(0).at(0).toInt(), 5);
    EXPECT_EQ(answers.at(0).at(3).toString(), "from worker");
    EXPECT_EQ(bridge.pendingCount(), 0);
}

TEST(PageBridge, HandleOutlivingItsBridgeIsHarmless) {
    QueryCallbackPtr cb;
    {
        PageBridge bridge(nullptr);
        cb = bridge.makeCallback(1, true);
    }
    EXPECT_FALSE(cb->isPending());
    EXPECT_FALSE(cb->Success("nobody listens"));
    std::thread([cb] { cb->Failure(0, "still nobody"); }).join();
}

TEST(PageBridge, EventsWaitForTheReadyPageAndNavigationDropsThem) {
    PageBridge bridge(nullptr);
    QSignalSpy events(&bridge, &PageBridge::event);
    bridge.sendEvent("DevicesChanged", {2});
    bridge.sendEvent("DevicesChanged", {1});
    EXPECT_EQ(events.count(), 0);
    bridge.ready();
    ASSERT_EQ(events.count(), 2);
    EXPECT_EQ(events.at(0).at(1).toList(), QVariantList{2});
    bridge.sendEvent("navStateChanged", {true, false});
    EXPECT_EQ(events.count(), 3);

    QueryCallbackPtr cb = bridge.makeCallback(9, false);
    bridge.leaving();  // the page is unloaded
    EXPECT_FALSE(cb->isPending());
    bridge.sendEvent("DevicesChanged", {2});
    EXPECT_EQ(events.count(), 3);
    for (int i = 0; i < PageBridge::kMaxQueuedEvents + 10; ++i)
        bridge.sendEvent("DevicesChanged", {i});
    bridge.ready();
    EXPECT_EQ(events.count(), 3 + PageBridge::kMaxQueuedEvents);
}

TEST(PageBridge, ANewDocumentEndsQueriesOfTheOneBefore) {
    // A document that went away without saying so (a crash, a lost unload message).
    PageBridge bridge(nullptr);
    bridge.ready();
    QueryCallbackPtr old = bridge.makeCallback(1, true);
    bridge.ready();  // the next document connects
    EXPECT_FALSE(old->isPending());
    QueryCallbackPtr fresh = bridge.makeCallback(1, false);
    EXPECT_TRUE(fresh->isPending());
}

TEST(PageBridge, InboxTakesOnlyWellFormedMessages) {
    PageBridge bridge(nullptr);
    QueryCallbackPtr held = bridge.makeCallback(4, false);
    bridge.setInbox({"cancel"});              // no id: ignored
    bridge.setInbox({"cancel", 4, "extra"});  // wrong length: ignored
    bridge.setInbox({42});
    bridge.setInbox({});
    EXPECT_TRUE(held->isPending());
    bridge.setInbox({"cancel", 4});
    EXPECT_FALSE(held->isPending());
    QueryCallbackPtr other = bridge.makeCallback(5, false);
    bridge.setInbox({"leaving"});
    EXPECT_FALSE(other->isPending());
}

TEST(PageBridge, ReusedQueryIdCancelsTheOldHandle) {
    PageBridge bridge(nullptr);
    QueryCallbackPtr first = bridge.makeCallback(3, false);
    QueryCallbackPtr second = bridge.makeCallback(3, false);
    EXPECT_FALSE(first->isPending());
    EXPECT_TRUE(second->isPending());
    bridge.cancel(3);
    EXPECT_FALSE(second->isPending());
    bridge.cancel(12345);  // unknown: nothing happens
}

TEST(MoveWindow, ArgumentsAreIntegersFromCharacterElevenOn) {
    using L = QList<int>;
    EXPECT_EQ(ClientHandler::parseMoveArguments("MoveWindow:10,20,1160,720"), (L{10, 20, 1160, 720}));
    EXPECT_EQ(ClientHandler::parseMoveArguments("MoveWindow|-5,-7,300,200"), (L{-5, -7, 300, 200}));
    EXPECT_EQ(ClientHandler::parseMoveArguments("MoveWindow:10,20"), (L{10, 20}));
    EXPECT_EQ(ClientHandler::parseMoveArguments("MoveWindow:1, 2, 3, 4"), (L{1, 2, 3, 4}));
    EXPECT_EQ(ClientHandler::parseMoveArguments("MoveWindow:1,2,3,4x9"), (L{1, 2, 3, 4}));
    EXPECT_EQ(ClientHandler::parseMoveArguments("MoveWindow:1,,2"), (L{1}));
    EXPECT_EQ(ClientHandler::parseMoveArguments("MoveWindow"), L{});
    EXPECT_EQ(ClientHandler::parseMoveArguments("MoveWindow:99999999999,1,2,3"), L{});  // overflow stops
    EXPECT_EQ(ClientHandler::parseMoveArguments("MoveWindow:" + QString(100000, '1')), L{});
}

TEST(MoveWindow, MovesByOffsetOrRestoresWithTheNewSize) {
    QWidget window;
    window.setGeometry(100, 100, 400, 300);
    window.show();
    ClientHandler::moveTopLevel(&window, 10, -20, 500, 350);
    EXPECT_EQ(window.geometry(), QRect(110, 80, 500, 350));
    window.showMinimized();
    ClientHandler::moveTopLevel(&window, 10, 10, 640, 480);
    EXPECT_FALSE(window.isMinimized());
    EXPECT_EQ(window.size(), QSize(640, 480));
    ClientHandler::moveTopLevel(nullptr, 1, 1, 1, 1);  // no window: nothing to do
}

class RecordingListener : public ClientHandler::Listener {
public:
    void OnAfterCreated(Browser*) override {}
    void OnMessageEvent(MessageEvent* event) override {
        texts.append(event->name());
        delete event;
    }
    QStringList texts;
};

TEST(Routing, WindowRequestsStayInTheHandlerAndTheRestGoToTheListener) {
    QTemporaryDir dir;
    ClientHandler handler(dir.path());
    RecordingListener listener;
    QWidget window;
    window.setGeometry(50, 60, 300, 200);
    window.show();
    handler.setMainWindowHandle(&window);

    std::vector<Answer> answers;
    handler.onQuery(nullptr, "MoveWindow:1,2,320,240", recording(&answers, false));
    ASSERT_EQ(answers.size(), 1u);
    EXPECT_TRUE(answers[0].success);
    EXPECT_EQ(answers[0].text, "");
    EXPECT_EQ(window.geometry(), QRect(51, 62, 320, 240));

    handler.onQuery(nullptr, "{\"FuncName\":\"GetDevicesList\"}", recording(&answers, false));
    EXPECT_TRUE(listener.texts.isEmpty());  // no listener yet: stays pending, nothing routed
    handler.setListener(&listener);
    handler.onQuery(nullptr, "MoveWindow:1,2", recording(&answers, false));
    handler.onQuery(nullptr, "{\"FuncName\":\"MinisizeWindow\"}", recording(&answers, false));
    EXPECT_TRUE(window.isMinimized());
    handler.onQuery(nullptr, "{\"FuncName\": \"MinisizeWindow\"}", recording(&answers, false));
    handler.onQuery(nullptr, "{\"FuncName\":\"GetDevicesList\"}", recording(&answers, false));
    EXPECT_EQ(listener.texts,
              (QStringList{"{\"FuncName\": \"MinisizeWindow\"}", "{\"FuncName\":\"GetDevicesList\"}"}));
    EXPECT_EQ(answers.size(), 1u);
}

TEST(Routing, ViewTurnsPostedEventsIntoJsMessagesInOrder) {
    QTemporaryDir dir;
    ClientHandler handler(dir.path());
    kf::setClientHandler(&handler);
    {
        QCefWebView view;  // no size, no URL: no browser is created
        QSignalSpy messages(&view, &QCefWebView::jsMessage);
        std::vector<Answer> answers;
        for (int i = 0; i < 5; ++i)
            view.OnMessageEvent(new MessageEvent(QString::number(i), recording(&answers, false)));
        EXPECT_EQ(messages.count(), 0);  // delivered through the event queue, not inline
        QCoreApplication::processEvents();
        ASSERT_EQ(messages.count(), 5);
        for (int i = 0; i < 5; ++i)
            EXPECT_EQ(messages.at(i).at(0).toString(), QString::number(i));
        EXPECT_EQ(view.browserState(), QCefWebView::kNone);
        EXPECT_EQ(view.evaluateJavaScript("1", ""), QVariant(false));
    }
    kf::setClientHandler(nullptr);
}

TEST(Routing, MessageEventTypeIsRegisteredOnce) {
    EXPECT_EQ(MessageEvent::eventType(), MessageEvent::eventType());
    EXPECT_GE(MessageEvent::eventType(), QEvent::User);
}

}  // namespace
