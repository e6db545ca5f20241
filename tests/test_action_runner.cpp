// The part of both windows that runs the handlers, headless: one action at a time, the
// errors it lets through, a close request during an action; and the texts both windows
// show on the message screen and in their boxes.
#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "app/action_runner.h"
#include "platform/interrupt.h"

namespace {

class ActionRunnerTest : public ::testing::Test {
 protected:
  void TearDown() override { platform::ClearStopRequest(); }

  std::vector<std::string> events;
  app::ActionRunner runner{
      {.show_error = [this](const std::string& m) { events.push_back("error " + m); },
       .close = [this] { events.push_back("close"); },
       .starting = [this] { events.push_back("start"); }}};
};

TEST_F(ActionRunnerTest, AnActionAskedForDuringAnotherRunsAfterItInTurn) {
  runner.Run([&] {
    events.push_back("first");
    runner.Run([&] { events.push_back("second"); });
    runner.Run([&] { events.push_back("third"); });
    EXPECT_TRUE(runner.Running());
    events.push_back("first ends");
  });
  EXPECT_FALSE(runner.Running());
  EXPECT_EQ(events, (std::vector<std::string>{"start", "first", "first ends", "start", "second",
                                              "start", "third"}));
}

TEST_F(ActionRunnerTest, AnErrorEndsItsActionIsShownAndTheNextStillRuns) {
  runner.Run([&] {
    runner.Run([&] { events.push_back("next"); });
    throw std::runtime_error("I/O error 5");
  });
  EXPECT_EQ(events, (std::vector<std::string>{"start", "error I/O error 5", "start", "next"}));
}

TEST_F(ActionRunnerTest, CloseDuringAnActionAsksOnceStopsItAndClosesWhenItEnds) {
  int asked = 0;
  const auto yes = [&] {
    ++asked;
    return true;
  };
  runner.Run([&] {
    runner.Run([&] { events.push_back("waiting"); });
    EXPECT_FALSE(runner.MayClose(yes));
    EXPECT_TRUE(platform::StopRequested());
    EXPECT_FALSE(runner.MayClose(yes));  // asked once: the stop is on its way
    // The action ends on the stop; that error needs no message.
    platform::RaiseIfStopRequested();
  });
  EXPECT_EQ(asked, 1);
  EXPECT_FALSE(platform::StopRequested());
  // The waiting action is dropped: the window closes.
  EXPECT_EQ(events, (std::vector<std::string>{"start", "close"}));
  EXPECT_TRUE(runner.MayClose([] { return false; }));
}

TEST_F(ActionRunnerTest, CloseAnsweredNoLetsTheActionGoOnAndTheWindowStay) {
  runner.Run([&] {
    EXPECT_FALSE(runner.MayClose([] { return false; }));
    EXPECT_FALSE(platform::StopRequested());
    events.push_back("went on");
  });
  EXPECT_EQ(events, (std::vector<std::string>{"start", "went on"}));
}

TEST(WindowTexts, EachLineBreakOfAQuestionIsOneBreakAndAScreenLineStaysOneLine) {
  EXPECT_EQ(app::DialogText("Found !\r\rOverwrite ?", "\r\n"), "Found !\r\n\r\nOverwrite ?");
  EXPECT_EQ(app::DialogText("a\r\nb\nc\r", "\n"), "a\nb\nc\n");
  EXPECT_EQ(app::DialogText("", "\n"), "");
  EXPECT_EQ(app::ScreenLineText(" a\r\nb\rc\n"), " a  b c ");
}

}  // namespace
