// The help (the Help button, F1, Enter on the button), the two web links and cutting off the
// promotion panel.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QPushButton>
#include <QUrl>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/ui/redirect_dlg_fixture.h"
#include "ui/help_file.h"
#include "ui/label.h"
#include "ui/shell_open.h"
#include "ui/web_addresses.h"

namespace ui_testing {
namespace {

using namespace ui;
namespace fs = std::filesystem;

class HelpAndLinksTest : public RedirectDlgFixture {
 protected:
  HelpAndLinksTest() {
    SetShellOpenerForTesting([this](const QUrl& target) {
      opened.push_back(target);
      return !(target.fileName() == "pellory.chm" && !chmOpens);
    });
    GiveTasks({{.port = "fake0", .file = (dir / "zero.txt").string()}});
  }
  ~HelpAndLinksTest() override { SetShellOpenerForTesting({}); }

  static QUrl BesideTheProgram(const QString& file) {
    return QUrl::fromLocalFile(QCoreApplication::applicationDirPath() + "/" + file);
  }

  std::vector<QUrl> opened;
  bool chmOpens = true;  // whether the desktop manages to open pellory.chm
};

struct HelpCase {
  const char* name;
  bool viewer;
  bool chmOpens;
  std::vector<QString> files;
};

class HelpFileTest : public HelpAndLinksTest, public testing::WithParamInterface<HelpCase> {};

TEST_P(HelpFileTest, OpensTheChmWhereTheDesktopCanAndTheHtmlPagesOtherwise) {
  chmViewer = GetParam().viewer;
  chmOpens = GetParam().chmOpens;
  QTest::mouseClick(Item<QPushButton>(IDC_HELPBUTTON), Qt::LeftButton);
  std::vector<QUrl> expected;
  for (const QString& file : GetParam().files) expected.push_back(BesideTheProgram(file));
  EXPECT_EQ(opened, expected);
}

INSTANTIATE_TEST_SUITE_P(
    Desktops, HelpFileTest,
    testing::Values(HelpCase{"ChmViewer", true, true, {"pellory.chm"}},
                    HelpCase{"ChmViewerFails", true, false, {"pellory.chm", "help/index.html"}},
                    HelpCase{"NoChmViewer", false, true, {"help/index.html"}}),
    [](const testing::TestParamInfo<HelpCase>& c) { return std::string(c.param.name); });

// An installed program lives in bin/, its help in share/corvessa/help; pages beside the program
// (a build) come first.
TEST(InstalledHelpTest, IsFoundInTheInstalledHelpFolderUnlessThereIsHelpBesideTheProgram) {
  testing_support::TempDir prefix;
  const fs::path help = prefix / "share/corvessa/help";
  fs::create_directories(prefix / "bin");
  fs::create_directories(help);
  std::ofstream(help / "pellory.chm") << "chm";
  std::ofstream(help / "index.html") << "<html></html>";
  std::vector<QUrl> opened;
  SetShellOpenerForTesting([&](const QUrl& target) {
    opened.push_back(target);
    return true;
  });
  const QString bin = QString::fromStdString((prefix / "bin").string());
  const auto installed = [&](const char* file) {
    return QUrl::fromLocalFile(bin + "/../share/corvessa/help/" + file);
  };
  OpenHelp(bin, [](const QString&) { return true; });
  OpenHelp(bin, [](const QString&) { return false; });
  EXPECT_EQ(opened, (std::vector<QUrl>{installed("pellory.chm"), installed("index.html")}));

  fs::create_directories(prefix / "bin/help");
  std::ofstream(prefix / "bin/help/index.html") << "<html></html>";
  opened.clear();
  OpenHelp(bin, [](const QString&) { return false; });
  EXPECT_EQ(opened, std::vector<QUrl>{QUrl::fromLocalFile(bin + "/help/index.html")});
  SetShellOpenerForTesting({});
}

struct F1Case {
  const char* name;
  Qt::KeyboardModifiers modifiers;
  size_t opens;
};

class F1Test : public HelpAndLinksTest, public testing::WithParamInterface<F1Case> {};

TEST_P(F1Test, AloneOpensTheHelpAndWithAModifierDoesNothing) {
  chmViewer = true;
  QTest::keyClick(dlg->m_lstPorts, Qt::Key_F1, GetParam().modifiers);
  EXPECT_EQ(opened.size(), GetParam().opens);
}

INSTANTIATE_TEST_SUITE_P(
    Modifiers, F1Test,
    testing::Values(F1Case{"Alone", Qt::NoModifier, 1}, F1Case{"Ctrl", Qt::ControlModifier, 0},
                    F1Case{"Shift", Qt::ShiftModifier, 0}, F1Case{"Alt", Qt::AltModifier, 0}),
    [](const testing::TestParamInfo<F1Case>& c) { return std::string(c.param.name); });

TEST_F(HelpAndLinksTest, EnterOnAFocusedPushButtonClicksItInsteadOfStarting) {
  auto* help = Item<QPushButton>(IDC_HELPBUTTON);
  help->setFocus();
  QTest::keyClick(help, Qt::Key_Return);
  EXPECT_EQ(opened.size(), 1u);
  EXPECT_FALSE(Task(0).m_bLogging);
  EXPECT_EQ(dlg->m_lstPorts->GetItemText(0, 1), "[Stopped]");
}

struct LinkCase {
  int id;
  const char* address;
};

class LinkTest : public HelpAndLinksTest, public testing::WithParamInterface<LinkCase> {};

TEST_P(LinkTest, OpensItsWebAddress) {
  QTest::mouseClick(dlg->GetDlgItem(GetParam().id), Qt::LeftButton);
  EXPECT_EQ(opened, std::vector<QUrl>{QUrl(GetParam().address)});
}

INSTANTIATE_TEST_SUITE_P(Links, LinkTest,
                         testing::Values(LinkCase{IDC_MAKERLINK, kMakerProductsUrl},
                                         LinkCase{IDC_LEARNMORE, kPromotedProductUrl}));

TEST_F(HelpAndLinksTest, HideForNowCutsTheWindowAtThePromotionGroupInPlace) {
  const QPoint place = dlg->pos();
  const int width = dlg->width();
  const int groupTop = dlg->GetDlgItem(IDC_PROMO_GROUP)->y();
  ASSERT_LT(groupTop, dlg->height());
  QTest::mouseClick(dlg->m_lblHidePromo, Qt::LeftButton);
  EXPECT_EQ(dlg->pos(), place);
  EXPECT_EQ(dlg->width(), width);
  EXPECT_EQ(dlg->height(), groupTop);
  EXPECT_EQ(dlg->minimumSize(), dlg->maximumSize());  // still fixed
  EXPECT_TRUE(opened.empty());
}

// What is cut off cannot be reached from the keyboard: Tab never lands on "Learn more".
TEST_F(HelpAndLinksTest, HiddenPromotionControlsTakeNoFocus) {
  QTest::mouseClick(dlg->m_lblHidePromo, Qt::LeftButton);
  QWidget* learnMore = dlg->GetDlgItem(IDC_LEARNMORE);
  EXPECT_FALSE(learnMore->isVisible());
  dlg->m_lstPorts->setFocus();
  for (int tab = 0; tab < 20; ++tab) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    EXPECT_NE(QApplication::focusWidget(), learnMore) << "after " << tab + 1 << " tabs";
  }
  QTest::keyClick(QApplication::focusWidget(), Qt::Key_Space);
  EXPECT_TRUE(opened.empty());
}

}  // namespace
}  // namespace ui_testing
