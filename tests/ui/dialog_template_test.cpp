// The main window's template: unit conversion, the controls built from it, and the window's
// frame and keyboard order.
#include "ui/dialog_template.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <string>
#include <vector>

#include "tests/support/test_environment.h"
#include "ui/dialog_units.h"
#include "ui/label.h"
#include "ui/port_list.h"
#include "ui/redirect_dlg.h"

namespace ui {
namespace {

struct WidthCase {
  int alphabets;
  int average;
};

class AverageCharWidthTest : public testing::TestWithParam<WidthCase> {};

TEST_P(AverageCharWidthTest, IsHalfTheWidthOfTwoLettersRoundedUp) {
  EXPECT_EQ(AverageCharWidth(GetParam().alphabets), GetParam().average);
}

INSTANTIATE_TEST_SUITE_P(Widths, AverageCharWidthTest,
                         testing::Values(WidthCase{312, 6}, WidthCase{286, 6}, WidthCase{285, 5},
                                         WidthCase{338, 7}, WidthCase{337, 6}, WidthCase{385, 7}));

struct ConversionCase {
  DialogBaseUnits base;
  QRect dialogUnits;
  QRect pixels;
};

class DialogUnitsTest : public testing::TestWithParam<ConversionCase> {};

TEST_P(DialogUnitsTest, ScaleByAQuarterCharWidthAndAnEighthCharHeightRounded) {
  EXPECT_EQ(DialogUnitsToPixels(GetParam().dialogUnits, GetParam().base), GetParam().pixels);
}

INSTANTIATE_TEST_SUITE_P(
    Rects, DialogUnitsTest,
    testing::Values(ConversionCase{{4, 8}, {7, 17, 115, 186}, {7, 17, 115, 186}},
                    // 12.25 -> 12, 29.75 -> 30, 201.25 -> 201, 325.5 -> 326
                    ConversionCase{{7, 14}, {7, 17, 115, 186}, {12, 30, 201, 326}},
                    // 10.5 -> 11, 27.625 -> 28, 172.5 -> 173, 302.25 -> 302
                    ConversionCase{{6, 13}, {7, 17, 115, 186}, {11, 28, 173, 302}},
                    ConversionCase{{7, 14}, {0, 0, 303, 304}, {0, 0, 530, 532}}));

// Each control as built, checked against its own template row.
class TemplateControlTest : public testing::TestWithParam<size_t> {
 protected:
  TemplateControlTest() {
    CreateControls(kMainDialogControls, &dialog, base);
    for (QObject* child : dialog.children())
      if (auto* widget = qobject_cast<QWidget*>(child)) widgets.push_back(widget);
  }
  QWidget dialog;
  const DialogBaseUnits base = TemplateBaseUnits(QApplication::font(), kMainDialogControls);
  std::vector<QWidget*> widgets;
};

QString TextOf(QWidget* widget) {
  if (auto* button = qobject_cast<QAbstractButton*>(widget)) return button->text();
  if (auto* group = qobject_cast<QGroupBox*>(widget)) return group->title();
  if (auto* label = qobject_cast<QLabel*>(widget)) return label->text();
  if (auto* field = qobject_cast<QLineEdit*>(widget)) return field->text();
  return QString();
}

bool HasTheClassOf(QWidget* widget, const ControlTemplate& t) {
  switch (t.cls) {
    case ControlClass::Button:
      if ((t.style & BS_TYPEMASK) == BS_GROUPBOX) return qobject_cast<QGroupBox*>(widget);
      if ((t.style & BS_TYPEMASK) == BS_AUTOCHECKBOX) return qobject_cast<QCheckBox*>(widget);
      return qobject_cast<QPushButton*>(widget);
    case ControlClass::Static:
      return t.label ? qobject_cast<CLabel*>(widget) != nullptr
                     : qobject_cast<QLabel*>(widget) && !qobject_cast<CLabel*>(widget);
    case ControlClass::Edit:
      return qobject_cast<QLineEdit*>(widget);
    case ControlClass::ComboBox: {
      auto* combo = qobject_cast<QComboBox*>(widget);
      return combo && combo->isEditable() == ((t.style & CBS_TYPEMASK) == CBS_DROPDOWN);
    }
    case ControlClass::ListView:
      return qobject_cast<PortList*>(widget);
  }
  return false;
}

TEST_P(TemplateControlTest, IsBuiltAsItsRowSays) {
  const ControlTemplate& t = kMainDialogControls[GetParam()];
  ASSERT_EQ(widgets.size(), kMainDialogControls.size());
  QWidget* widget = widgets[GetParam()];
  EXPECT_EQ(widget->objectName(), t.name);
  EXPECT_EQ(widget->property("controlId").toInt(), t.id);
  EXPECT_TRUE(HasTheClassOf(widget, t));
  EXPECT_EQ(widget->isEnabled(), (t.style & WS_DISABLED) == 0);
  EXPECT_EQ((widget->focusPolicy() & Qt::TabFocus) != 0, (t.style & WS_TABSTOP) != 0);

  const QRect expected = DialogUnitsToPixels(t.Rect(), base);
  EXPECT_EQ(widget->pos(), expected.topLeft());
  if (qobject_cast<QComboBox*>(widget)) {
    EXPECT_EQ(widget->width(), expected.width());  // the height is the closed box's own
  } else if (t.cls == ControlClass::Static && (t.style & SS_TYPEMASK) == SS_BITMAP) {
    const QPixmap picture = static_cast<QLabel*>(widget)->pixmap();
    EXPECT_FALSE(picture.isNull());
    EXPECT_EQ(widget->size(), picture.size());
  } else {
    EXPECT_EQ(widget->size(), expected.size());
    EXPECT_EQ(TextOf(widget), t.text);
  }
}

INSTANTIATE_TEST_SUITE_P(AllControls, TemplateControlTest,
                         testing::Range<size_t>(0, kMainDialogControls.size()),
                         [](const testing::TestParamInfo<size_t>& row) {
                           return "Control" + std::to_string(row.param + 1);
                         });

// A few rows written out once more, so a slip in the table shows.
struct RowCase {
  size_t index;
  int id;
  QRect rect;
  const char* text;
};

class TemplateRowTest : public testing::TestWithParam<RowCase> {};

TEST_P(TemplateRowTest, MatchesTheTemplate) {
  const ControlTemplate& t = kMainDialogControls[GetParam().index];
  EXPECT_EQ(t.id, GetParam().id);
  EXPECT_EQ(t.Rect(), GetParam().rect);
  EXPECT_STREQ(t.text, GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, TemplateRowTest,
    testing::Values(
        RowCase{0, 1044, {7, 221, 290, 77}, "Need more features?"},
        RowCase{3, 1018, {7, 17, 115, 186}, ""}, RowCase{5, 1011, {281, 17, 16, 12}, " ..."},
        RowCase{6, 1019, {128, 189, 111, 14}, "Start logging"},
        RowCase{7, 1005, {174, 58, 120, 126}, ""},
        RowCase{17, 1015, {129, 33, 61, 10}, "Append to file"},
        RowCase{18, 1046, {193, 31, 51, 13}, "View data"},
        RowCase{19, 1045, {246, 31, 51, 13}, "Options..."},
        RowCase{24, 1034, {63, 208, 196, 8}, "Vantreck Software GmbH - click for other products"},
        RowCase{26, 1037, {177, 172, 116, 8}, "Static"},
        RowCase{30, -1, {128, 138, 169, 48}, "Statistics"},
        RowCase{33, 1043, {191, 281, 50, 8}, "Hide for now"}));

class MainWindowFrameTest : public testing::Test {
 protected:
  void Show() {
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
  }
  // The template control that has the focus (an editable list's field belongs to its list).
  QString FocusedControl() const {
    for (QWidget* w = QApplication::focusWidget(); w; w = w->parentWidget())
      if (w->property("controlId").isValid()) return w->objectName();
    return QString();
  }
  testing_support::TempDir machine;  // a sysfs that lists no ports
  CRedirectDlg window{nullptr, {.sysfsRoot = machine.path()}};
};

// An ordinary top-level window, not a dialog, so that every taskbar lists it.
TEST_F(MainWindowFrameTest, IsAnOrdinaryWindowWithTheCaptionAFixedSizeAndMinimiseAndClose) {
  const DialogBaseUnits base = TemplateBaseUnits(window.font(), kMainDialogControls);
  const QSize size(DialogUnitsToPixelsX(303, base), DialogUnitsToPixelsY(304, base));
  EXPECT_EQ(window.windowTitle(), "Corvessa [Pellory]");
  EXPECT_EQ(window.minimumSize(), size);
  EXPECT_EQ(window.maximumSize(), size);
  EXPECT_FALSE(window.isSizeGripEnabled());
  const Qt::WindowFlags flags = window.windowFlags();
  EXPECT_EQ(window.windowType(), Qt::Window);
  EXPECT_FALSE(window.isModal());
  EXPECT_TRUE(flags & Qt::WindowCloseButtonHint);
  EXPECT_TRUE(flags & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(flags & Qt::WindowMaximizeButtonHint);
}

// The template was drawn for a narrower font: in ours every one-line caption, with the fonts
// the window gives its labels, must still show whole.
TEST_F(MainWindowFrameTest, OneLineCaptionsAreNotCutOff) {
  for (const ControlTemplate& t : kMainDialogControls) {
    const QString text = QString::fromUtf8(t.text);
    if (t.cy > 12 || text == "Static" || t.cls == ControlClass::ComboBox) continue;
    QWidget* control = nullptr;
    for (QWidget* child : window.findChildren<QWidget*>(QString::fromUtf8(t.name)))
      if (child->property("controlId").toInt() == t.id) control = child;
    if (t.id == IDC_STATIC) {
      for (auto* label : window.findChildren<QLabel*>())
        if (label->text() == text) control = label;
    }
    ASSERT_NE(control, nullptr) << t.name;
    const auto* label = qobject_cast<QLabel*>(control);
    const auto* check = qobject_cast<QCheckBox*>(control);
    if (label == nullptr && check == nullptr) continue;
    const int needed = check ? check->sizeHint().width()
                             : label->fontMetrics().horizontalAdvance(label->text());
    EXPECT_LE(needed, control->width()) << text.toStdString();
  }
}

TEST_F(MainWindowFrameTest, NoPushButtonIsADefaultButton) {
  const QList<QPushButton*> buttons = window.findChildren<QPushButton*>();
  ASSERT_EQ(buttons.size(), 6);
  for (const QPushButton* button : buttons) {
    EXPECT_FALSE(button->isDefault()) << button->objectName().toStdString();
    EXPECT_FALSE(button->autoDefault()) << button->objectName().toStdString();
  }
}

TEST_F(MainWindowFrameTest, ClicksInsideAGroupFrameReachTheControlsItSurrounds) {
  for (int id : {IDC_DATABITS, IDC_FLOWCTRL, IDC_RECEIVED}) {
    QWidget* control = window.GetDlgItem(id);
    QWidget* hit = window.childAt(control->geometry().center());
    EXPECT_TRUE(hit == control || control->isAncestorOf(hit)) << id;
  }
}

TEST_F(MainWindowFrameTest, TheBaudFieldsTypedTextNeverPicksAnEntry) {
  auto* baud = qobject_cast<QComboBox*>(window.GetDlgItem(IDC_BAUDRATE));
  baud->clear();  // entries of this test's own instead of the rates the window filled in
  baud->addItems({"9600", "115200"});
  baud->setCurrentIndex(0);
  int picks = 0;
  QObject::connect(baud, &QComboBox::activated, [&] { ++picks; });
  Show();
  baud->setFocus();
  baud->lineEdit()->selectAll();
  QTest::keyClicks(baud->lineEdit(), "115200");
  QTest::keyClick(baud->lineEdit(), Qt::Key_Return);
  window.GetDlgItem(IDC_HELPBUTTON)->setFocus();  // leaving the field finishes the edit
  EXPECT_EQ(baud->currentText(), "115200");
  EXPECT_EQ(baud->currentIndex(), 0);
  EXPECT_EQ(baud->count(), 2);
  EXPECT_EQ(picks, 0);
}

class TabOrderTest : public MainWindowFrameTest, public testing::WithParamInterface<bool> {};

TEST_P(TabOrderTest, StartsAtThePortListAndVisitsTheTabStopsInTemplateOrder) {
  const bool startEnabled = GetParam();
  window.GetDlgItem(IDC_STARTSTOP)->setEnabled(startEnabled);
  Show();
  QStringList expected{"IDC_PORTLIST", "IDC_LOGFILE", "IDC_BROWSE"};
  if (startEnabled) expected << "IDC_STARTSTOP";
  expected << "IDC_BAUDRATE"
           << "IDC_DATABITS"
           << "IDC_PARITY"
           << "IDC_STOPBITS"
           << "IDC_FLOWCTRL"
           << "IDC_APPEND"
           << "IDC_VIEWDATA"
           << "IDC_OPTIONS"
           << "IDC_HELPBUTTON"
           << "IDC_LEARNMORE"
           << "IDC_PORTLIST";
  QStringList visited{FocusedControl()};
  while (visited.size() < expected.size()) {
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    visited << FocusedControl();
  }
  EXPECT_EQ(visited, expected);
}

INSTANTIATE_TEST_SUITE_P(StartButton, TabOrderTest, testing::Bool(),
                         [](const testing::TestParamInfo<bool>& start) {
                           return start.param ? "Enabled" : "Disabled";
                         });

}  // namespace
}  // namespace ui
