// Quitting: the question while ports log, every port's settings saved, every task stopped and
// gone before the window ends, and the next start resuming what logged.
#include <gtest/gtest.h>

#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <functional>
#include <string>

#include "tests/support/pty_pair.h"
#include "tests/ui/gated_opener.h"
#include "tests/ui/redirect_dlg_fixture.h"

namespace ui_testing {
namespace {

using namespace ui;

class QuitTest : public RedirectDlgFixture {
 protected:
  // Both pseudo-terminals as ports, idle; the first becomes current.
  void OpenOnPtys() {
    for (int i : {0, 1}) {
      const std::string port = "ttyPTY" + std::to_string(i);
      LinkPort(port, ptys[i].devicePath());
      Store({.port = port, .file = (dir / (port + ".txt")).string()});
    }
    OpenWindow();
  }
  void StartCurrent() const {
    QTest::mouseClick(Item<QPushButton>(IDC_STARTSTOP), Qt::LeftButton);
    ASSERT_TRUE(dlg->m_tasks.At(dlg->m_nCurrent)->m_bLogging);
  }
  void PressEscape() const { QTest::keyClick(dlg->m_lstPorts, Qt::Key_Escape); }
  // True when every one of the eight values was saved and "logging" is `logging`.
  bool SavedAs(const std::string& port, uint32_t logging) const {
    const auto saved = store.Load(port);
    return saved && saved->size() == 12 && saved->at("logging") == StoredValue(logging);
  }
  QString Row(int row) const { return dlg->m_lstPorts->GetItemText(row, 1); }

