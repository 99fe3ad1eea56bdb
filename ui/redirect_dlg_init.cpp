// The main window's initialisation: icons, the port list, the links, the task list of the
// machine's serial ports and the setting lists, in the order that decides what the panel
// shows at start.
#include <QAbstractItemView>
#include <QComboBox>
#include <QCursor>
#include <QHeaderView>
#include <QLabel>
#include <array>
#include <filesystem>
#include <string_view>

#include "logging/port_arrivals.h"
#include "logging/log_folder.h"
#include "serial/line_settings.h"
#include "ui/dialog_template.h"
#include "ui/label.h"
#include "ui/port_list.h"
#include "ui/redirect_dlg.h"
#include "ui/redirect_dlg_rules.h"
#include "ui/web_addresses.h"

namespace {

constexpr COLORREF kLinkBlue = 0xFF0000;

const char* const kPromoText =
    "Halvorine offers advanced filtering, searching and representation of the captured data. "
    "It can also monitor ports that other applications already hold open.";

template <size_t N>
void Fill(QComboBox* list, const std::array<std::string_view, N>& texts, int selected) {
  for (std::string_view text : texts)
    list->addItem(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
  list->setCurrentIndex(selected);
}

QIcon SmallImageOf(const QIcon& icon) { return QIcon(icon.pixmap(QSize(16, 16))); }

}  // namespace

bool CRedirectDlg::OnInitDialog() {
  UpdateData(false);
  setWindowIcon(m_hIcon);
  m_imgPorts = SmallImageOf(m_hIcon);
  SetUpPortList();
  m_lblMakerLink->SetLink(true, false)
      .SetLinkCursor(QCursor(Qt::PointingHandCursor))
      .SetLinkUrl(QString::fromUtf8(ui::kMakerProductsUrl))
      .SetFontBold(true)
      .SetTextColor(kLinkBlue);
  // Both columns from the list's client width before any row can bring a scroll bar.
  m_lstPorts->ensurePolished();
  m_lstPorts->header()->setStretchLastSection(false);
  for (int column : {0, 1})
    m_lstPorts->setColumnWidth(column, ui::PortColumnWidth(m_lstPorts->contentsRect().width()));
  BuildTaskList();
  FillSettingLists();
  // The lists were empty when the task list showed task 0: show its own choices now, not the
  // defaults, or a resumed port would seem to run with settings it does not use.
  RefreshPanel();
  SetUpLabels();
  m_lstPorts->setFocus();
  return true;
}

// Whole rows are selected; the image is the program's icon at the list's 16 x 16.
void CRedirectDlg::SetUpPortList() {
  m_lstPorts->setSelectionBehavior(QAbstractItemView::SelectRows);
  m_lstPorts->setIconSize(QSize(16, 16));
}

void CRedirectDlg::FillSettingLists() {
  Fill(m_cbBaudRate, serial::g_szBaudRates, serial::kDefaultBaudIndex);
  Fill(m_cbDataBits, serial::g_szDataBits, serial::kDefaultDataBitsIndex);
  Fill(m_cbParity, serial::g_szParities, serial::kDefaultParityIndex);
  Fill(m_cbStopBits, serial::g_szStopBits, serial::kDefaultStopBitsIndex);
  Fill(m_cbFlowCtrl, serial::g_szFlowControls, serial::kDefaultFlowControlIndex);
}

void CRedirectDlg::SetUpLabels() {
  m_lblPromoTitle->SetFontSize(9).SetFontBold(true);
  m_lblHidePromo->SetLink(true, true)
      .SetFontUnderline(true)
      .SetLinkCursor(QCursor(Qt::PointingHandCursor))
      .SetTextColor(kLinkBlue);
  m_stcPromoText->setText(QString::fromUtf8(kPromoText));
}

void CRedirectDlg::BuildTaskList() {
  // From now on an adapter plugged in later gets its row too.
  if (const std::string folder = m_environment.Opener().DeviceFolder(); !folder.empty())
    m_arrivals = std::make_unique<PortArrivals>(folder, *this);
  AddNewPorts();
  RefreshPanel();
}

// Each new task gets the row at the end; rows never move.
void CRedirectDlg::AddNewPorts() {
  for (const PortTasks::Added& added : m_tasks.AddNewPorts(m_nCurrent)) {
    const int row = m_lstPorts->GetItemCount();
    m_lstPorts->InsertItem(row, QString::fromStdString(added.task->m_strPort), m_imgPorts);
    m_lstPorts->SetItemText(row, 1, added.resumed ? "[Started]" : "[Stopped]");
  }
}

void CRedirectDlg::OnPortsChanged() {
  RetryFailedResumes();
  const bool first = m_tasks.empty();
  AddNewPorts();
  // Until now the panel showed no task.
  if (first) RefreshPanel();
}

void CRedirectDlg::RetryFailedResumes() {
  for (CRedirectPort* task : m_tasks.RetryFailedResumes())
    m_lstPorts->SetItemText(task->m_nIndex, 1, "[Started]");
}

std::string CRedirectDlg::LogFolder() const {
  const std::optional<QString> documents = m_environment.documentsFolder();
  return PrepareLogFolder(documents ? std::optional<std::filesystem::path>(documents->toStdString())
                                    : std::nullopt);
}
