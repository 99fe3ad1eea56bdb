#include "ui/redirect_dlg.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QEvent>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <algorithm>
#include <climits>
#include <cstdlib>
#include <string>

#include "logging/port_arrivals.h"
#include "serial/line_settings.h"
#include "ui/dialog_template.h"
#include "ui/dialog_units.h"
#include "ui/label.h"
#include "ui/log_options_dialog.h"
#include "ui/port_list.h"

namespace {

// A task's message on its way to the window: the event type is the message number.
class PortMessageEvent : public QEvent {
 public:
  PortMessageEvent(uint32_t message, int wParam, int lParam)
      : QEvent(static_cast<QEvent::Type>(message)), m_wParam(wParam), m_lParam(lParam) {}
  int m_wParam;
  int m_lParam;
};

bool IsPortMessage(const QEvent* event) {
  const auto type = static_cast<uint32_t>(event->type());
  return type == WM_PORT_STATISTICS || type == WM_PORT_STATUS || type == WM_PORTS_CHANGED;
}

QIcon LoadProgramIcon() {
  ui::InitResources();
  QIcon icon;
  for (int size : {16, 24, 32, 48, 128})
    icon.addFile(QStringLiteral(":/icons/corvessa-%1.png").arg(size), QSize(size, size));
  return icon;
}

bool AskQuit(QWidget* parent) {
  QMessageBox question(
      QMessageBox::Question, QStringLiteral("Corvessa"),
      QStringLiteral("Do you really want to quit? All logging tasks will be halted."),
      QMessageBox::Yes | QMessageBox::No, parent);
  question.setDefaultButton(QMessageBox::Yes);
  return question.exec() == QMessageBox::Yes;
}

std::optional<QString> RunSaveFileDialog() {
  QFileDialog dialog(nullptr);
  dialog.setAcceptMode(QFileDialog::AcceptSave);
  dialog.setFileMode(QFileDialog::AnyFile);
  dialog.setDefaultSuffix(QStringLiteral("txt"));
  // "*" is what matches every file here; "*.*" would hide names without a dot.
  dialog.setNameFilters({QStringLiteral("Text Files (*.txt)"), QStringLiteral("All Files (*)")});
  if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
  return dialog.selectedFiles().constFirst();
}

// Leading blanks, an optional sign, then digits up to the first other character; a value out
// of range is held at the nearest 32-bit limit.
int32_t DecimalValueOf(const QString& text) {
  const std::string digits = text.toStdString();
  const long value = std::strtol(digits.c_str(), nullptr, 10);
  return static_cast<int32_t>(std::clamp<long>(value, INT32_MIN, INT32_MAX));
}

QString BytesText(uint32_t count) {
  return QString::asprintf("%d bytes", static_cast<int32_t>(count));
}

}  // namespace

CRedirectDlg::CRedirectDlg(QWidget* parent, ui::HostEnvironment environment)
    : QDialog(parent),
      m_tasks(this, {environment.Opener(), environment.Store(), environment.sysfsRoot,
                     [this] { return LogFolder(); }}),
      m_hIcon(LoadProgramIcon()),
      m_environment(std::move(environment)),
      m_saveFileDialog(RunSaveFileDialog),
      m_quitQuestion([this] { return AskQuit(this); }) {
  setWindowTitle(QString::fromUtf8(ui::kDialogCaption));
  // An ordinary top-level window, so every taskbar lists it (a dialog is made transient for a
  // hidden leader, which some leave out), with a fixed frame: minimise and close, no maximise.
  setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                 Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setSizeGripEnabled(false);
  const ui::DialogBaseUnits base = ui::TemplateBaseUnits(font(), ui::kMainDialogControls);
  setFixedSize(ui::DialogUnitsToPixelsX(ui::kDialogWidthDu, base),
               ui::DialogUnitsToPixelsY(ui::kDialogHeightDu, base));
  m_controls = ui::CreateControls(ui::kMainDialogControls, this, base);
  BindControls();
  DoDataExchange();
  ConnectMessageMap();
  // Closing a port waits for its reader thread; meanwhile the window keeps handling events.
  CCommPort::SetMessagePump([] { QCoreApplication::processEvents(); });
  OnInitDialog();
}

CRedirectDlg::~CRedirectDlg() {
  m_arrivals.reset();  // it posts to this window
  // Tasks that still log close below and run the window's events meanwhile: none of those may
  // reach a task, or add one, while the list is being emptied.
  m_underway = Underway::Quit;
  CCommPort::SetMessagePump({});
  CloseViews();
  // Tasks the window still holds stop here, while the window they post to still exists.
  m_tasks.Clear();
}

