// Nothing lost by one click: quitting with values changed since the last read asks
// first, and so do "Default" and the buffers' "Clear"; a cleared buffer's counter
// shows the empty buffer at once.
#include <QAction>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/form1.h"
#include "app/qt/main_window.h"
#include "app/qt/user_options.h"
#include "link/engine.h"
#include "sim/pty_tracker.h"
#include "tests/qt/qt_test_support.h"

namespace quorvane {
namespace {

using qt_test::As;
using qt_test::Window;

// Turns both questions on for the test and leaves the user's options as they were.
struct QuestionsOn {
    explicit QuestionsOn(TForm1Window& w)
        : window(w),
          quit(w.Options().Flag(QString::fromLatin1(TForm1Window::kAskBeforeQuitKey), true)),
          confirm(w.Options().Flag(QString::fromLatin1(TForm1Window::kConfirmMaintenanceKey), true)) {
        for (const char* item : {"AskBeforeQuitting1", "ConfirmDefaultAndClear1"})
            if (!w.MenuItem(QString::fromLatin1(item))->isChecked()) w.MenuItem(QString::fromLatin1(item))->trigger();
    }
    ~QuestionsOn() {
        window.Options().SetFlag(QString::fromLatin1(TForm1Window::kAskBeforeQuitKey), quit);
        window.Options().SetFlag(QString::fromLatin1(TForm1Window::kConfirmMaintenanceKey), confirm);
    }
    QuestionsOn(const QuestionsOn&) = delete;
    QuestionsOn& operator=(const QuestionsOn&) = delete;
    TForm1Window& window;
    bool quit;
    bool confirm;
};

void Connect(Window& w, const sim::PtyTracker& tracker) {
    w.Form().SetText("ComboBox1", tracker.SlavePath());
    As<QPushButton>(w.Form(), "OpenPort").click();
    ASSERT_TRUE(w.window->Logic().PortOpen());
    for (int i = 0; i < kConnectPollReload; ++i) w.window->Logic().Timer1Timer();
    ASSERT_TRUE(QTest::qWaitFor([&] { return w.window->Dialogs().StatusText(0) == "Connected"; }, 10000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !w.window->Logic().Busy(); }, 10000));
}

// Clicks a button, answers the question and the completion box, and waits for the end.
std::vector<std::string> ClickAnswering(Window& w, const char* button, bool yes) {
    std::vector<std::string> texts;
    texts.push_back(qt_test::AnswerNextBox([&] { As<QPushButton>(w.Form(), button).click(); }, yes));
    if (!yes) return texts;
    qt_test::BoxAnswerer boxes;
    for (int i = 0; i < 3 && w.window->Logic().Busy(); ++i) w.window->Logic().Timer2Timer();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !boxes.Texts().empty() && !w.window->Logic().Busy(); }, 10000));
    texts.insert(texts.end(), boxes.Texts().begin(), boxes.Texts().end());
    return texts;
}

TEST(Questions, QuitAsksOnlyWithChangedValuesAndNoKeepsTheWindow) {
    sim::PtyTracker tracker(sim::PtyTrackerOptions{});
    Window w;
    QuestionsOn on(*w.window);
    w.ShowActive();
    ASSERT_NO_FATAL_FAILURE(Connect(w, tracker));
    {
        qt_test::BoxAnswerer boxes;
        As<QPushButton>(w.Form(), "GPRSRead").click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.Texts().empty() && !w.window->Logic().Busy(); }, 10000));
    }
    w.Form().SetText("Port", w.Form().Text("Port") == "7000" ? "7001" : "7000");
    w.Form().SetText("APN", "fleet.example");

    // No: the window, its port and the edits stay.
    const std::string question =
        qt_test::AnswerNextBox([&] { w.window->MenuItem(QStringLiteral("Exit1"))->trigger(); }, false);
    EXPECT_EQ(question,
              "2 controls on the tab GPRS were changed since the tracker was last read or written. Quit without "
              "writing them?");
    EXPECT_TRUE(w.window->isVisible());
    EXPECT_TRUE(w.window->Logic().PortOpen());
    EXPECT_EQ(w.Form().Text("APN"), "fleet.example");
    qt_test::AnswerNextBox([&] { EXPECT_FALSE(w.window->close()); }, false);
    EXPECT_TRUE(w.window->isVisible());

    // Written, nothing is changed any more: Exit closes at once.
    {
        qt_test::BoxAnswerer boxes;
        As<QPushButton>(w.Form(), "GPRSWrite").click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.Texts().empty() && !w.window->Logic().Busy(); }, 10000));
    }
    w.window->MenuItem(QStringLiteral("Exit1"))->trigger();
    EXPECT_FALSE(w.window->isVisible());
    EXPECT_FALSE(w.window->Logic().PortOpen());
}