  testing_support::PtyPair ptys[2];
};

enum class Way { EscapeKey, CloseBox };

class QuitWithoutLoggingTest : public QuitTest, public testing::WithParamInterface<Way> {};

TEST_P(QuitWithoutLoggingTest, AsksNothingAndSavesEveryPortAsIdle) {
  GiveTasks({{.port = "fake0", .file = (dir / "zero.txt").string()},
             {.port = "fake1", .file = (dir / "one.txt").string(), .parity = 2}});
  Task(1).m_nBaudRate = 57600;  // what the task holds at the quit is what is saved
  if (GetParam() == Way::EscapeKey)
    PressEscape();
  else
    dlg->close();
  EXPECT_EQ(questions, 0);
  EXPECT_FALSE(dlg->isVisible());
  EXPECT_EQ(dlg->result(), QDialog::Rejected);
  EXPECT_TRUE(dlg->m_tasks.empty());
  EXPECT_TRUE(SavedAs("fake0", 0));
  EXPECT_TRUE(SavedAs("fake1", 0));
  EXPECT_EQ(store.Load("fake1")->at("baudrate"), StoredValue(uint32_t{57600}));
  EXPECT_EQ(store.Load("fake1")->at("parity"), StoredValue(uint32_t{2}));
}

INSTANTIATE_TEST_SUITE_P(Ways, QuitWithoutLoggingTest,
                         testing::Values(Way::EscapeKey, Way::CloseBox),
                         [](const testing::TestParamInfo<Way>& way) {
                           return way.param == Way::EscapeKey ? "EscapeKey" : "CloseBox";
                         });

TEST_F(QuitTest, WithoutPortsItEndsAtOnce) {
  OpenWindow();
  PressEscape();
  EXPECT_EQ(questions, 0);
  EXPECT_FALSE(dlg->isVisible());
}

TEST_F(QuitTest, AnsweredNoChangesNothingAndLoggingGoesOn) {
  OpenOnPtys();
  StartCurrent();
  const auto settingsBefore = FileContents(store.file());
  answerYes = false;
  PressEscape();
  EXPECT_EQ(questions, 1);
  EXPECT_TRUE(dlg->isVisible());
  EXPECT_EQ(FileContents(store.file()), settingsBefore);
  ASSERT_EQ(dlg->m_tasks.size(), 2u);
  EXPECT_TRUE(Task(0).m_bLogging);
  EXPECT_TRUE(Task(0).IsOpen());
  ptys[0].Send("still logging");
  EXPECT_TRUE(WaitUntil([&] { return FileContents(dir / "ttyPTY0.txt") == "still logging"; }));
}

TEST_F(QuitTest, AnsweredYesSavesAndStopsEveryPortAndTheNextStartResumes) {
  OpenOnPtys();
  StartCurrent();
  answerYes = true;
  PressEscape();
  EXPECT_EQ(questions, 1);
  EXPECT_FALSE(dlg->isVisible());
  EXPECT_TRUE(SavedAs("ttyPTY0", 1));
  EXPECT_TRUE(SavedAs("ttyPTY1", 0));
  for (const auto& pty : ptys) EXPECT_TRUE(HeldDevice(pty.devicePath()).held());

  OpenWindow();
  EXPECT_EQ(Row(0), "[Started]");
  EXPECT_EQ(Row(1), "[Stopped]");
  ptys[0].Send("after the restart");
  EXPECT_TRUE(WaitUntil([&] { return FileContents(dir / "ttyPTY0.txt") == "after the restart"; }));
}

// A signal or the end of the desktop session: nobody is asked, and it ends as a Yes would.
TEST_F(QuitTest, AQuitWithoutQuestionSavesAndStopsAsAYesWould) {
  OpenOnPtys();
  StartCurrent();
  dlg->QuitWithoutQuestion();
  EXPECT_EQ(questions, 0);
  EXPECT_FALSE(dlg->isVisible());
  EXPECT_TRUE(dlg->m_tasks.empty());
  EXPECT_TRUE(SavedAs("ttyPTY0", 1));
  EXPECT_TRUE(SavedAs("ttyPTY1", 0));
  for (const auto& pty : ptys) EXPECT_TRUE(HeldDevice(pty.devicePath()).held());
}

TEST_F(QuitTest, AQuitWithoutQuestionWhileTheQuestionIsOpenQuitsWhateverTheAnswer) {
  OpenOnPtys();
  StartCurrent();
  dlg->SetQuitQuestionForTesting([this] {
    ++questions;
    dlg->QuitWithoutQuestion();
    return false;
  });
  PressEscape();
  EXPECT_EQ(questions, 1);
  EXPECT_FALSE(dlg->isVisible());
  EXPECT_TRUE(SavedAs("ttyPTY0", 1));
}

class QuitUnderWayTest : public QuitTest {
 protected:
  ~QuitUnderWayTest() override {
    gate.Open();
    dlg.reset();  // its tasks' devices refer to the gate
  }
  Gate gate;
  GatedOpener gated{opener, "fake1", gate};
};

// Task 1 waits for its reader while it closes, after task 0 is gone: the messages, clicks and
// keys handled meanwhile must reach neither task nor start anything.
TEST_F(QuitUnderWayTest, EventsHandledWhileATaskClosesNeverReachATaskThatIsGone) {
  for (const char* port : {"fake0", "fake1"}) {
    ListPort(port);
    Store({.port = port, .file = (dir / port).string(), .logging = true});
  }
  devices = &gated;
  answerYes = true;
  OpenWindow();
  opener.Device("fake1").Feed({'x'});
  ASSERT_TRUE(WaitUntil([&] { return gate.Waiting() == 1; }));

  bool reentered = false;
  std::function<void()> meanwhile = [&] {
    if (opener.Device("fake0").Held()) {  // task 0 is not gone yet: later
      QTimer::singleShot(0, dlg.get(), meanwhile);
      return;
    }
    dlg->PostPortMessage(WM_PORT_STATUS, 0, PORT_STATUS_FILE_ERROR);
    dlg->PostPortMessage(WM_PORT_STATISTICS, 0, 0);
    QApplication::processEvents();
    ClickRow(1);
    QTest::keyClick(dlg->m_lstPorts, Qt::Key_Return);
    QTest::keyClick(dlg->m_lstPorts, Qt::Key_Escape);
    reentered = true;
    gate.Open();
  };
  QTimer::singleShot(0, dlg.get(), meanwhile);
  PressEscape();
  EXPECT_TRUE(reentered);
  EXPECT_EQ(questions, 1);
  EXPECT_FALSE(dlg->isVisible());
  EXPECT_TRUE(dlg->m_tasks.empty());
  EXPECT_TRUE(SavedAs("fake0", 1));
  EXPECT_TRUE(SavedAs("fake1", 1));
  EXPECT_EQ(opener.Opens(), 2);
}

}  // namespace
}  // namespace ui_testing
