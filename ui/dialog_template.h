#pragma once
// The main window's dialog template: its 32 controls in template order (which is also the tab
// order), each with its id, name, class, style bits, rectangle in dialog units and text, and
// the code that builds Qt widgets from it.

#include <QRect>
#include <QString>
#include <array>
#include <cstdint>
#include <map>
#include <span>

#include "ui/dialog_units.h"
#include "ui/label_rules.h"  // the static styles and WS_BORDER

class QWidget;

namespace ui {

// The template's other style bits, with the platform's values, so the table reads as the
// template.
inline constexpr uint32_t WS_GROUP = 0x00020000;
inline constexpr uint32_t WS_TABSTOP = 0x00010000;
inline constexpr uint32_t WS_DISABLED = 0x08000000;
inline constexpr uint32_t WS_VSCROLL = 0x00200000;
inline constexpr uint32_t WS_EX_TRANSPARENT = 0x00000020;
inline constexpr uint32_t BS_PUSHBUTTON = 0x0;
inline constexpr uint32_t BS_AUTOCHECKBOX = 0x3;
inline constexpr uint32_t BS_GROUPBOX = 0x7;
inline constexpr uint32_t BS_TYPEMASK = 0xF;
inline constexpr uint32_t SS_BITMAP = 0xE;
inline constexpr uint32_t ES_LEFT = 0x0;
inline constexpr uint32_t ES_AUTOHSCROLL = 0x80;
inline constexpr uint32_t CBS_DROPDOWN = 0x2;
inline constexpr uint32_t CBS_DROPDOWNLIST = 0x3;
inline constexpr uint32_t CBS_TYPEMASK = 0x3;
inline constexpr uint32_t LVS_REPORT = 0x1;
inline constexpr uint32_t LVS_SINGLESEL = 0x4;
inline constexpr uint32_t LVS_SHOWSELALWAYS = 0x8;
inline constexpr uint32_t LVS_ALIGNLEFT = 0x800;
inline constexpr uint32_t LVS_NOCOLUMNHEADER = 0x4000;

inline constexpr int IDD_MAIN_DIALOG = 102;
inline constexpr int IDC_STATIC = -1;
inline constexpr int IDC_BAUDRATE = 1005;
inline constexpr int IDC_DATABITS = 1006;
inline constexpr int IDC_PARITY = 1007;
inline constexpr int IDC_STOPBITS = 1008;
inline constexpr int IDC_FLOWCTRL = 1009;
inline constexpr int IDC_LOGFILE = 1010;
inline constexpr int IDC_BROWSE = 1011;
inline constexpr int IDC_APPEND = 1015;
inline constexpr int IDC_PORTLIST = 1018;
inline constexpr int IDC_STARTSTOP = 1019;
inline constexpr int IDC_LBL_BAUDRATE = 1025;
inline constexpr int IDC_LBL_DATABITS = 1026;
inline constexpr int IDC_LBL_PARITY = 1027;
inline constexpr int IDC_LBL_STOPBITS = 1028;
inline constexpr int IDC_LBL_FLOWCTRL = 1029;
inline constexpr int IDC_LBL_RECEIVED = 1031;
inline constexpr int IDC_LBL_FILEBYTES = 1032;
inline constexpr int IDC_HELPBUTTON = 1033;
inline constexpr int IDC_MAKERLINK = 1034;
inline constexpr int IDC_STATUS = 1037;
inline constexpr int IDC_RECEIVED = 1038;
inline constexpr int IDC_FILEBYTES = 1039;
inline constexpr int IDC_LEARNMORE = 1040;
inline constexpr int IDC_PROMO_TITLE = 1041;
inline constexpr int IDC_PROMO_TEXT = 1042;
inline constexpr int IDC_HIDEPROMO = 1043;
inline constexpr int IDC_PROMO_GROUP = 1044;
inline constexpr int IDC_OPTIONS = 1045;
inline constexpr int IDC_VIEWDATA = 1046;

// The window class of a template control.
enum class ControlClass { Button, Static, Edit, ComboBox, ListView };

struct ControlTemplate {
  int id;
  const char* name;  // becomes the widget's objectName
  ControlClass cls;
  uint32_t style;
  uint32_t exStyle;
  int x, y, cx, cy;  // dialog units; a combo box's height includes its drop-down part
  const char* text;  // for a picture: the image resource it shows
  bool label;        // a static text drawn by the label control
  QRect Rect() const { return QRect(x, y, cx, cy); }
};

inline constexpr int kDialogWidthDu = 303;
inline constexpr int kDialogHeightDu = 304;
inline constexpr const char* kDialogCaption = "Corvessa [Pellory]";

extern const std::array<ControlTemplate, 34> kMainDialogControls;

// Registers the program's pictures and icons; they live in a static library, so they must be
// registered before the first is loaded. Repeated calls do no harm.
void InitResources();

// The base units the window is laid out with: the dialog font's, widened where a one-line
// text of the template would not fit its rectangle in that font. The template was drawn for
// a narrower font than the sans-serif faces of a Linux desktop; without this, captions such
// as "Flow control" would be cut off.
DialogBaseUnits TemplateBaseUnits(const QFont& font, std::span<const ControlTemplate> controls);

// Builds every control of `controls` as a child of `dialog`, placed by `base`, in template
// order, and sets the tab order to it. Each widget carries its id in the dynamic property
// "controlId" and the template name as objectName. Returns the widgets by id; the controls
// with id -1 are not in the map.
std::map<int, QWidget*> CreateControls(std::span<const ControlTemplate> controls, QWidget* dialog,
                                       DialogBaseUnits base);

}  // namespace ui