TEST(Questions, QuitWithTheQuestionOffOrYesCloses) {
    sim::PtyTracker tracker(sim::PtyTrackerOptions{});
    Window w;
    QuestionsOn on(*w.window);
    w.ShowActive();
    ASSERT_NO_FATAL_FAILURE(Connect(w, tracker));
    {
        qt_test::BoxAnswerer boxes;
        As<QPushButton>(w.Form(), "MainRead").click();
        ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.Texts().empty() && !w.window->Logic().Busy(); }, 10000));
    }
    w.Form().SetText("Speed", w.Form().Text("Speed") == "90" ? "91" : "90");
    w.window->MenuItem(QStringLiteral("AskBeforeQuitting1"))->trigger();
    EXPECT_FALSE(w.window->Options().Flag(QString::fromLatin1(TForm1Window::kAskBeforeQuitKey), true));
    EXPECT_TRUE(w.window->close());
    EXPECT_FALSE(w.window->isVisible());

    // On again: Yes closes.
    w.window->MenuItem(QStringLiteral("AskBeforeQuitting1"))->trigger();
    w.ShowActive();
    bool closed = false;
    const std::string question = qt_test::AnswerNextBox([&] { closed = w.window->close(); }, true);
    EXPECT_EQ(question.substr(0, 27), "1 control on the tab Main w");
    EXPECT_TRUE(closed);
    Window other;  // a second window reads the option back
    EXPECT_TRUE(other.window->MenuItem(QStringLiteral("AskBeforeQuitting1"))->isChecked());
}

TEST(Questions, DefaultAndClearAskFirstAndAClearedCounterShowsAtOnce) {
    sim::PtyTracker tracker(sim::PtyTrackerOptions{});
    Window w;
    QuestionsOn on(*w.window);
    w.ShowActive();
    ASSERT_NO_FATAL_FAILURE(Connect(w, tracker));
    const std::string counter = w.Form().Text("SMSBuffer");
    ASSERT_NE(counter.find('/'), std::string::npos);
    const std::string stored = counter.substr(0, counter.find('/'));
    const std::string capacity = counter.substr(counter.find('/'));

    // No: nothing goes to the tracker.
    const std::vector<std::string> refused = ClickAnswering(w, "InitAll", false);
    EXPECT_EQ(refused.front(),
              "Restore the tracker's factory settings? Every parameter it holds now is replaced by its factory "
              "value.");
    EXPECT_EQ(w.window->Logic().Engine().State().OperationState, OperationState::OpIdle);
    EXPECT_EQ(w.window->Dialogs().StatusText(1), "Idle");
    ClickAnswering(w, "ClearSMS", false);
    EXPECT_EQ(w.Form().Text("SMSBuffer"), counter);

    // Yes: the described command, texts and box follow; the counter shows the empty buffer.
    const std::vector<std::string> cleared = ClickAnswering(w, "ClearSMS", true);
    ASSERT_EQ(cleared.size(), 2U);
    EXPECT_EQ(cleared[0], "Clear the tracker's SMS buffer? The " + stored +
                              (stored == "1" ? " record it holds is deleted." : " records it holds are deleted."));
    EXPECT_EQ(cleared[1], "Clear SMS Buffer Completed!");
    EXPECT_EQ(w.Form().Text("SMSBuffer"), "0" + capacity);
    EXPECT_EQ(tracker.State().Counters(sim::Buffer::Sms).stored, 0U);
    EXPECT_EQ(ClickAnswering(w, "InitAll", true).back(), "Default Completed!");

    // Off: no question.
    w.window->MenuItem(QStringLiteral("ConfirmDefaultAndClear1"))->trigger();
    qt_test::BoxAnswerer boxes;
    As<QPushButton>(w.Form(), "ClearGPSLog").click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !boxes.Texts().empty() && !w.window->Logic().Busy(); }, 10000));
    EXPECT_EQ(boxes.Texts(), std::vector<std::string>{"Clear GPS Log Completed!"});
}

}  // namespace
}  // namespace quorvane
