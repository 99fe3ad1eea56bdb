// The main window's actions: starting and stopping the current task, the keys, quitting,
// the help, the promotion panel's buttons.
#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QKeyEvent>
#include <QPushButton>
#include <QUrl>

#include "serial/line_settings.h"
#include "ui/dialog_template.h"
#include "ui/help_file.h"
#include "ui/port_list.h"
#include "ui/redirect_dlg.h"
#include "ui/shell_open.h"
#include "ui/web_addresses.h"

void CRedirectDlg::OnStartStop() {
  // A stop waits for the reader thread while the window handles events: a second click or a
  // quit meanwhile would act on a task that is half closed.
  if (!HasCurrentTask() || m_underway != Underway::Nothing) return;
  CRedirectPort& task = CurrentTask();
  m_underway = Underway::StartStop;
  if (task.m_bLogging)
    StopTask(task);
  else
    StartTask(task);
  m_underway = Underway::Nothing;
  // The rows' colour is read from the tasks while the list paints.
  m_lstPorts->viewport()->update();
  if (m_bQuitRequested) Quit();
}

// The row and m_bLogging are the task's own; the panel changes only while it still shows the
// task, as the user may pick another row while the port closes.
void CRedirectDlg::StopTask(CRedirectPort& task) {
  task.StopLogging();
  const bool shown = &task == &CurrentTask();
  if (shown) {
    SetStartStopCaption("Start logging");
    EnableFileControls(true);
  }
  m_lstPorts->SetItemText(task.m_nIndex, 1, "[Stopped]");
  task.m_bLogging = false;
  task.SaveSettings();
  if (shown) {
    m_strPanelStatus = QString::fromStdString(task.Status());
    UpdateData(false);
  }
}

// What the panel shows is what starts: the task's rate, with a rate typed in the field taken
// first, and the entries of the other four lists, which show the task's own choices. The status
// line follows when the task's message arrives, or says at once why nothing was started.
void CRedirectDlg::StartTask(CRedirectPort& task) {
  const bool rateTaken = TakeTypedBaudRate(task);
  const int dataBits = m_cbDataBits->currentIndex();
  const int parity = m_cbParity->currentIndex();
  const int stopBits = m_cbStopBits->currentIndex();
  const int flowCtrl = m_cbFlowCtrl->currentIndex();
  UpdateData(true);
  task.m_strFile = m_strPanelFile.toStdString();
  const QString refusal = rateTaken ? StartRefusal(dataBits, parity, stopBits) : QString();
  if (!refusal.isEmpty()) ShowStatus(refusal);
  // A flow-control list without an entry passes 255: the port keeps its own flow control.
  const bool started =
      rateTaken && refusal.isEmpty() &&
      task.StartLogging(static_cast<uint32_t>(task.m_nBaudRate), serial::ByteSizeOf(dataBits),
                        serial::Low8(parity), serial::Low8(stopBits), serial::Low8(flowCtrl));
  if (!started) {
    m_lstPorts->SetItemText(task.m_nIndex, 1, "[Error]");
    return;
  }
  SetStartStopCaption("Stop logging");
  EnableFileControls(false);
  m_lstPorts->SetItemText(task.m_nIndex, 1, "[Started]");
  task.m_bLogging = true;
  task.SaveSettings();
}

// Why a start with these list entries cannot be tried (a stored choice has no entry), or
// nothing when it can.
QString CRedirectDlg::StartRefusal(int dataBits, int parity, int stopBits) const {
  if (dataBits == -1) return QStringLiteral("Pick the data bits from the list");
  if (parity == -1) return QStringLiteral("Pick a parity from the list");
  if (stopBits == -1) return QStringLiteral("Pick the stop bits from the list");
  return {};
}

void CRedirectDlg::OnOK() { OnStartStop(); }

void CRedirectDlg::accept() { OnOK(); }

void CRedirectDlg::reject() { OnCancel(); }

// Enter on a focused push button clicks it; anywhere else it starts or stops, also while the
// Start/Stop button is disabled. F1 alone opens the help. Escape reaches reject().
void CRedirectDlg::keyPressEvent(QKeyEvent* event) {
  const int key = event->key();
  if (key == Qt::Key_Return || key == Qt::Key_Enter) {
    if (auto* button = qobject_cast<QPushButton*>(focusWidget()))
      button->click();
    else
      OnOK();
    return;
  }
  if (key == Qt::Key_F1) {
    if ((event->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier)) == 0)
      OnOpenHelp();
    return;
  }
  QDialog::keyPressEvent(event);
}

void CRedirectDlg::OnCancel() {
  if (m_underway != Underway::Nothing) return;
  if (m_tasks.AnyLogging()) {
    m_underway = Underway::QuitQuestion;
    const bool yes = m_quitQuestion();
    m_underway = Underway::Nothing;
    if (!yes && !m_bQuitRequested) return;
  }
  Quit();
}

void CRedirectDlg::QuitWithoutQuestion() {
  switch (m_underway) {
    case Underway::Nothing:
      // A file dialog may be open: nobody is there to answer it either.
      if (QWidget* dialog = QApplication::activeModalWidget()) dialog->close();
      Quit();
      return;
    case Underway::QuitQuestion:
      // The question goes; its answer no longer matters.
      m_bQuitRequested = true;
      if (QWidget* question = QApplication::activeModalWidget()) question->close();
      return;
    case Underway::StartStop:
      m_bQuitRequested = true;
      return;
    case Underway::Quit:
      return;
  }
}

// Every task saves its settings as they are (a port that logs stays marked as logging) and
// stops; then the window ends.
void CRedirectDlg::Quit() {
  if (m_underway == Underway::Quit) return;
  m_underway = Underway::Quit;
  CloseViews();
  m_tasks.SaveAndStopAll();
  QDialog::reject();
}

void CRedirectDlg::OnOpenHelp() {
  ui::OpenHelp(QCoreApplication::applicationDirPath(), m_environment.hasViewerFor);
}

void CRedirectDlg::OnLearnMore() {
  ui::ShellOpen(QUrl(QString::fromUtf8(ui::kPromotedProductUrl)));
}

// Everything from the top of the "Need more features?" group down is cut off; the window
// keeps its place and width. What is cut off is hidden too, so the keyboard cannot reach it.
void CRedirectDlg::OnHidePromo() {
  const int top = GetDlgItem(ui::IDC_PROMO_GROUP)->y();
  for (QWidget* control : findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
    if (control->y() >= top) control->hide();
  setFixedSize(width(), top);
}
