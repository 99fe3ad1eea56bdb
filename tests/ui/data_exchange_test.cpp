// The exchange between a window's members and its controls.
#include "ui/data_exchange.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QSignalSpy>
#include <vector>

namespace ui {
namespace {

class DataExchangeTest : public testing::Test {
 protected:
  DataExchangeTest() {
    exchange.AddCheck(&box, &append);
    exchange.AddText(&field, &file);
    exchange.AddText(&counter, &received);
  }

  QCheckBox box;
  QLineEdit field;
  QLabel counter;
  int32_t append = 0;
  QString file;
  QString received;
  DataExchange exchange;
};

TEST_F(DataExchangeTest, WritesMembersIntoControlsAndReadsEveryControlBack) {
  append = 1;
  file = "/tmp/a.txt";
  received = "12 bytes";
  EXPECT_TRUE(exchange.UpdateData(false));
  EXPECT_TRUE(box.isChecked());
  EXPECT_EQ(field.text(), "/tmp/a.txt");
  EXPECT_EQ(counter.text(), "12 bytes");

  box.setChecked(false);
  field.setText("/tmp/b.txt");
  counter.setText("-1 bytes");
  EXPECT_TRUE(exchange.UpdateData(true));
  EXPECT_EQ(append, 0);
  EXPECT_EQ(file, "/tmp/b.txt");
  EXPECT_EQ(received, "-1 bytes");
}

TEST_F(DataExchangeTest, LeavesAControlAloneThatAlreadyShowsItsMember) {
  field.setText("same");
  field.setSelection(1, 2);
  file = "same";
  QSignalSpy changes(&field, &QLineEdit::textChanged);
  exchange.UpdateData(false);
  EXPECT_EQ(changes.count(), 0);
  EXPECT_EQ(field.selectedText(), "am");
}

TEST_F(DataExchangeTest, IsInProgressExactlyWhileItTouchesTheControls) {
  std::vector<bool> seen;
  QObject::connect(&field, &QLineEdit::textChanged, [&] { seen.push_back(exchange.InProgress()); });
  file = "written by the exchange";
  exchange.UpdateData(false);
  field.setText("typed");
  EXPECT_EQ(seen, (std::vector<bool>{true, false}));
  EXPECT_FALSE(exchange.InProgress());
}

TEST_F(DataExchangeTest, BindsAtTheFirstExchangeOnly) {
  int attached = 0;
  exchange.AddBinding([&] { ++attached; });
  EXPECT_EQ(attached, 0);
  exchange.UpdateData(true);
  exchange.UpdateData(false);
  exchange.UpdateData(false);
  EXPECT_EQ(attached, 1);
}

}  // namespace
}  // namespace ui
