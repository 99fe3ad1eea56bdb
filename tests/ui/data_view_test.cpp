// The "View data" window of a port that logs a pseudo-terminal: it shows the newest bytes the
// task wrote, and neither an open nor a paused view changes what reaches the log.
#include "ui/data_view.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <thread>

#include "tests/support/pty_pair.h"
#include "tests/support/test_files.h"
#include "tests/ui/redirect_dlg_fixture.h"

namespace ui_testing {
namespace {

using namespace ui;
using testing_support::Bytes;
using testing_support::RandomBytes;

class DataViewTest : public RedirectDlgFixture {
 protected:
  void SetUp() override {
    LinkPort("ttyPTY0", pty.devicePath());
    Store({.port = "ttyPTY0", .file = log.string(), .flowCtrl = 0, .logging = true});
    OpenWindow();
    ASSERT_TRUE(WaitUntil([&] { return Task(0).IsOpen(); }));
  }
  DataView* OpenView() { return OpenBy<DataView>(IDC_VIEWDATA); }
  // Sends on a thread of its own while the window goes on handling its events.
  bool SendAndWait(const Bytes& stream, uint32_t receivedAfter) {
    std::thread sender([&] { pty.Send(stream); });
    const bool all =
        WaitUntil([&] { return Task(0).m_nReceived == receivedAfter; }, std::chrono::seconds(60));
    sender.join();
    return all;
  }
  static bool EndsWith(const Bytes& bytes, const Bytes& stream, size_t count) {
    return bytes.size() >= count && std::equal(bytes.end() - static_cast<long>(count), bytes.end(),
                                               stream.end() - static_cast<long>(count));
  }

  testing_support::PtyPair pty;
  const std::filesystem::path log = dir / "pty.txt";
};

TEST_F(DataViewTest, AnOpenViewShowsTheNewestBytesAndTheLogGetsEveryOne) {
  DataView* view = OpenView();
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(view->windowTitle(), "ttyPTY0");
  EXPECT_TRUE(view->isWindow());

  const Bytes stream = RandomBytes(1 << 20, 1);
  ASSERT_TRUE(SendAndWait(stream, static_cast<uint32_t>(stream.size())));
  ASSERT_TRUE(WaitUntil([&] { return EndsWith(view->KeptBytes(), stream, DataView::kKeptBytes); }))
      << "the view's last bytes are not the stream's";
  EXPECT_EQ(FileContents(log), std::string(stream.begin(), stream.end()));
  // Hex rows carry their offset in the log: the last row is that of the stream's last bytes.
  view->SetHex(true);
  const QStringList rows = view->ShownText().split('\n', Qt::SkipEmptyParts);
  ASSERT_FALSE(rows.isEmpty());
  EXPECT_TRUE(rows.back().startsWith(QString::asprintf("%08zx  ", stream.size() - 16)))
      << rows.back().toStdString();
}

TEST_F(DataViewTest, APausedViewKeepsWhatItShowsAndLoggingGoesOn) {
  DataView* view = OpenView();
  ASSERT_NE(view, nullptr);
  const Bytes first(1000, 'a');
  ASSERT_TRUE(SendAndWait(first, 1000));
  ASSERT_TRUE(WaitUntil([&] { return view->ShownText().size() == 1000; }));
  QTest::mouseClick(view->findChild<QPushButton*>(), Qt::LeftButton);  // Pause

  const Bytes second = RandomBytes(1 << 20, 2);
  ASSERT_TRUE(SendAndWait(second, 1000 + static_cast<uint32_t>(second.size())));
  QTest::qWait(300);
  EXPECT_EQ(view->ShownText(), QString(1000, 'a'));
  std::string all(first.begin(), first.end());
  all.append(second.begin(), second.end());
  EXPECT_EQ(FileContents(log), all);

  QTest::mouseClick(view->findChild<QPushButton*>(), Qt::LeftButton);  // on again
  EXPECT_TRUE(WaitUntil([&] { return view->ShownText() != QString(1000, 'a'); }));
}

TEST_F(DataViewTest, CtrlFFindsHexBytesAndCtrlCCopiesThemAsShown) {
  DataView* view = OpenView();
  ASSERT_NE(view, nullptr);
  const std::string line = "hello\r\nworld\n";
  ASSERT_TRUE(SendAndWait(Bytes(line.begin(), line.end()), static_cast<uint32_t>(line.size())));
  view->SetHex(true);
  ASSERT_TRUE(WaitUntil([&] { return view->ShownText().contains("0d 0a"); }));
  QTest::keyClick(view, Qt::Key_F, Qt::ControlModifier);
  QLineEdit* find = view->findChild<QLineEdit*>();
  ASSERT_TRUE(find->isVisible());
  QTest::keyClicks(find, "0d 0a");
  QTest::keyClick(find, Qt::Key_Return);
  QTest::keyClick(view, Qt::Key_C, Qt::ControlModifier);
  EXPECT_EQ(QApplication::clipboard()->text(), "0d 0a");
  QTest::keyClick(find, Qt::Key_Escape);  // leaves finding; the view stays
  EXPECT_FALSE(find->isVisible());
  EXPECT_TRUE(view->isVisible());
}

TEST_F(DataViewTest, ADoubleClickOpensItOnceAndEscapeClosesItWhileLoggingGoesOn) {
  ClickRow(0);
  const QRect rect = dlg->m_lstPorts->visualItemRect(dlg->m_lstPorts->topLevelItem(0));
  QTest::mouseDClick(dlg->m_lstPorts->viewport(), Qt::LeftButton, {}, rect.center());
  ASSERT_TRUE(WaitUntil([&] { return dlg->findChild<DataView*>() != nullptr; }));
  QTest::mouseClick(Item<QPushButton>(IDC_VIEWDATA), Qt::LeftButton);
  EXPECT_EQ(dlg->findChildren<DataView*>().size(), 1) << "one view per port";

  DataView* view = dlg->findChild<DataView*>();
  QTest::keyClick(view, Qt::Key_Escape);
  ASSERT_TRUE(WaitUntil([&] { return dlg->findChild<DataView*>() == nullptr; }));
  EXPECT_TRUE(Task(0).IsOpen());
  ASSERT_TRUE(SendAndWait(Bytes(10, 'z'), 10));
}

}  // namespace
}  // namespace ui_testing