void CRedirectDlg::BindControls() {
  m_lstPorts = qobject_cast<ui::PortList*>(GetDlgItem(ui::IDC_PORTLIST));
  m_lblMakerLink = qobject_cast<CLabel*>(GetDlgItem(ui::IDC_MAKERLINK));
  m_cbBaudRate = qobject_cast<QComboBox*>(GetDlgItem(ui::IDC_BAUDRATE));
  m_cbDataBits = qobject_cast<QComboBox*>(GetDlgItem(ui::IDC_DATABITS));
  m_cbParity = qobject_cast<QComboBox*>(GetDlgItem(ui::IDC_PARITY));
  m_cbStopBits = qobject_cast<QComboBox*>(GetDlgItem(ui::IDC_STOPBITS));
  m_cbFlowCtrl = qobject_cast<QComboBox*>(GetDlgItem(ui::IDC_FLOWCTRL));
  m_lblPromoTitle = qobject_cast<CLabel*>(GetDlgItem(ui::IDC_PROMO_TITLE));
  m_stcPromoText = qobject_cast<QLabel*>(GetDlgItem(ui::IDC_PROMO_TEXT));
  m_lblHidePromo = qobject_cast<CLabel*>(GetDlgItem(ui::IDC_HIDEPROMO));
}

// The exchange table in its order. The port list, the five setting lists and the promotion
// text are addressed directly; the labels start drawing themselves at the first exchange.
void CRedirectDlg::DoDataExchange() {
  m_exchange.AddCheck(qobject_cast<QCheckBox*>(GetDlgItem(ui::IDC_APPEND)), &m_bPanelAppend);
  m_exchange.AddText(qobject_cast<QLineEdit*>(GetDlgItem(ui::IDC_LOGFILE)), &m_strPanelFile);
  m_exchange.AddText(qobject_cast<QLabel*>(GetDlgItem(ui::IDC_RECEIVED)), &m_strPanelReceived);
  m_exchange.AddText(qobject_cast<QLabel*>(GetDlgItem(ui::IDC_FILEBYTES)), &m_strPanelFileBytes);
  m_exchange.AddBinding([label = m_lblMakerLink] { label->Attach(); });
  m_exchange.AddText(qobject_cast<QLabel*>(GetDlgItem(ui::IDC_STATUS)), &m_strPanelStatus);
  m_exchange.AddBinding([label = m_lblPromoTitle] { label->Attach(); });
  m_exchange.AddBinding([label = m_lblHidePromo] { label->Attach(); });
}

// While an exchange writes into the controls, their notifications run no handler.
template <typename Sender, typename... Args>
void CRedirectDlg::Route(int id, void (Sender::*signal)(Args...), void (CRedirectDlg::*handler)()) {
  connect(qobject_cast<Sender*>(GetDlgItem(id)), signal, this, [this, handler] {
    if (!m_exchange.InProgress()) (this->*handler)();
  });
}

void CRedirectDlg::ConnectMessageMap() {
  Route(ui::IDC_BROWSE, &QPushButton::clicked, &CRedirectDlg::OnBrowseFile);
  Route(ui::IDC_STARTSTOP, &QPushButton::clicked, &CRedirectDlg::OnStartStop);
  Route(ui::IDC_HELPBUTTON, &QPushButton::clicked, &CRedirectDlg::OnOpenHelp);
  Route(ui::IDC_APPEND, &QCheckBox::clicked, &CRedirectDlg::OnAppendClicked);
  Route(ui::IDC_OPTIONS, &QPushButton::clicked, &CRedirectDlg::OnOptions);
  connect(qobject_cast<QPushButton*>(GetDlgItem(ui::IDC_VIEWDATA)), &QPushButton::clicked, this,
          [this] { OpenView(m_nCurrent); });
  connect(m_lstPorts, &QTreeWidget::itemDoubleClicked, this, [this](QTreeWidgetItem* item) {
    OpenView(m_lstPorts->indexOfTopLevelItem(item));
  });
  // activated: the user picked an entry; selecting one from code raises nothing.
  Route(ui::IDC_BAUDRATE, &QComboBox::activated, &CRedirectDlg::OnSelchangeBaudRate);
  Route(ui::IDC_DATABITS, &QComboBox::activated, &CRedirectDlg::OnSelchangeDataBits);
  Route(ui::IDC_PARITY, &QComboBox::activated, &CRedirectDlg::OnSelchangeParity);
  Route(ui::IDC_STOPBITS, &QComboBox::activated, &CRedirectDlg::OnSelchangeStopBits);
  Route(ui::IDC_FLOWCTRL, &QComboBox::activated, &CRedirectDlg::OnSelchangeFlowCtrl);
  connect(m_cbBaudRate->lineEdit(), &QLineEdit::editingFinished, this, [this] {
    if (!m_exchange.InProgress()) OnBaudRateEdited();
  });
  // textChanged: typing and texts set from code alike.
  Route(ui::IDC_LOGFILE, &QLineEdit::textChanged, &CRedirectDlg::OnChangeLogFile);
  // A typed path is saved once typing ends rather than at every key.
  Route(ui::IDC_LOGFILE, &QLineEdit::editingFinished, &CRedirectDlg::SaveCurrentTask);
  m_lstPorts->SetRowColour([this](int row) { return OnCustomDrawPortList(row); });
  Route(ui::IDC_HIDEPROMO, &CLabel::labelClicked, &CRedirectDlg::OnHidePromo);
  Route(ui::IDC_LEARNMORE, &QPushButton::clicked, &CRedirectDlg::OnLearnMore);
  connect(m_lstPorts, &ui::PortList::rowChanged, this, [this](int row) {
    if (!m_exchange.InProgress()) OnItemChanged(row);
  });
}

