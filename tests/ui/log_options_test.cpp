// The log options of the current port, through the panel's Options... button.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

#include "tests/ui/redirect_dlg_fixture.h"
#include "ui/log_options_dialog.h"

namespace ui_testing {
namespace {

using namespace ui;

class LogOptionsTest : public RedirectDlgFixture {
 protected:
  LogOptionsDialog* OpenOptions() { return OpenBy<LogOptionsDialog>(IDC_OPTIONS); }
  static void Type(LogOptionsDialog* dialog, const char* name, const QString& text) {
    auto* field = dialog->findChild<QLineEdit*>(name);
    ASSERT_NE(field, nullptr) << name;
    field->setText(text);
  }
  static void Ok(LogOptionsDialog* dialog) {
    QTest::mouseClick(dialog->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok),
                      Qt::LeftButton);
  }
};

TEST_F(LogOptionsTest, TheDialogShowsTheTasksOptionsAndOkSavesWhatItHolds) {
  GiveTasks({{.port = "fake0", .file = (dir / "zero.txt").string()},
             {.port = "fake1", .file = (dir / "one.txt").string()}});
  Task(0).m_options.rotateKeep = 5;
  LogOptionsDialog* dialog = OpenOptions();
  ASSERT_NE(dialog, nullptr);
  EXPECT_EQ(dialog->windowTitle(), "Log options of fake0");
  EXPECT_EQ(dialog->findChild<QLineEdit*>("rotatekeep")->text(), "5");
  EXPECT_FALSE(dialog->findChild<QCheckBox*>("timestamps")->isChecked());

  dialog->findChild<QCheckBox*>("timestamps")->setChecked(true);
  Type(dialog, "rotatesize", "10M");
  Ok(dialog);
  ASSERT_TRUE(WaitUntil([&] { return dlg->findChild<LogOptionsDialog*>() == nullptr; }));

  const LogOptions wanted{.timestamps = 1, .rotateSize = 10u << 20, .rotateKeep = 5};
  EXPECT_EQ(Task(0).m_options, wanted);
  EXPECT_EQ(Task(1).m_options, LogOptions{});
  EXPECT_EQ(store.Load("fake0")->at("rotatesize"), StoredValue(10u << 20));
  EXPECT_EQ(store.Load("fake0")->at("timestamps"), StoredValue(1u));
}

TEST_F(LogOptionsTest, ACountThatIsNoNumberKeepsTheDialogOpenAndSaysWhy) {
  GiveTasks({{.port = "fake0", .file = (dir / "zero.txt").string()}});
  LogOptionsDialog* dialog = OpenOptions();
  ASSERT_NE(dialog, nullptr);
  Type(dialog, "rotatekeep", "many");
  Ok(dialog);
  EXPECT_TRUE(dialog->isVisible());
  EXPECT_TRUE(dialog->findChild<QLabel*>("problem")->isVisible());
  EXPECT_TRUE(dialog->findChild<QLabel*>("problem")->text().startsWith("Keep this many"));
  dialog->reject();
  EXPECT_EQ(Task(0).m_options, LogOptions{});
}

TEST_F(LogOptionsTest, TheButtonIsOffWhileThePortLogs) {
  GiveTasks({{.port = "fake0", .file = (dir / "zero.txt").string()}});
  QTest::mouseClick(Item<QPushButton>(IDC_STARTSTOP), Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] { return Task(0).IsOpen(); }));
  EXPECT_FALSE(Item<QPushButton>(IDC_OPTIONS)->isEnabled());
  QTest::mouseClick(Item<QPushButton>(IDC_STARTSTOP), Qt::LeftButton);
  ASSERT_TRUE(WaitUntil([&] { return !Task(0).IsOpen(); }));
  EXPECT_TRUE(Item<QPushButton>(IDC_OPTIONS)->isEnabled());
}

}  // namespace
}  // namespace ui_testing
