// The main window's settings panel: choosing the current task, showing it, and handing the
// user's changes to it.
#include "ui/redirect_dlg.h"

#include <asm/termbits.h>  // termios2: the rate as a number
#include <gtest/gtest.h>
#include <sys/ioctl.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QToolTip>
#include <QWheelEvent>
#include <functional>
#include <optional>
#include <thread>

#include "tests/support/pty_pair.h"
#include "tests/ui/redirect_dlg_fixture.h"
#include "ui/status_line.h"

namespace ui_testing {
namespace {

using namespace ui;

// Three tasks that differ in everything the panel shows.
const std::vector<TaskValues> kThreeTasks = {
    {.port = "fake0", .file = "/tmp/zero.txt"},
    {.port = "fake1", .file = "", .append = true, .baudRate = 19200, .dataBits = 0,
     .parity = 1, .stopBits = 2, .flowCtrl = 0, .received = 17},
    {.port = "fake2", .file = "/srv/logs/two.txt", .append = true, .baudRate = 115200,
     .dataBits = 2, .parity = 2, .stopBits = 1, .flowCtrl = 1, .received = 0xFFFFFFFF,
     .fileBytes = 5000},
};

class RedirectDlgTest : public RedirectDlgFixture {
 protected:
  QString LabelText(int id) const { return Item<QLabel>(id)->text(); }
  QString FieldText() const { return Item<QLineEdit>(IDC_LOGFILE)->text(); }
  bool Enabled(int id) const { return dlg->GetDlgItem(id)->isEnabled(); }
  QString ListText(int id) const { return Item<QComboBox>(id)->currentText(); }
  int ListIndex(int id) const { return Item<QComboBox>(id)->currentIndex(); }
};

TEST_F(RedirectDlgTest, ShowsTheConstructionValuesAfterTheFirstExchange) {
  OpenWindow();
  EXPECT_EQ(LabelText(IDC_RECEIVED), "0 bytes");
  EXPECT_EQ(LabelText(IDC_FILEBYTES), "0 bytes");
  EXPECT_EQ(LabelText(IDC_STATUS), "");
  EXPECT_EQ(FieldText(), "");
  EXPECT_FALSE(Item<QCheckBox>(IDC_APPEND)->isChecked());
  EXPECT_FALSE(Enabled(IDC_STARTSTOP));
  EXPECT_EQ(dlg->m_nCurrent, 0);
  EXPECT_TRUE(dlg->m_tasks.empty());
  EXPECT_FALSE(dlg->m_hIcon.isNull());
}

TEST_F(RedirectDlgTest, WithoutTasksTheControlsChangeNothing) {
  OpenWindow();
  int dialogs = 0;
  dlg->SetSaveFileDialogForTesting([&] {
    ++dialogs;
    return std::optional<QString>("/tmp/x.txt");
  });
  QTest::mouseClick(Item<QPushButton>(IDC_BROWSE), Qt::LeftButton);
  QTest::keyClicks(Item<QLineEdit>(IDC_LOGFILE), "abc");
  Pick(IDC_PARITY, "Even");
  QTest::mouseClick(Item<QCheckBox>(IDC_APPEND), Qt::LeftButton);
  EXPECT_EQ(dialogs, 0);
  EXPECT_FALSE(Enabled(IDC_STARTSTOP));
  EXPECT_EQ(dlg->m_strPanelFile, "");
  EXPECT_EQ(dlg->m_bPanelAppend, 0);
}

TEST_F(RedirectDlgTest, ShowsTaskZeroWithItsStateInTheRows) {
  std::vector<TaskValues> tasks = kThreeTasks;
  tasks[1].logging = true;
  tasks[1].file = (dir / "one.txt").string();
  GiveTasks(tasks);
  EXPECT_EQ(FieldText(), "/tmp/zero.txt");
  EXPECT_TRUE(Enabled(IDC_STARTSTOP));
  EXPECT_EQ(LabelText(IDC_STATUS), "Ready to start");
  ASSERT_EQ(dlg->m_lstPorts->GetItemCount(), 3);
  EXPECT_EQ(dlg->m_lstPorts->GetItemText(2, 0), "fake2");
  EXPECT_EQ(dlg->m_lstPorts->GetItemText(0, 1), "[Stopped]");
  EXPECT_EQ(dlg->m_lstPorts->GetItemText(1, 1), "[Started]");
  // Idle rows grey, logging rows in the list's own colour.
  EXPECT_EQ(dlg->m_lstPorts->TextColourOf(0), QColor(0x80, 0x80, 0x80));
  EXPECT_EQ(dlg->m_lstPorts->TextColourOf(1), std::nullopt);
  Task(1).m_bLogging = false;
  EXPECT_EQ(dlg->m_lstPorts->TextColourOf(1), QColor(0x80, 0x80, 0x80));
}

TEST_F(RedirectDlgTest, SelectingARowMakesItsTaskCurrentAndShowsAllOfIt) {
  GiveTasks(kThreeTasks);
  ASSERT_TRUE(Task(2).Open("fake2", 115200, 7, 1, 2, 1));
  const int portChanges = opener.Device("fake2").Calls(testing_support::FakeCall::SetState);
  const int baudEntryBefore = ListIndex(IDC_BAUDRATE);
  ClickRow(2);
  EXPECT_EQ(opener.Device("fake2").Calls(testing_support::FakeCall::SetState), portChanges);
  EXPECT_EQ(dlg->m_nCurrent, 2);
  EXPECT_FALSE(Task(0).m_bCurrent);
  EXPECT_FALSE(Task(1).m_bCurrent);
  EXPECT_TRUE(Task(2).m_bCurrent);
  EXPECT_EQ(FieldText(), "/srv/logs/two.txt");
  // The path's end in view, with nothing selected.
  EXPECT_FALSE(Item<QLineEdit>(IDC_LOGFILE)->hasSelectedText());
  EXPECT_EQ(Item<QLineEdit>(IDC_LOGFILE)->cursorPosition(), FieldText().size());
  EXPECT_TRUE(Item<QCheckBox>(IDC_APPEND)->isChecked());
  EXPECT_EQ(ListText(IDC_BAUDRATE), "115200");
  EXPECT_EQ(ListIndex(IDC_BAUDRATE), baudEntryBefore);  // the field only
  EXPECT_EQ(ListText(IDC_DATABITS), "7");
  EXPECT_EQ(ListText(IDC_PARITY), "Even");
  EXPECT_EQ(ListText(IDC_STOPBITS), "1,5");
  EXPECT_EQ(ListText(IDC_FLOWCTRL), "Xon\\Xoff");
  EXPECT_EQ(LabelText(IDC_STATUS), "Ready to start");
  EXPECT_EQ(LabelText(IDC_RECEIVED), "-1 bytes");  // 32 bits shown signed
  EXPECT_EQ(LabelText(IDC_FILEBYTES), "5000 bytes");
  EXPECT_EQ(Item<QPushButton>(IDC_STARTSTOP)->text(), "Start logging");
  EXPECT_TRUE(Enabled(IDC_STARTSTOP));

  QTest::keyClick(dlg->m_lstPorts, Qt::Key_Up);
  EXPECT_EQ(dlg->m_nCurrent, 1);
  EXPECT_TRUE(Task(1).m_bCurrent);
  EXPECT_FALSE(Task(2).m_bCurrent);
  EXPECT_EQ(FieldText(), "");
  EXPECT_FALSE(Enabled(IDC_STARTSTOP));
  EXPECT_EQ(LabelText(IDC_RECEIVED), "17 bytes");
  EXPECT_EQ(LabelText(IDC_FILEBYTES), "0 bytes");
  EXPECT_EQ(ListText(IDC_PARITY), "Odd");
}

enum class Click { EmptySpace, CurrentRow };

class ClickKeepsThePanelTest : public RedirectDlgTest,
                               public testing::WithParamInterface<Click> {};

TEST_P(ClickKeepsThePanelTest, ChangesNeitherTheCurrentTaskNorThePanel) {
  GiveTasks(kThreeTasks);
  ClickRow(2);
  Task(2).m_strFile = "/changed/behind/the/panel.txt";
  Task(2).m_nParity = 4;
  if (GetParam() == Click::EmptySpace)
    ClickEmptySpaceOfPortList();
  else
    ClickRow(2);
  EXPECT_EQ(dlg->m_nCurrent, 2);
  EXPECT_TRUE(Task(2).m_bCurrent);
  EXPECT_FALSE(Task(0).m_bCurrent);
  EXPECT_EQ(FieldText(), "/srv/logs/two.txt");
  EXPECT_EQ(ListText(IDC_PARITY), "Even");
  EXPECT_EQ(dlg->m_lstPorts->selectedItems().size(), GetParam() == Click::EmptySpace ? 0 : 1);
}

INSTANTIATE_TEST_SUITE_P(Clicks, ClickKeepsThePanelTest,
                         testing::Values(Click::EmptySpace, Click::CurrentRow),
                         [](const testing::TestParamInfo<Click>& click) {
                           return click.param == Click::EmptySpace ? "EmptySpace" : "CurrentRow";
                         });

TEST_F(RedirectDlgTest, ALoggingTaskLocksItsFileControlsButNotItsLineSettings) {
  std::vector<TaskValues> tasks = kThreeTasks;
  tasks[1].logging = true;
  tasks[1].file = (dir / "one.txt").string();
  GiveTasks(tasks);
  ClickRow(1);
  EXPECT_EQ(Item<QPushButton>(IDC_STARTSTOP)->text(), "Stop logging");
  EXPECT_TRUE(Enabled(IDC_STARTSTOP));
  for (int id : {IDC_LOGFILE, IDC_BROWSE, IDC_APPEND}) EXPECT_FALSE(Enabled(id)) << id;
  for (int id : {IDC_BAUDRATE, IDC_DATABITS, IDC_PARITY, IDC_STOPBITS, IDC_FLOWCTRL})
    EXPECT_TRUE(Enabled(id)) << id;

  ClickRow(0);
  EXPECT_EQ(Item<QPushButton>(IDC_STARTSTOP)->text(), "Start logging");
  for (int id : {IDC_LOGFILE, IDC_BROWSE, IDC_APPEND}) EXPECT_TRUE(Enabled(id)) << id;
}

struct OutOfListCase {
  int listId;
  int32_t CRedirectPort::*field;
  int32_t stored;
};

class StoredChoiceOutsideTheListTest : public RedirectDlgTest,
                                       public testing::WithParamInterface<OutOfListCase> {};

TEST_P(StoredChoiceOutsideTheListTest, LeavesThatListWithNoEntry) {
  GiveTasks(kThreeTasks);
  Task(1).*GetParam().field = GetParam().stored;
  ClickRow(1);
  EXPECT_EQ(ListIndex(GetParam().listId), -1);
  EXPECT_EQ(ListText(GetParam().listId), "");
  EXPECT_EQ(ListText(IDC_FLOWCTRL == GetParam().listId ? IDC_PARITY : IDC_FLOWCTRL),
            GetParam().listId == IDC_FLOWCTRL ? "Odd" : "None");
}

INSTANTIATE_TEST_SUITE_P(
    Choices, StoredChoiceOutsideTheListTest,
    testing::Values(OutOfListCase{IDC_PARITY, &CRedirectPort::m_nParity, 7},
                    OutOfListCase{IDC_DATABITS, &CRedirectPort::m_nDataBits, -1},
                    OutOfListCase{IDC_STOPBITS, &CRedirectPort::m_nStopBits, 3},
                    OutOfListCase{IDC_FLOWCTRL, &CRedirectPort::m_nFlowCtrl, 256}));

struct PickCase {
  const char* name;
  int listId;
  const char* entry;
  int32_t CRedirectPort::*field;
  int32_t stored;
  std::function<bool(const serial::ControlBlock&)> applied;
};

class PickTest : public RedirectDlgTest, public testing::WithParamInterface<PickCase> {};

TEST_P(PickTest, StoresTheChoiceAndAppliesItToTheOpenPortAtOnce) {
  GiveTasks(kThreeTasks);
  ClickRow(1);
  // Every setting differs from what will be picked: 5 data bits, odd parity, no flow control.
  ASSERT_TRUE(Task(1).Open("fake1", 9600, 5, 0, 1, 0));
  const int32_t otherTask = Task(0).*GetParam().field;
  Pick(GetParam().listId, GetParam().entry);
  EXPECT_EQ(Task(1).*GetParam().field, GetParam().stored);
  EXPECT_TRUE(GetParam().applied(opener.Device("fake1").State()));
  EXPECT_EQ(Task(0).*GetParam().field, otherTask);
}

TEST_P(PickTest, OnAnIdlePortOnlyStoresTheChoice) {
  GiveTasks(kThreeTasks);
  ClickRow(1);
  Pick(GetParam().listId, GetParam().entry);
  EXPECT_EQ(Task(1).*GetParam().field, GetParam().stored);
  EXPECT_EQ(opener.Opens(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, PickTest,
    testing::Values(
        PickCase{"Baud115200", IDC_BAUDRATE, "115200", &CRedirectPort::m_nBaudRate, 115200,
                 [](const serial::ControlBlock& b) { return b.BaudRate == 115200; }},
        PickCase{"EightDataBits", IDC_DATABITS, "8", &CRedirectPort::m_nDataBits, 3,
                 [](const serial::ControlBlock& b) { return b.ByteSize == 8; }},
        PickCase{"EvenParity", IDC_PARITY, "Even", &CRedirectPort::m_nParity, 2,
                 [](const serial::ControlBlock& b) { return b.Parity == serial::EVENPARITY; }},
        PickCase{"TwoStopBits", IDC_STOPBITS, "2", &CRedirectPort::m_nStopBits, 2,
                 [](const serial::ControlBlock& b) { return b.StopBits == serial::TWOSTOPBITS; }},
        PickCase{"XonXoff", IDC_FLOWCTRL, "Xon\\Xoff", &CRedirectPort::m_nFlowCtrl, 1,
                 [](const serial::ControlBlock& b) {
                   return b.Has(serial::dcb_flag::fOutX) && b.Has(serial::dcb_flag::fInX);
                 }}),
    [](const testing::TestParamInfo<PickCase>& pick) { return std::string(pick.param.name); });

TEST_F(RedirectDlgTest, PickedRateAndStopBitsReachAnOpenPseudoTerminalAtOnce) {
  testing_support::PtyPair pty;
  LinkPort("ttyPTY0", pty.devicePath());
  GiveTasks({{.port = "ttyPTY0", .file = (dir / "pty.txt").string()}});
  ASSERT_TRUE(Task(0).Open("ttyPTY0", 9600, 8, 0, 0, 0));

  Pick(IDC_BAUDRATE, "115200");
  Pick(IDC_STOPBITS, "2");
  termios2 line{};
  ASSERT_EQ(ioctl(pty.masterFd(), TCGETS2, &line), 0);  // the subordinate's settings
  EXPECT_EQ(line.c_ospeed, 115200u);
  EXPECT_TRUE(line.c_cflag & CSTOPB);
  EXPECT_EQ(Task(0).m_nBaudRate, 115200);
  EXPECT_EQ(Task(0).m_nStopBits, 2);
}

// A power cut or a kill must not lose what the user changed: every change is saved at once.
TEST_F(RedirectDlgTest, EveryChangeIsSavedAtOnce) {
  GiveTasks({{.port = "fake0", .file = (dir / "zero.txt").string()}});
  const auto saved = [&](const char* name) { return store.Load("fake0").value().at(name); };
  Pick(IDC_PARITY, "Even");
  EXPECT_EQ(saved("parity"), StoredValue(uint32_t{2}));
  Pick(IDC_FLOWCTRL, "None");
  EXPECT_EQ(saved("flowctrl"), StoredValue(uint32_t{0}));
  QLineEdit* rate = Item<QComboBox>(IDC_BAUDRATE)->lineEdit();
  rate->setFocus();
  rate->selectAll();
  QTest::keyClicks(rate, "31250");
  dlg->m_lstPorts->setFocus();
  EXPECT_EQ(saved("baudrate"), StoredValue(uint32_t{31250}));
  QTest::mouseClick(Item<QCheckBox>(IDC_APPEND), Qt::LeftButton);
  EXPECT_EQ(saved("append"), StoredValue(uint32_t{1}));

  auto* path = Item<QLineEdit>(IDC_LOGFILE);
  path->setFocus();
  QTest::keyClicks(path, ".log");
  dlg->m_lstPorts->setFocus();
  const std::string typed = (dir / "zero.txt.log").string();
  EXPECT_EQ(saved("file"), StoredValue(typed));
  dlg->SetSaveFileDialogForTesting([] { return std::optional<QString>("/tmp/chosen.txt"); });
  QTest::mouseClick(Item<QPushButton>(IDC_BROWSE), Qt::LeftButton);
  EXPECT_EQ(saved("file"), StoredValue(std::string("/tmp/chosen.txt")));

  dlg->SetSaveFileDialogForTesting([&] { return std::optional(QString::fromStdString(typed)); });
  QTest::mouseClick(Item<QPushButton>(IDC_BROWSE), Qt::LeftButton);
  QTest::mouseClick(Item<QPushButton>(IDC_STARTSTOP), Qt::LeftButton);
  EXPECT_EQ(saved("logging"), StoredValue(uint32_t{1}));
  QTest::mouseClick(Item<QPushButton>(IDC_STARTSTOP), Qt::LeftButton);
  EXPECT_EQ(saved("logging"), StoredValue(uint32_t{0}));
}

// A wheel notch over the list, delivered as the desktop delivers it.
void TurnWheel(QWidget* list, int notches) {
  const QPointF inside(list->width() / 2.0, list->height() / 2.0);
  QWheelEvent wheel(inside, list->mapToGlobal(inside), QPoint(), QPoint(0, -120 * notches),
                    Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
  QApplication::sendEvent(list, &wheel);
}

// Moving the pointer across the panel must never reconfigure a live port: only a list that
// has the focus takes the wheel.
TEST_F(RedirectDlgTest, TheWheelChangesALoggingPortsLineOnlyThroughTheFocusedList) {
  GiveTasks({{.port = "fake0", .file = (dir / "zero.txt").string()}});
  QTest::mouseClick(Item<QPushButton>(IDC_STARTSTOP), Qt::LeftButton);
  ASSERT_TRUE(Task(0).IsOpen());
  testing_support::FakePortDevice& device = opener.Device("fake0");
  const int lineChanges = device.Calls(testing_support::FakeCall::SetState);
  dlg->m_lstPorts->setFocus();

  for (int id : {IDC_BAUDRATE, IDC_DATABITS, IDC_PARITY, IDC_STOPBITS, IDC_FLOWCTRL}) {
    const QString before = ListText(id);
    TurnWheel(Item<QComboBox>(id), 1);
    EXPECT_EQ(ListText(id), before) << id;
  }
  EXPECT_EQ(Task(0).m_nParity, 0);
  EXPECT_EQ(Task(0).m_nDataBits, 3);
  EXPECT_EQ(device.Calls(testing_support::FakeCall::SetState), lineChanges);
  EXPECT_TRUE(dlg->m_lstPorts->hasFocus()) << "the wheel took the focus";

  Item<QComboBox>(IDC_PARITY)->setFocus();
  TurnWheel(Item<QComboBox>(IDC_PARITY), 1);
  EXPECT_EQ(ListText(IDC_PARITY), "Odd");
  EXPECT_EQ(Task(0).m_nParity, 1);
  EXPECT_EQ(device.State().Parity, serial::ODDPARITY);
}

struct TypedRateCase {
  const char* name;
  const char* text;
  int32_t taskRate;       // what the task keeps afterwards
  const char* fieldText;  // what the field shows afterwards
};

class TypedRateTest : public RedirectDlgTest, public testing::WithParamInterface<TypedRateCase> {};

// A typed rate applies when editing ends, to the task and its open port; a text that is no
// rate is refused, says why, and the field shows the task's rate again.
TEST_P(TypedRateTest, AppliesWhenTheFocusLeavesTheField) {
  testing_support::PtyPair pty;
  LinkPort("ttyPTY0", pty.devicePath());
  GiveTasks({{.port = "ttyPTY0", .file = (dir / "pty.txt").string(), .baudRate = 115200}});
  QTest::mouseClick(Item<QPushButton>(IDC_STARTSTOP), Qt::LeftButton);
  ASSERT_TRUE(Task(0).IsOpen());
  QLineEdit* field = Item<QComboBox>(IDC_BAUDRATE)->lineEdit();
  field->setFocus();
  field->selectAll();
  QTest::keyClicks(field, QString::fromUtf8(GetParam().text));
  dlg->m_lstPorts->setFocus();

  EXPECT_EQ(Task(0).m_nBaudRate, GetParam().taskRate);
  EXPECT_EQ(ListText(IDC_BAUDRATE), GetParam().fieldText);
  termios2 line{};
  ASSERT_EQ(ioctl(pty.masterFd(), TCGETS2, &line), 0);
  EXPECT_EQ(line.c_ospeed, static_cast<uint32_t>(GetParam().taskRate));
  const bool refused = GetParam().taskRate == 115200;
  EXPECT_EQ(LabelText(IDC_STATUS) ==
                "Baud rate must be a whole number from 1 to 2147483647",
            refused);
  EXPECT_TRUE(Task(0).m_bLogging);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, TypedRateTest,
    testing::Values(TypedRateCase{"ARate", "57600", 57600, "57600"},
                    TypedRateCase{"AnOddRate", "31250", 31250, "31250"},
                    TypedRateCase{"Letters", "fast", 115200, "115200"},
                    TypedRateCase{"WithAUnit", "9600 baud", 115200, "115200"},
                    TypedRateCase{"Zero", "0", 115200, "115200"}),
    [](const auto& c) { return std::string(c.param.name); });

// The status line is the only place errors appear: a text too long for it is cut visibly,
// and the whole of it is shown when the pointer rests there.
TEST_F(RedirectDlgTest, ALongStatusIsCutWithAnEllipsisAndShownWholeAsItsTooltip) {
  OpenWindow();
  auto* status = Item<ui::StatusLine>(IDC_STATUS);
  const QString full = "Disk full while accessing /tmp/a/very/long/folder/name/for/logs/" +
                       QString(40, QChar('x')) + ".txt.";
  dlg->m_strPanelStatus = full;
  dlg->UpdateData(false);
  EXPECT_EQ(status->text(), full);
  const QString shown = status->ShownText();
  EXPECT_TRUE(shown.endsWith(QChar(0x2026))) << shown.toStdString();
  EXPECT_TRUE(full.startsWith(shown.chopped(1)));
  EXPECT_LE(status->fontMetrics().horizontalAdvance(shown), status->contentsRect().width());

  const QPoint inside(5, status->height() / 2);
  QHelpEvent hover(QEvent::ToolTip, inside, status->mapToGlobal(inside));
  QApplication::sendEvent(status, &hover);
  EXPECT_TRUE(QToolTip::isVisible());
  EXPECT_EQ(QToolTip::text(), full);

  dlg->m_strPanelStatus = "Logging started";
  dlg->UpdateData(false);
  EXPECT_EQ(status->ShownText(), "Logging started");
  QApplication::sendEvent(status, &hover);
  EXPECT_TRUE(WaitUntil([] { return !QToolTip::isVisible(); })) << "a whole text needs no tip";
}

TEST_F(RedirectDlgTest, EmptyingThePathDisablesStartAndOneCharacterEnablesIt) {
  GiveTasks(kThreeTasks);
  auto* field = Item<QLineEdit>(IDC_LOGFILE);
  field->setFocus();
  field->selectAll();
  QTest::keyClick(field, Qt::Key_Backspace);
  EXPECT_FALSE(Enabled(IDC_STARTSTOP));
  EXPECT_EQ(Task(0).m_strFile, "");
  QTest::keyClick(field, Qt::Key_Space);  // a blank is a path too
  EXPECT_TRUE(Enabled(IDC_STARTSTOP));
  EXPECT_EQ(Task(0).m_strFile, " ");
  EXPECT_EQ(dlg->m_strPanelFile, " ");
}

TEST_F(RedirectDlgTest, AppendBoxSetsTheCurrentTasksFlag) {
  GiveTasks(kThreeTasks);
  auto* box = Item<QCheckBox>(IDC_APPEND);
  QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(5, box->height() / 2));
  EXPECT_TRUE(Task(0).m_bAppend);
  EXPECT_EQ(dlg->m_bPanelAppend, 1);
  QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(5, box->height() / 2));
  EXPECT_FALSE(Task(0).m_bAppend);
  EXPECT_TRUE(Task(1).m_bAppend);  // only the current task's flag
}

struct BrowseCase {
  const char* name;
  int row;
  std::optional<QString> chosen;
  QString path;
  bool startEnabled;
};

class BrowseTest : public RedirectDlgTest, public testing::WithParamInterface<BrowseCase> {};

TEST_P(BrowseTest, SetsThePathOnlyWhenConfirmedAndLeavesTheCaretAtItsEnd) {
  GiveTasks(kThreeTasks);
  if (GetParam().row != 0) ClickRow(GetParam().row);
  int dialogs = 0;
  dlg->SetSaveFileDialogForTesting([&] {
    ++dialogs;
    return GetParam().chosen;
  });
  QTest::mouseClick(Item<QPushButton>(IDC_BROWSE), Qt::LeftButton);
  EXPECT_EQ(dialogs, 1);
  auto* field = Item<QLineEdit>(IDC_LOGFILE);
  EXPECT_EQ(field->text(), GetParam().path);
  EXPECT_EQ(QString::fromStdString(Task(GetParam().row).m_strFile), GetParam().path);
  EXPECT_EQ(Enabled(IDC_STARTSTOP), GetParam().startEnabled);
  EXPECT_FALSE(field->hasSelectedText());
  EXPECT_EQ(field->cursorPosition(), GetParam().path.size());
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, BrowseTest,
    testing::Values(BrowseCase{"CancelKeepsThePath", 0, std::nullopt, "/tmp/zero.txt", true},
                    BrowseCase{"CancelWithoutAPath", 1, std::nullopt, "", false},
                    BrowseCase{"ChosenFile", 1, QString("/srv/logs/new one.txt"),
                               "/srv/logs/new one.txt", true}),
    [](const testing::TestParamInfo<BrowseCase>& browse) {
      return std::string(browse.param.name);
    });

TEST_F(RedirectDlgTest, AnExchangeRunsNoChangeHandlerButTheProgramsOwnTextDoes) {
  GiveTasks(kThreeTasks);
  dlg->m_strPanelFile = "/written/by/the/exchange.txt";
  dlg->UpdateData(false);
  EXPECT_EQ(Item<QLineEdit>(IDC_LOGFILE)->text(), "/written/by/the/exchange.txt");
  EXPECT_EQ(Task(0).m_strFile, "/tmp/zero.txt");

  Item<QLineEdit>(IDC_LOGFILE)->setText("/set/by/the/program.txt");
  EXPECT_EQ(Task(0).m_strFile, "/set/by/the/program.txt");
  EXPECT_EQ(dlg->m_strPanelFile, "/set/by/the/program.txt");
}

// A port whose device went away shows "[Error]", and "[Started]" again once it logs again.
TEST_F(RedirectDlgTest, ALoggingPortLostAndBackShowsErrorThenStartedAgain) {
  GiveTasks({{.port = "fake0", .file = (dir / "zero.txt").string()},
             {.port = "fake1", .file = (dir / "one.txt").string()}});
  QTest::mouseClick(Item<QPushButton>(IDC_STARTSTOP), Qt::LeftButton);
  dlg->PostPortMessage(WM_PORT_STATUS, 0, PORT_STATUS_PORT_ERROR);
  QApplication::processEvents();
  EXPECT_EQ(dlg->m_lstPorts->GetItemText(0, 1), "[Error]");
  dlg->PostPortMessage(WM_PORT_STATUS, 0, PORT_STATUS_STARTED);
  dlg->PostPortMessage(WM_PORT_STATUS, 1, PORT_STATUS_STARTED);  // stale: task 1 is idle
  QApplication::processEvents();
  EXPECT_EQ(dlg->m_lstPorts->GetItemText(0, 1), "[Started]");
  EXPECT_EQ(dlg->m_lstPorts->GetItemText(1, 1), "[Stopped]");
}

TEST_F(RedirectDlgTest, TaskMessagesShowTheCurrentTaskWhicheverTaskPostedThem) {
  GiveTasks(kThreeTasks);
  ClickRow(1);
  Task(1).m_nReceived = 42;
  Task(1).m_nFileBytes = 4242;
  std::thread reader([&] {
    dlg->PostPortMessage(WM_PORT_STATISTICS, 0, 0);
    dlg->PostPortMessage(WM_PORT_STATUS, 2, PORT_STATUS_FILE_ERROR);
  });
  reader.join();
  QApplication::processEvents();
  EXPECT_EQ(LabelText(IDC_RECEIVED), "42 bytes");
  EXPECT_EQ(LabelText(IDC_FILEBYTES), "4242 bytes");
  EXPECT_EQ(dlg->m_lstPorts->GetItemText(2, 1), "[Error]");
  EXPECT_EQ(dlg->m_lstPorts->GetItemText(1, 1), "[Stopped]");
  EXPECT_EQ(LabelText(IDC_STATUS), "Ready to start");
}

}  // namespace
}  // namespace ui_testing