void CRedirectDlg::PostPortMessage(uint32_t message, int wParam, int lParam) {
  QCoreApplication::postEvent(this, new PortMessageEvent(message, wParam, lParam));
}

bool CRedirectDlg::event(QEvent* event) {
  if (!IsPortMessage(event)) return QDialog::event(event);
  // Once the quit has begun, a message may name a task that is already gone.
  if (m_underway == Underway::Quit) return true;
  const auto* message = static_cast<const PortMessageEvent*>(event);
  switch (static_cast<uint32_t>(event->type())) {
    case WM_PORT_STATISTICS:
      OnPortStatistics(message->m_wParam, message->m_lParam);
      break;
    case WM_PORT_STATUS:
      OnPortStatus(message->m_wParam, message->m_lParam);
      break;
    default:
      OnPortsChanged();
  }
  return true;
}

void CRedirectDlg::SetSaveFileDialogForTesting(SaveFileDialog dialog) {
  m_saveFileDialog = std::move(dialog);
}

void CRedirectDlg::SetQuitQuestionForTesting(QuitQuestion question) {
  m_quitQuestion = std::move(question);
}

bool CRedirectDlg::UpdateData(bool saveAndValidate) {
  return m_exchange.UpdateData(saveAndValidate);
}

QWidget* CRedirectDlg::GetDlgItem(int id) const {
  const auto found = m_controls.find(id);
  return found == m_controls.end() ? nullptr : found->second;
}

// During the quit the tasks go one by one; the panel's controls then act on none of them.
bool CRedirectDlg::HasCurrentTask() const {
  return m_underway != Underway::Quit && TaskAt(m_nCurrent) != nullptr;
}

CRedirectPort* CRedirectDlg::TaskAt(int index) const { return m_tasks.At(index); }

CRedirectPort& CRedirectDlg::CurrentTask() const { return *m_tasks.At(m_nCurrent); }

void CRedirectDlg::EnableFileControls(bool enable) {
  for (int id : {ui::IDC_LOGFILE, ui::IDC_BROWSE, ui::IDC_APPEND, ui::IDC_OPTIONS})
    GetDlgItem(id)->setEnabled(enable);
}

void CRedirectDlg::SetStartStopCaption(const char* caption) {
  static_cast<QPushButton*>(GetDlgItem(ui::IDC_STARTSTOP))->setText(QString::fromUtf8(caption));
}

// A text equal to the field's own raises no change notification here, unlike on the platform
// this window follows; the handler must run either way.
void CRedirectDlg::SetLogFileText(const QString& text) {
  auto* field = qobject_cast<QLineEdit*>(GetDlgItem(ui::IDC_LOGFILE));
  if (field->text() == text)
    OnChangeLogFile();
  else
    field->setText(text);
}

// The caret after the last character, nothing selected, so the file name is in view.
void CRedirectDlg::CaretToEndOfLogFile() {
  auto* field = qobject_cast<QLineEdit*>(GetDlgItem(ui::IDC_LOGFILE));
  field->deselect();
  field->setCursorPosition(static_cast<int>(field->text().size()));
}

