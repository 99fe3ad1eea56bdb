// The main window's start: the machine's ports become tasks and rows, with their stored or
// default settings, and those that were logging resume by themselves.
#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <filesystem>
#include <optional>
#include <string>

#include "tests/support/pty_pair.h"
#include "tests/ui/redirect_dlg_fixture.h"
#include "ui/redirect_dlg_rules.h"

namespace ui_testing {
namespace {

using namespace ui;

class StartUpTest : public RedirectDlgFixture {
 protected:
  QString Row(int row, int column) const { return dlg->m_lstPorts->GetItemText(row, column); }
  QString ListText(int id) const { return Item<QComboBox>(id)->currentText(); }
  QString LabelText(int id) const { return Item<QLabel>(id)->text(); }
  QString FieldText() const { return Item<QLineEdit>(IDC_LOGFILE)->text(); }
  std::string DefaultFile(const std::string& port) const {
    return (dir / "Documents/Corvessa" / (port + "port.txt")).string();
  }
};

TEST_F(StartUpTest, FirstStartWithTwoPortsShowsThemIdleWithTheirDefaults) {
  ListPort("ttyFAKE0");
  ListPort("ttyFAKE1");
  OpenWindow();
  ASSERT_EQ(dlg->m_lstPorts->GetItemCount(), 2);
  for (int row : {0, 1}) {
    EXPECT_EQ(Row(row, 0), QString("ttyFAKE%1").arg(row));
    EXPECT_EQ(Row(row, 1), "[Stopped]");
    EXPECT_EQ(dlg->m_lstPorts->TextColourOf(row), kIdleGrey);
    EXPECT_EQ(Task(row).m_nIndex, row);
    EXPECT_EQ(Task(row).m_bCurrent, row == 0);
  }
  EXPECT_EQ(Task(1).m_strFile, DefaultFile("ttyFAKE1"));
  EXPECT_TRUE(std::filesystem::is_directory(dir / "Documents/Corvessa"));
  // Task 0 is current, yet no row is selected; the list has the focus.
  EXPECT_EQ(dlg->m_nCurrent, 0);
  EXPECT_TRUE(dlg->m_lstPorts->selectedItems().isEmpty());
  EXPECT_TRUE(dlg->m_lstPorts->hasFocus());

  EXPECT_EQ(FieldText().toStdString(), DefaultFile("ttyFAKE0"));
  EXPECT_EQ(LabelText(IDC_STATUS), "Ready to start");
  EXPECT_EQ(LabelText(IDC_RECEIVED), "0 bytes");
  EXPECT_EQ(LabelText(IDC_FILEBYTES), "0 bytes");
  EXPECT_EQ(Item<QPushButton>(IDC_STARTSTOP)->text(), "Start logging");
  EXPECT_TRUE(Item<QPushButton>(IDC_STARTSTOP)->isEnabled());
  EXPECT_EQ(ListText(IDC_BAUDRATE), "9600");
  EXPECT_EQ(ListText(IDC_DATABITS), "8");
  EXPECT_EQ(ListText(IDC_PARITY), "None");
  EXPECT_EQ(ListText(IDC_STOPBITS), "1");
  EXPECT_EQ(ListText(IDC_FLOWCTRL), "Hardware");
  EXPECT_EQ(opener.Opens(), 0);
}

TEST_F(StartUpTest, WithoutPortsTheWindowIsEmptyButTheListsStartAtTheirDefaults) {
  OpenWindow();
  EXPECT_EQ(dlg->m_lstPorts->GetItemCount(), 0);
  EXPECT_TRUE(dlg->m_tasks.empty());
  EXPECT_EQ(FieldText(), "");
  EXPECT_EQ(LabelText(IDC_STATUS), "");
  EXPECT_FALSE(Item<QPushButton>(IDC_STARTSTOP)->isEnabled());
  EXPECT_EQ(Item<QComboBox>(IDC_BAUDRATE)->count(), 15);
  EXPECT_EQ(ListText(IDC_BAUDRATE), "9600");
  EXPECT_EQ(ListText(IDC_FLOWCTRL), "Hardware");
  EXPECT_FALSE(std::filesystem::exists(dir / "Documents/Corvessa"));
}

TEST_F(StartUpTest, WithoutADocumentsFolderTheLogFilesGoToTheHomeFolder) {
  ListPort("ttyFAKE0");
  documents.reset();
  OpenWindow();
  EXPECT_EQ(QString::fromStdString(Task(0).m_strFile), QDir::homePath() + "/ttyFAKE0port.txt");
  EXPECT_FALSE(std::filesystem::exists(dir / "Documents/Corvessa"));
}

struct StoredFileCase {
  const char* name;
  bool stored;
  std::string file;  // empty with `stored`: an empty path was stored
  bool isDefault;
};

class StoredFileTest : public StartUpTest, public testing::WithParamInterface<StoredFileCase> {};

TEST_P(StoredFileTest, AStoredPathWinsAndAnEmptyOneGivesTheDefault) {
  ListPort("ttyFAKE0");
  if (GetParam().stored) Store({.port = "ttyFAKE0", .file = GetParam().file});
  OpenWindow();
  const std::string expected = GetParam().isDefault ? DefaultFile("ttyFAKE0") : GetParam().file;
  EXPECT_EQ(Task(0).m_strFile, expected);
  EXPECT_EQ(FieldText().toStdString(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Files, StoredFileTest,
    testing::Values(StoredFileCase{"NothingStored", false, "", true},
                    StoredFileCase{"EmptyPathStored", true, "", true},
                    StoredFileCase{"PathStored", true, "/var/log/serial/modem.txt", false}),
    [](const testing::TestParamInfo<StoredFileCase>& c) { return std::string(c.param.name); });

// From the start the lists show task 0's own choices, never settings its port does not use.
TEST_F(StartUpTest, TheListsShowTaskZerosOwnChoicesFromTheStart) {
  ListPort("ttyFAKE0");
  ListPort("ttyFAKE1");
  Store({.port = "ttyFAKE0", .baudRate = 115200, .dataBits = 2, .parity = 2, .stopBits = 2,
         .flowCtrl = 1, .logging = true});
  OpenWindow();
  ASSERT_TRUE(Task(0).IsOpen());
  EXPECT_EQ(ListText(IDC_BAUDRATE), "115200");
  EXPECT_EQ(ListText(IDC_DATABITS), "7");
  EXPECT_EQ(ListText(IDC_PARITY), "Even");
  EXPECT_EQ(ListText(IDC_STOPBITS), "2");
  EXPECT_EQ(ListText(IDC_FLOWCTRL), "Xon\\Xoff");
  EXPECT_EQ(Item<QComboBox>(IDC_BAUDRATE)->count(), 15);
}

// An adapter plugged in after the start gets a row at the end, with a task as at the start;
// a row whose device went away stays.
TEST_F(StartUpTest, APortThatAppearsLaterIsAddedAtTheEndAndResumes) {
  testing_support::PtyPair first, later;
  LinkPort("ttyPTY1", first.devicePath());
  OpenWindow();
  ASSERT_EQ(dlg->m_lstPorts->GetItemCount(), 1);
  Store({.port = "ttyPTY0", .file = (dir / "later.txt").string(), .logging = true});
  LinkPort("ttyPTY0", later.devicePath());  // sorts first, yet comes last
  ASSERT_TRUE(WaitUntil([&] { return dlg->m_lstPorts->GetItemCount() == 2; }));
  EXPECT_EQ(Row(0, 0), "ttyPTY1");
  EXPECT_EQ(Row(1, 0), "ttyPTY0");
  EXPECT_EQ(Row(1, 1), "[Started]");
  EXPECT_EQ(Task(1).m_nIndex, 1);
  EXPECT_FALSE(Task(1).m_bCurrent);
  later.Send("plugged in later");
  EXPECT_TRUE(WaitUntil([&] { return FileContents(dir / "later.txt") == "plugged in later"; }));

  std::filesystem::remove(dir / "dev/ttyPTY1");
  std::filesystem::remove_all(dir / "sys/class/tty/ttyPTY1");
  testing_support::PtyPair third;
  LinkPort("ttyPTY2", third.devicePath());
  ASSERT_TRUE(WaitUntil([&] { return dlg->m_lstPorts->GetItemCount() == 3; }));
  EXPECT_EQ(Row(0, 0), "ttyPTY1");
  EXPECT_EQ(Row(2, 0), "ttyPTY2");
}

// udev makes a node before it gives it its group: a resume refused at first is tried again
// when the node changes.
TEST_F(StartUpTest, AResumeThatFailedIsTriedAgainWhenItsNodeChanges) {
  testing_support::PtyPair pty;
  std::ofstream(dir / "not-yet") << "";
  LinkPort("ttyPTY0", (dir / "not-yet").string());
  Store({.port = "ttyPTY0", .file = (dir / "log.txt").string(), .logging = true});
  OpenWindow();
  ASSERT_TRUE(WaitUntil([&] { return Row(0, 1) == "[Error]"; }));
  std::filesystem::remove(dir / "dev/ttyPTY0");
  std::filesystem::create_symlink(pty.devicePath(), dir / "dev/ttyPTY0");
  ASSERT_TRUE(WaitUntil([&] { return Row(0, 1) == "[Started]"; }));
  pty.Send("at last");
  EXPECT_TRUE(WaitUntil([&] { return FileContents(dir / "log.txt") == "at last"; }));
}

TEST_F(StartUpTest, APortThatWasLoggingResumesAndLogsWithoutAnyAction) {
  testing_support::PtyPair pty;
  LinkPort("ttyPTY0", pty.devicePath());
  LinkPort("ttyPTY1", (dir / "no-such-device").string());
  const std::filesystem::path log = dir / "resumed.txt";
  Store({.port = "ttyPTY0", .file = log.string(), .logging = true});
  OpenWindow();
  EXPECT_EQ(Row(0, 1), "[Started]");
  EXPECT_EQ(Row(1, 1), "[Stopped]");
  EXPECT_EQ(dlg->m_lstPorts->TextColourOf(0), std::nullopt);
  EXPECT_EQ(Item<QPushButton>(IDC_STARTSTOP)->text(), "Stop logging");
  EXPECT_FALSE(Item<QLineEdit>(IDC_LOGFILE)->isEnabled());
  pty.Send("resumed \x01\xff\r\n");
  EXPECT_TRUE(WaitUntil([&] { return FileContents(log) == "resumed \x01\xff\r\n"; }));
  EXPECT_TRUE(WaitUntil([&] { return LabelText(IDC_RECEIVED) == "12 bytes"; }));
  EXPECT_EQ(LabelText(IDC_STATUS), "Logging started");
}

enum class Unavailable { NoDevice, HeldByAnotherProgram };

class FailedResumeTest : public StartUpTest, public testing::WithParamInterface<Unavailable> {};

TEST_P(FailedResumeTest, ShowsStoppedThenErrorAndStillCountsAsLogging) {
  testing_support::PtyPair pty;
  const bool held = GetParam() == Unavailable::HeldByAnotherProgram;
  LinkPort("ttyPTY0", held ? pty.devicePath() : (dir / "no-such-device").string());
  std::optional<HeldDevice> other;
  if (held) {
    other.emplace(pty.devicePath());
    ASSERT_TRUE(other->held());
  }
  Store(
      {.port = "ttyPTY0", .file = (dir / "log.txt").string(), .baudRate = 19200, .logging = true});
  MakeWindow();
  EXPECT_EQ(Row(0, 1), "[Stopped]");
  ShowWindow();
  EXPECT_TRUE(WaitUntil([&] { return Row(0, 1) == "[Error]"; }));
  // Held by this very process, so no other program can be named.
  EXPECT_EQ(LabelText(IDC_STATUS), held ? "Unable open port: Device or resource busy"
                                        : "Unable open port: no such device");
  EXPECT_TRUE(Task(0).m_bLogging);
  EXPECT_EQ(dlg->m_lstPorts->TextColourOf(0), std::nullopt);
  EXPECT_EQ(Item<QPushButton>(IDC_STARTSTOP)->text(), "Stop logging");

  answerYes = true;
  dlg->close();
  EXPECT_EQ(questions, 1);
  const auto saved = store.Load("ttyPTY0");
  ASSERT_TRUE(saved);
  EXPECT_EQ(saved->at("logging"), StoredValue(uint32_t{1}));
  EXPECT_EQ(saved->at("baudrate"), StoredValue(uint32_t{19200}));
}

INSTANTIATE_TEST_SUITE_P(Ports, FailedResumeTest,
                         testing::Values(Unavailable::NoDevice, Unavailable::HeldByAnotherProgram),
                         [](const testing::TestParamInfo<Unavailable>& c) {
                           return c.param == Unavailable::NoDevice ? "NoDevice"
                                                                   : "HeldByAnotherProgram";
                         });

TEST_F(StartUpTest, BothColumnsTakeTheirShareOfTheListsClientWidth) {
  ListPort("ttyFAKE0");
  OpenWindow();
  const int clientWidth = dlg->m_lstPorts->contentsRect().width();
  ASSERT_GT(clientWidth, 100);
  EXPECT_EQ(dlg->m_lstPorts->columnWidth(0), PortColumnWidth(clientWidth));
  EXPECT_EQ(dlg->m_lstPorts->columnWidth(1), PortColumnWidth(clientWidth));
  EXPECT_TRUE(dlg->m_lstPorts->header()->isHidden());
}

}  // namespace
}  // namespace ui_testing
