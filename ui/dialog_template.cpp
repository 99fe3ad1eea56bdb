#include "ui/dialog_template.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QPushButton>
#include <QStyle>
#include <algorithm>

#include "ui/label.h"
#include "ui/port_list.h"
#include "ui/setting_list.h"
#include "ui/status_line.h"

// Outside any namespace, as the resource macro requires.
static void RegisterResources() { Q_INIT_RESOURCE(resources); }

namespace ui {

void InitResources() { RegisterResources(); }

namespace {

constexpr uint32_t kText = SS_LEFT | WS_GROUP;
constexpr uint32_t kPush = BS_PUSHBUTTON | WS_TABSTOP;
constexpr uint32_t kOneLine = WS_BORDER | WS_TABSTOP | ES_LEFT | ES_AUTOHSCROLL;
constexpr uint32_t kEditableList = CBS_DROPDOWN | WS_VSCROLL | WS_TABSTOP;
constexpr uint32_t kPickList = CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP;
constexpr uint32_t kPortList = WS_BORDER | WS_TABSTOP | LVS_REPORT | LVS_SINGLESEL |
                               LVS_SHOWSELALWAYS | LVS_ALIGNLEFT | LVS_NOCOLUMNHEADER;
constexpr ControlClass B = ControlClass::Button;
constexpr ControlClass S = ControlClass::Static;
constexpr ControlClass E = ControlClass::Edit;
constexpr ControlClass C = ControlClass::ComboBox;
constexpr ControlClass L = ControlClass::ListView;

}  // namespace

// clang-format off
const std::array<ControlTemplate, 34> kMainDialogControls = {{
  {IDC_PROMO_GROUP, "IDC_PROMO_GROUP", B, BS_GROUPBOX, 0, 7, 221, 290, 77,
   "Need more features?", false},
  {IDC_PROMO_TEXT, "IDC_PROMO_TEXT", S, kText, 0, 114, 241, 173, 34, "Static", false},
  {IDC_PROMO_TITLE, "IDC_PROMO_TITLE", S, kText, WS_EX_TRANSPARENT, 113, 230, 176, 12,
   "Try Halvorine", true},
  {IDC_PORTLIST, "IDC_PORTLIST", L, kPortList, 0, 7, 17, 115, 186, "", false},
  {IDC_LOGFILE, "IDC_LOGFILE", E, kOneLine, 0, 129, 17, 150, 12, "", false},
  {IDC_BROWSE, "IDC_BROWSE", B, kPush, 0, 281, 17, 16, 12, " ...", false},
  {IDC_STARTSTOP, "IDC_STARTSTOP", B, kPush | WS_DISABLED, 0, 128, 189, 111, 14,
   "Start logging", false},
  {IDC_BAUDRATE, "IDC_BAUDRATE", C, kEditableList, 0, 174, 58, 120, 126, "", false},
  {IDC_DATABITS, "IDC_DATABITS", C, kPickList, 0, 174, 73, 120, 109, "", false},
  {IDC_PARITY, "IDC_PARITY", C, kPickList, 0, 174, 88, 120, 107, "", false},
  {IDC_STOPBITS, "IDC_STOPBITS", C, kPickList, 0, 174, 103, 120, 91, "", false},
  {IDC_FLOWCTRL, "IDC_FLOWCTRL", C, kPickList, 0, 174, 118, 120, 92, "", false},
  {IDC_LBL_BAUDRATE, "IDC_LBL_BAUDRATE", S, kText, 0, 132, 62, 30, 8, "Baudrate", false},
  {IDC_LBL_DATABITS, "IDC_LBL_DATABITS", S, kText, 0, 132, 76, 30, 8, "Data bits", false},
  {IDC_LBL_PARITY, "IDC_LBL_PARITY", S, kText, 0, 132, 91, 20, 8, "Parity", false},
  {IDC_LBL_STOPBITS, "IDC_LBL_STOPBITS", S, kText, 0, 132, 106, 29, 8, "Stop bits", false},
  {IDC_LBL_FLOWCTRL, "IDC_LBL_FLOWCTRL", S, kText, 0, 132, 121, 40, 8, "Flow control", false},
  {IDC_APPEND, "IDC_APPEND", B, BS_AUTOCHECKBOX | WS_TABSTOP, 0, 129, 33, 61, 10,
   "Append to file", false},
  // In the free space right of the append box, above the serial port options.
  {IDC_VIEWDATA, "IDC_VIEWDATA", B, kPush, 0, 193, 31, 51, 13, "View data", false},
  {IDC_OPTIONS, "IDC_OPTIONS", B, kPush, 0, 246, 31, 51, 13, "Options...", false},
  {IDC_LBL_FILEBYTES, "IDC_LBL_FILEBYTES", S, kText, 0, 133, 161, 56, 8,
   "Total bytes in file", false},
  {IDC_LBL_RECEIVED, "IDC_LBL_RECEIVED", S, kText, 0, 133, 149, 80, 8,
   "Bytes received from port", false},
  {IDC_STATIC, "IDC_STATIC", S, kText, 0, 8, 4, 48, 8, "Available ports", false},
  {IDC_HELPBUTTON, "IDC_HELPBUTTON", B, kPush, 0, 242, 189, 55, 14, "Help", false},
  {IDC_MAKERLINK, "IDC_MAKERLINK", S, kText, 0, 63, 208, 196, 8,
   "Vantreck Software GmbH - click for other products", true},
  {IDC_STATIC, "IDC_STATIC", S, kText, 0, 134, 172, 22, 8, "Status", false},
  {IDC_STATUS, "IDC_STATUS", S, kText, 0, 177, 172, 116, 8, "Static", false},
  {IDC_RECEIVED, "IDC_RECEIVED", S, kText, 0, 218, 149, 75, 8, "Static", false},
  {IDC_FILEBYTES, "IDC_FILEBYTES", S, kText, 0, 218, 161, 75, 8, "Static", false},
  {IDC_STATIC, "IDC_STATIC", B, BS_GROUPBOX, 0, 128, 47, 170, 90, "Serial port options", false},
  {IDC_STATIC, "IDC_STATIC", B, BS_GROUPBOX, 0, 128, 138, 169, 48, "Statistics", false},
  {IDC_STATIC, "IDC_STATIC", S, SS_BITMAP, 0, 12, 231, 79, 50, ":/images/promo.png", false},
  {IDC_LEARNMORE, "IDC_LEARNMORE", B, kPush, 0, 113, 279, 67, 14, "Learn more", false},
  {IDC_HIDEPROMO, "IDC_HIDEPROMO", S, kText, 0, 191, 281, 50, 8, "Hide for now", true},
}};
// clang-format on

namespace {

QWidget* CreateButton(const ControlTemplate& t, QWidget* parent) {
  const QString text = QString::fromUtf8(t.text);
  switch (t.style & BS_TYPEMASK) {
    case BS_GROUPBOX: {
      auto* group = new QGroupBox(text, parent);
      // A frame only: clicks go through to the controls it surrounds.
      group->setAttribute(Qt::WA_TransparentForMouseEvents);
      return group;
    }
    case BS_AUTOCHECKBOX:
      return new QCheckBox(text, parent);
    default: {
      auto* button = new QPushButton(text, parent);
      // No default button: the Enter key goes to the window itself.
      button->setAutoDefault(false);
      button->setDefault(false);
      return button;
    }
  }
}

QWidget* CreatePicture(const ControlTemplate& t, QWidget* parent) {
  InitResources();
  auto* picture = new QLabel(parent);
  picture->setPixmap(QPixmap(QString::fromUtf8(t.text)));
  return picture;
}

QWidget* CreateStatic(const ControlTemplate& t, QWidget* parent) {
  if ((t.style & SS_TYPEMASK) == SS_BITMAP) return CreatePicture(t, parent);
  const QString text = QString::fromUtf8(t.text);
  if (t.label) {
    auto* label = new CLabel(parent);
    label->SetStaticStyle(t.style);
    label->setText(text);
    return label;
  }
  if (t.id == IDC_STATUS) return new StatusLine(text, parent);
  auto* label = new QLabel(text, parent);
  label->setTextFormat(Qt::PlainText);
  label->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  label->setWordWrap(true);
  return label;
}

QWidget* CreateComboBox(const ControlTemplate& t, QWidget* parent) {
  auto* combo = new SettingList(parent);
  if ((t.style & CBS_TYPEMASK) == CBS_DROPDOWN) {
    combo->setEditable(true);
    // A typed text is only text: it never adds, completes or picks an entry, and the Enter key
    // goes on to the window.
    combo->setInsertPolicy(QComboBox::NoInsert);
    combo->setCompleter(nullptr);
    QObject::disconnect(combo->lineEdit(), &QLineEdit::editingFinished, combo, nullptr);
  }
  return combo;
}

QWidget* CreateListView(const ControlTemplate& t, QWidget* parent) {
  auto* list = new PortList(parent);
  if (t.style & LVS_SINGLESEL) list->setSelectionMode(QAbstractItemView::SingleSelection);
  if (t.style & LVS_NOCOLUMNHEADER) list->header()->hide();
  if (t.style & LVS_SHOWSELALWAYS) list->ShowSelectionAlways();
  return list;
}

QWidget* CreateWidget(const ControlTemplate& t, QWidget* parent) {
  switch (t.cls) {
    case ControlClass::Button:
      return CreateButton(t, parent);
    case ControlClass::Static:
      return CreateStatic(t, parent);
    case ControlClass::Edit:
      return new QLineEdit(parent);
    case ControlClass::ComboBox:
      return CreateComboBox(t, parent);
    case ControlClass::ListView:
      return CreateListView(t, parent);
  }
  return nullptr;
}

// Template rectangles give a combo box's height with its drop-down part and a picture's
// size is the picture's own; every other control takes its rectangle as it is.
void Place(QWidget* widget, const ControlTemplate& t, DialogBaseUnits base) {
  const QRect rect = DialogUnitsToPixels(t.Rect(), base);
  if (auto* combo = qobject_cast<QComboBox*>(widget)) {
    const int closed = combo->sizeHint().height();
    const int row = std::max(1, combo->fontMetrics().height());
    combo->setMaxVisibleItems(std::max(1, (rect.height() - closed) / row));
    combo->setGeometry(rect.x(), rect.y(), rect.width(), closed);
  } else if ((t.style & SS_TYPEMASK) == SS_BITMAP && t.cls == ControlClass::Static) {
    const QSize own = static_cast<QLabel*>(widget)->pixmap().size();
    widget->setGeometry(QRect(rect.topLeft(), own));
  } else {
    widget->setGeometry(rect);
  }
}

// Texts that must fit on one line: single-line static captions and the check box. The
// "Static" placeholders are replaced at run time and the promotion text wraps on purpose.
bool IsOneLineCaption(const ControlTemplate& t) {
  const bool caption = t.cls == ControlClass::Static && (t.style & SS_TYPEMASK) != SS_BITMAP &&
                       t.cy <= 12 && QString::fromUtf8(t.text) != QStringLiteral("Static");
  const bool checkBox = t.cls == ControlClass::Button && (t.style & BS_TYPEMASK) == BS_AUTOCHECKBOX;
  return caption || checkBox;
}

// The pixels a caption needs besides its text: a check box's indicator and its spacing.
int ExtraWidthOf(const ControlTemplate& t) {
  if (t.cls != ControlClass::Button) return 0;
  const QStyle* style = QApplication::style();
  return style->pixelMetric(QStyle::PM_IndicatorWidth) +
         style->pixelMetric(QStyle::PM_CheckBoxLabelSpacing) + 2;
}

}  // namespace

DialogBaseUnits TemplateBaseUnits(const QFont& font, std::span<const ControlTemplate> controls) {
  DialogBaseUnits base = BaseUnitsOf(font);
  const QFontMetrics metrics(font);
  for (const ControlTemplate& t : controls) {
    if (!IsOneLineCaption(t)) continue;
    const int needed = metrics.horizontalAdvance(QString::fromUtf8(t.text)) + ExtraWidthOf(t);
    // The smallest width unit at which cx dialog units give `needed` pixels.
    while (DialogUnitsToPixelsX(t.cx, base) < needed) ++base.cx;
  }
  return base;
}

std::map<int, QWidget*> CreateControls(std::span<const ControlTemplate> controls, QWidget* dialog,
                                       DialogBaseUnits base) {
  std::map<int, QWidget*> byId;
  QWidget* previousTabStop = nullptr;
  for (const ControlTemplate& t : controls) {
    QWidget* widget = CreateWidget(t, dialog);
    widget->setObjectName(QString::fromUtf8(t.name));
    widget->setProperty("controlId", t.id);
    widget->setEnabled((t.style & WS_DISABLED) == 0);
    Place(widget, t, base);
    if (t.style & WS_TABSTOP) {
      widget->setFocusPolicy(Qt::StrongFocus);
      if (previousTabStop) QWidget::setTabOrder(previousTabStop, widget);
      previousTabStop = widget;
    }
    if (t.id != IDC_STATIC) byId[t.id] = widget;
  }
  return byId;
}

}  // namespace ui
