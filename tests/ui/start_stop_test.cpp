// Starting and stopping the current task with the button or the Enter key, and what the
// window shows of the tasks' messages.
#include <asm/termbits.h>  // termios2: the rate as a number
#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <string>

#include "tests/support/pty_pair.h"
#include "tests/ui/gated_opener.h"
#include "tests/ui/redirect_dlg_fixture.h"

namespace ui_testing {
namespace {

using namespace ui;

class StartStopTest : public RedirectDlgFixture {
 protected:
  // One pseudo-terminal port, current and idle, that logs into `log`.
  void OpenOnPty() {
    LinkPort("ttyPTY0", pty.devicePath());
    Store({.port = "ttyPTY0", .file = log.string()});
    OpenWindow();
  }
  QString Row(int row) const { return dlg->m_lstPorts->GetItemText(row, 1); }
  QString Status() const { return Item<QLabel>(IDC_STATUS)->text(); }
  QString ListText(int id) const { return Item<QComboBox>(id)->currentText(); }
  QPushButton* StartStop() const { return Item<QPushButton>(IDC_STARTSTOP); }
  bool FileControlsEnabled() const {
    return Item<QWidget>(IDC_LOGFILE)->isEnabled() && Item<QWidget>(IDC_BROWSE)->isEnabled() &&
           Item<QWidget>(IDC_APPEND)->isEnabled();
  }
  void TypeBaudRate(const QString& text) const {
    QLineEdit* field = Item<QComboBox>(IDC_BAUDRATE)->lineEdit();
    field->selectAll();
    QTest::keyClick(field, Qt::Key_Backspace);
    QTest::keyClicks(field, text);
  }