void CRedirectDlg::OnItemChanged(int row) {
  if (row == m_nCurrent || TaskAt(row) == nullptr || m_underway == Underway::Quit) return;
  if (HasCurrentTask()) CurrentTask().m_bCurrent = false;
  m_nCurrent = row;
  if (HasCurrentTask()) CurrentTask().m_bCurrent = true;
  RefreshPanel();
}

void CRedirectDlg::RefreshPanel() {
  if (!HasCurrentTask()) return;
  const CRedirectPort& task = CurrentTask();
  m_strPanelFile = QString::fromStdString(task.m_strFile);
  if (task.m_bLogging) {
    SetStartStopCaption("Stop logging");
    EnableFileControls(false);
  } else {
    SetStartStopCaption("Start logging");
    GetDlgItem(ui::IDC_STARTSTOP)->setEnabled(!m_strPanelFile.isEmpty());
    EnableFileControls(true);
  }
  m_bPanelAppend = task.m_bAppend ? 1 : 0;
  // The field's text only: the list's selected entry stays as it was.
  m_cbBaudRate->setEditText(QString::asprintf("%d", task.m_nBaudRate));
  // An index outside a list selects nothing; selecting from code runs no handler.
  m_cbDataBits->setCurrentIndex(task.m_nDataBits);
  m_cbParity->setCurrentIndex(task.m_nParity);
  m_cbStopBits->setCurrentIndex(task.m_nStopBits);
  m_cbFlowCtrl->setCurrentIndex(task.m_nFlowCtrl);
  m_strPanelStatus = QString::fromStdString(task.Status());
  m_strPanelReceived = BytesText(task.m_nReceived.load());
  m_strPanelFileBytes = BytesText(task.m_nFileBytes.load());
  UpdateData(false);
  SetLogFileText(m_strPanelFile);
  CaretToEndOfLogFile();
}

void CRedirectDlg::OnSelchangeBaudRate() {
  if (!HasCurrentTask()) return;
  CRedirectPort& task = CurrentTask();
  task.m_nBaudRate = DecimalValueOf(m_cbBaudRate->itemText(m_cbBaudRate->currentIndex()));
  task.SetBaudRate(static_cast<uint32_t>(task.m_nBaudRate));
  task.SaveSettings();
}

// A typed rate reaches the task, and its open port, once editing ends; a text that is no rate
// is refused and the field shows the task's rate again.
void CRedirectDlg::OnBaudRateEdited() {
  if (HasCurrentTask()) TakeTypedBaudRate(CurrentTask());
}

bool CRedirectDlg::TakeTypedBaudRate(CRedirectPort& task) {
  const std::optional<uint32_t> rate =
      serial::ParseBaudRate(m_cbBaudRate->currentText().toStdString());
  if (!rate) {
    ShowStatus(QString::fromUtf8(serial::kBaudRateRule.data(),
                                 static_cast<qsizetype>(serial::kBaudRateRule.size())));
    m_cbBaudRate->setEditText(QString::asprintf("%d", task.m_nBaudRate));
    return false;
  }
  if (static_cast<int32_t>(*rate) != task.m_nBaudRate) {
    task.m_nBaudRate = static_cast<int32_t>(*rate);
    task.SetBaudRate(*rate);
    task.SaveSettings();
  }
  return true;
}

void CRedirectDlg::ShowStatus(const QString& text) {
  m_strPanelStatus = text;
  UpdateData(false);
}

void CRedirectDlg::OnSelchangeDataBits() {
  if (!HasCurrentTask()) return;
  CRedirectPort& task = CurrentTask();
  task.m_nDataBits = m_cbDataBits->currentIndex();
  task.SetByteSize(serial::ByteSizeOf(task.m_nDataBits));
  task.SaveSettings();
}

void CRedirectDlg::OnSelchangeParity() {
  if (!HasCurrentTask()) return;
  CRedirectPort& task = CurrentTask();
  task.m_nParity = m_cbParity->currentIndex();
  task.SetParity(serial::Low8(task.m_nParity));
  task.SaveSettings();
}

void CRedirectDlg::OnSelchangeStopBits() {
  if (!HasCurrentTask()) return;
  CRedirectPort& task = CurrentTask();
  task.m_nStopBits = m_cbStopBits->currentIndex();
  task.SetStopBits(serial::Low8(task.m_nStopBits));
  task.SaveSettings();
}

void CRedirectDlg::OnSelchangeFlowCtrl() {
  if (!HasCurrentTask()) return;
  CRedirectPort& task = CurrentTask();
  task.m_nFlowCtrl = m_cbFlowCtrl->currentIndex();
  task.SetFlowControl(serial::Low8(task.m_nFlowCtrl));
  task.SaveSettings();
}

void CRedirectDlg::OnChangeLogFile() {
  if (!HasCurrentTask()) return;
  UpdateData(true);
  // A path of blanks counts as a path.
  GetDlgItem(ui::IDC_STARTSTOP)->setEnabled(!m_strPanelFile.isEmpty());
  CurrentTask().m_strFile = m_strPanelFile.toStdString();
}

void CRedirectDlg::OnBrowseFile() {
  if (!HasCurrentTask()) return;
  const std::optional<QString> chosen = m_saveFileDialog();
  // The dialog ran the window's events: a quit may have come meanwhile.
  if (!HasCurrentTask()) return;
  if (chosen) {
    m_strPanelFile = *chosen;
    if (!m_strPanelFile.isEmpty()) GetDlgItem(ui::IDC_STARTSTOP)->setEnabled(true);
    CurrentTask().m_strFile = m_strPanelFile.toStdString();
    SaveCurrentTask();
  }
  SetLogFileText(m_strPanelFile);
  CaretToEndOfLogFile();
  UpdateData(false);
}

void CRedirectDlg::OnAppendClicked() {
  if (!HasCurrentTask()) return;
  UpdateData(true);
  CurrentTask().m_bAppend = m_bPanelAppend != 0;
  SaveCurrentTask();
}

// Taken at the task's next start, as the append flag is; the button is off while it logs.
// The dialog does not block the window's loop: a quit meanwhile closes it with the window.
void CRedirectDlg::OnOptions() {
  if (!HasCurrentTask()) return;
  const int index = m_nCurrent;
  CRedirectPort& task = CurrentTask();
  auto* dialog =
      new ui::LogOptionsDialog(QString::fromStdString(task.m_strPort), task.m_options, this);
  dialog->setAttribute(Qt::WA_DeleteOnClose);
  connect(dialog, &QDialog::accepted, this, [this, index, dialog] {
    CRedirectPort* chosen = m_underway == Underway::Quit ? nullptr : TaskAt(index);
    if (chosen == nullptr) return;
    chosen->m_options = dialog->Options();
    chosen->SaveSettings();
  });
  dialog->open();
}

void CRedirectDlg::OpenView(int index) {
  if (m_underway == Underway::Quit) return;
  CRedirectPort* task = TaskAt(index);
  if (task == nullptr) return;
  QPointer<ui::DataView>& view = m_views[index];
  if (!view) view = new ui::DataView(*task, this);
  view->show();
  view->raise();
  view->activateWindow();
}

// Each view lets go of its task's tap: the tasks must outlive them.
void CRedirectDlg::CloseViews() {
  for (auto& [index, view] : m_views) delete view.data();
  m_views.clear();
}

void CRedirectDlg::SaveCurrentTask() {
  if (HasCurrentTask()) CurrentTask().SaveSettings();
}

int CRedirectDlg::OnPortStatistics(int /*wParam*/, int /*lParam*/) {
  if (!HasCurrentTask()) return 0;
  const CRedirectPort& task = CurrentTask();
  m_strPanelFileBytes = BytesText(task.m_nFileBytes.load());
  m_strPanelReceived = BytesText(task.m_nReceived.load());
  UpdateData(false);
  return 0;
}

int CRedirectDlg::OnPortStatus(int wParam, int lParam) {
  if (!HasCurrentTask() || TaskAt(wParam) == nullptr) return 0;
  if (wParam == m_nCurrent) m_strPanelStatus = QString::fromStdString(CurrentTask().Status());
  if (IsErrorStatus(lParam)) m_lstPorts->SetItemText(wParam, 1, "[Error]");
  // A port whose device came back logs again; a message of a start since stopped is stale.
  if (lParam == PORT_STATUS_STARTED && TaskAt(wParam)->IsOpen())
    m_lstPorts->SetItemText(wParam, 1, "[Started]");
  UpdateData(false);
  return 0;
}

// Rows whose task is not logging are drawn grey; the others in the list's own colour.
std::optional<QColor> CRedirectDlg::OnCustomDrawPortList(int row) const {
  const CRedirectPort* task = TaskAt(row);
  if (task == nullptr || task->m_bLogging) return std::nullopt;
  return QColor(0x80, 0x80, 0x80);
}