  testing_support::PtyPair pty;
  const std::filesystem::path log = dir / "pty.txt";
};

enum class Trigger { Button, EnterKey };

class StartStopTriggerTest : public StartStopTest, public testing::WithParamInterface<Trigger> {
 protected:
  void Press() const {
    if (GetParam() == Trigger::Button)
      QTest::mouseClick(StartStop(), Qt::LeftButton);
    else
      QTest::keyClick(dlg->m_lstPorts, Qt::Key_Return);
  }
};

TEST_P(StartStopTriggerTest, StartLogsIntoTheFileAndStopReleasesThePort) {
  OpenOnPty();
  Press();
  EXPECT_TRUE(Task(0).m_bLogging);
  EXPECT_EQ(Row(0), "[Started]");
  EXPECT_EQ(dlg->m_lstPorts->TextColourOf(0), std::nullopt);
  EXPECT_EQ(StartStop()->text(), "Stop logging");
  EXPECT_FALSE(FileControlsEnabled());
  EXPECT_TRUE(WaitUntil([&] { return Status() == "Logging started"; }));
  pty.Send("line one\r\n");
  EXPECT_TRUE(WaitUntil([&] { return FileContents(log) == "line one\r\n"; }));
  EXPECT_TRUE(WaitUntil([&] { return Item<QLabel>(IDC_RECEIVED)->text() == "10 bytes"; }));

  Press();
  EXPECT_FALSE(Task(0).m_bLogging);
  EXPECT_EQ(Row(0), "[Stopped]");
  EXPECT_EQ(dlg->m_lstPorts->TextColourOf(0), kIdleGrey);
  EXPECT_EQ(StartStop()->text(), "Start logging");
  EXPECT_TRUE(FileControlsEnabled());
  EXPECT_EQ(Status(), "Logging stopped");
  EXPECT_TRUE(HeldDevice(pty.devicePath()).held());
}

INSTANTIATE_TEST_SUITE_P(Triggers, StartStopTriggerTest,
                         testing::Values(Trigger::Button, Trigger::EnterKey),
                         [](const testing::TestParamInfo<Trigger>& trigger) {
                           return trigger.param == Trigger::Button ? "Button" : "EnterKey";
                         });

TEST_F(StartStopTest, StartOnAPortThatIsGoneShowsTheErrorAndStaysIdle) {
  LinkPort("ttyGONE0", (dir / "no-such-device").string());
  Store({.port = "ttyGONE0", .file = log.string()});
  OpenWindow();
  QTest::mouseClick(StartStop(), Qt::LeftButton);
  EXPECT_EQ(Row(0), "[Error]");
  EXPECT_EQ(dlg->m_lstPorts->TextColourOf(0), kIdleGrey);
  EXPECT_TRUE(WaitUntil([&] { return Status() == "Unable open port: no such device"; }));
  EXPECT_FALSE(Task(0).m_bLogging);
  EXPECT_EQ(StartStop()->text(), "Start logging");
  EXPECT_TRUE(FileControlsEnabled());
}

TEST_F(StartStopTest, EnterWithAnEmptyPathTriesAStartThoughTheButtonIsDisabled) {
  OpenOnPty();
  auto* field = Item<QLineEdit>(IDC_LOGFILE);
  field->setFocus();
  field->selectAll();
  QTest::keyClick(field, Qt::Key_Backspace);
  ASSERT_FALSE(StartStop()->isEnabled());
  QTest::keyClick(field, Qt::Key_Return);
  EXPECT_EQ(Row(0), "[Error]");
  EXPECT_TRUE(WaitUntil([&] { return Status() == "Unable open file"; }));
  EXPECT_FALSE(Task(0).m_bLogging);
  EXPECT_TRUE(HeldDevice(pty.devicePath()).held());
}

TEST_F(StartStopTest, ATypedRateStartsTheLineAndIsKeptForTheNextStart) {
  OpenOnPty();
  TypeBaudRate("250000");
  QTest::mouseClick(StartStop(), Qt::LeftButton);
  ASSERT_EQ(Row(0), "[Started]");
  termios2 line{};
  ASSERT_EQ(ioctl(pty.masterFd(), TCGETS2, &line), 0);
  EXPECT_EQ(line.c_ospeed, 250000u);
  EXPECT_EQ(Task(0).m_nBaudRate, 250000);

  answerYes = true;
  dlg->close();
  const auto saved = store.Load("ttyPTY0");
  ASSERT_TRUE(saved);
  EXPECT_EQ(saved->at("baudrate"), StoredValue(uint32_t{250000}));
}

// Right after start-up a start logs with the stored choices the lists show, and the quit
// keeps them for the next resume.
TEST_F(StartStopTest, AStartRightAfterStartUpLogsWithTheStoredChoices) {
  LinkPort("ttyPTY0", pty.devicePath());
  Store({.port = "ttyPTY0", .file = log.string(), .baudRate = 115200, .dataBits = 2,
         .parity = 2, .stopBits = 2, .flowCtrl = 1});
  OpenWindow();
  QTest::mouseClick(StartStop(), Qt::LeftButton);
  ASSERT_EQ(Row(0), "[Started]");
  termios2 line{};
  ASSERT_EQ(ioctl(pty.masterFd(), TCGETS2, &line), 0);
  EXPECT_EQ(line.c_ospeed, 115200u);
  EXPECT_TRUE(line.c_iflag & IXON) << "Xon\\Xoff";

  answerYes = true;
  dlg->close();
  const auto saved = store.Load("ttyPTY0");
  ASSERT_TRUE(saved);
  const std::pair<const char*, uint32_t> stored[] = {
      {"baudrate", 115200}, {"databits", 2}, {"parity", 2}, {"stopbits", 2}, {"flowctrl", 1}};
  for (const auto& [name, value] : stored) EXPECT_EQ(saved->at(name), StoredValue(value)) << name;
}

constexpr const char* kBaudRule = "Baud rate must be a whole number from 1 to 2147483647";

struct RefusedCase {
  const char* name;
  const char* baudText;
  int32_t parity;      // 7: no entry of the parity list
  const char* status;  // why nothing started
};

class RefusedStartTest : public StartStopTest, public testing::WithParamInterface<RefusedCase> {};

TEST_P(RefusedStartTest, MarksTheRowAndStartsNothing) {
  GiveTasks({{.port = "fake0", .file = log.string(), .parity = GetParam().parity}});
  TypeBaudRate(QString::fromUtf8(GetParam().baudText));
  QTest::mouseClick(StartStop(), Qt::LeftButton);
  QApplication::processEvents();
  EXPECT_EQ(Row(0), "[Error]");
  EXPECT_EQ(dlg->m_lstPorts->TextColourOf(0), kIdleGrey);
  EXPECT_EQ(Status(), GetParam().status);
  EXPECT_EQ(ListText(IDC_BAUDRATE), "9600") << "the field shows the task's rate again";
  EXPECT_EQ(StartStop()->text(), "Start logging");
  EXPECT_FALSE(Task(0).m_bLogging);
  EXPECT_EQ(Task(0).m_nBaudRate, 9600);
  EXPECT_EQ(opener.Opens(), 0);
  EXPECT_FALSE(std::filesystem::exists(log));
  for (QWidget* window : QApplication::topLevelWidgets())
    EXPECT_FALSE(qobject_cast<QMessageBox*>(window) && window->isVisible());
}

INSTANTIATE_TEST_SUITE_P(
    Starts, RefusedStartTest,
    testing::Values(RefusedCase{"Letters", "abc", 0, kBaudRule},
                    RefusedCase{"Zero", "0", 0, kBaudRule},
                    RefusedCase{"Negative", "-5", 0, kBaudRule},
                    RefusedCase{"WithUnit", "9600 baud", 0, kBaudRule},
                    RefusedCase{"Empty", "", 0, kBaudRule},
                    RefusedCase{"Beyond32Bits", "4294967296", 0, kBaudRule},
                    RefusedCase{"NoParityEntry", "9600", 7, "Pick a parity from the list"}),
    [](const testing::TestParamInfo<RefusedCase>& c) { return std::string(c.param.name); });

TEST_F(StartStopTest, StoppingATaskWhoseResumeFailedIsHarmless) {
  LinkPort("ttyGONE0", (dir / "no-such-device").string());
  Store({.port = "ttyGONE0", .file = log.string(), .logging = true});
  OpenWindow();
  ASSERT_TRUE(WaitUntil([&] { return Row(0) == "[Error]"; }));
  QTest::mouseClick(StartStop(), Qt::LeftButton);
  EXPECT_EQ(Row(0), "[Stopped]");
  EXPECT_EQ(dlg->m_lstPorts->TextColourOf(0), kIdleGrey);
  EXPECT_EQ(StartStop()->text(), "Start logging");
  EXPECT_EQ(Status(), "Logging stopped");
}

struct StatusCase {
  int code;
  const char* row;
};

class StatusOfAnotherTaskTest : public StartStopTest,
                                public testing::WithParamInterface<StatusCase> {};

TEST_P(StatusOfAnotherTaskTest, MarksItsRowButKeepsTheStatusLine) {
  GiveTasks({{.port = "fake0", .file = log.string()}, {.port = "fake1", .file = log.string()}});
  dlg->PostPortMessage(WM_PORT_STATUS, 1, GetParam().code);
  QApplication::processEvents();
  EXPECT_EQ(Row(1), GetParam().row);
  EXPECT_EQ(Row(0), "[Stopped]");
  EXPECT_EQ(Status(), "Ready to start");
}

INSTANTIATE_TEST_SUITE_P(Codes, StatusOfAnotherTaskTest,
                         testing::Values(StatusCase{PORT_STATUS_STARTED, "[Stopped]"},
                                         StatusCase{PORT_STATUS_FILE_OPEN_FAILED, "[Error]"},
                                         StatusCase{PORT_STATUS_PORT_OPEN_FAILED, "[Error]"},
                                         StatusCase{PORT_STATUS_FILE_ERROR, "[Error]"},
                                         StatusCase{PORT_STATUS_PORT_ERROR, "[Error]"},
                                         StatusCase{PORT_STATUS_PORT_LOST, "[Error]"}));

TEST_F(StartStopTest, AStatusNamingNoTaskChangesNothing) {
  GiveTasks({{.port = "fake0", .file = log.string()}});
  for (int index : {-1, 1, 5}) dlg->PostPortMessage(WM_PORT_STATUS, index, PORT_STATUS_FILE_ERROR);
  QApplication::processEvents();
  EXPECT_EQ(dlg->m_lstPorts->GetItemCount(), 1);
  EXPECT_EQ(Row(0), "[Stopped]");
  EXPECT_EQ(Status(), "Ready to start");
}

class StopUnderWayTest : public StartStopTest {
 protected:
  ~StopUnderWayTest() override {
    gate.Open();
    dlg.reset();  // its tasks' devices refer to the gate
  }
  Gate gate;
  GatedOpener gated{opener, "fake0", gate};
};

TEST_F(StopUnderWayTest, ASecondStartStopOrAQuitMeanwhileIsIgnored) {
  ListPort("fake0");
  Store({.port = "fake0", .file = log.string()});
  devices = &gated;
  answerYes = true;
  OpenWindow();
  QTest::mouseClick(StartStop(), Qt::LeftButton);
  ASSERT_TRUE(Task(0).m_bLogging);
  opener.Device("fake0").Feed({'x'});
  ASSERT_TRUE(WaitUntil([&] { return gate.Waiting() == 1; }));

  bool reentered = false;
  QTimer::singleShot(0, dlg.get(), [&] {
    QTest::mouseClick(StartStop(), Qt::LeftButton);
    QTest::keyClick(dlg->m_lstPorts, Qt::Key_Return);
    QTest::keyClick(dlg.get(), Qt::Key_Escape);
    reentered = true;
    gate.Open();
  });
  QTest::mouseClick(StartStop(), Qt::LeftButton);  // the stop, which waits for the reader
  EXPECT_TRUE(reentered);
  EXPECT_EQ(questions, 0);
  EXPECT_TRUE(dlg->isVisible());
  EXPECT_FALSE(Task(0).IsOpen());
  EXPECT_FALSE(Task(0).m_bLogging);
  EXPECT_EQ(Row(0), "[Stopped]");
  EXPECT_EQ(StartStop()->text(), "Start logging");
  EXPECT_EQ(opener.Opens(), 1);
}

}  // namespace
}  // namespace ui_testing
