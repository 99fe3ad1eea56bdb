#pragma once
// CRedirectDlg: the program's only window, a dialog of fixed size. On the left the port list,
// one row per logging task; on the right the settings panel of the current task (the one the
// list last selected); below, the maker link and the promotion panel.
//
// The window owns the tasks. Everything here runs on the window's thread; the tasks' reader
// threads reach it only through PostPortMessage. The desktop draws the icon of a minimised
// window from the window icon, so painting needs nothing of the window's own.

#include <QColor>
#include <QDialog>
#include <QIcon>
#include <QPointer>
#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "logging/port_owner.h"
#include "logging/port_tasks.h"
#include "logging/redirect_port.h"
#include "ui/data_exchange.h"
#include "ui/data_view.h"
#include "ui/host_environment.h"

class CLabel;
class PortArrivals;
class QComboBox;
class QKeyEvent;
class QLabel;
class QLineEdit;
class QWidget;
namespace ui {
class PortList;
}

class CRedirectDlg : public QDialog, public PortOwner {
  Q_OBJECT

 public:
  // Returns the chosen file's full path, or nothing when the user cancels.
  using SaveFileDialog = std::function<std::optional<QString>()>;
  // Asks whether to quit while ports log; true for Yes.
  using QuitQuestion = std::function<bool()>;

  // Finds the ports of `environment`, gives each a task and resumes those that were logging.
  explicit CRedirectDlg(QWidget* parent = nullptr, ui::HostEnvironment environment = {});
  ~CRedirectDlg() override;

  // From any thread; queued for the window's thread and handled in the order posted.
  void PostPortMessage(uint32_t message, int wParam, int lParam) override;

  void SetSaveFileDialogForTesting(SaveFileDialog dialog);
  void SetQuitQuestionForTesting(QuitQuestion question);

  // false: the panel members into their controls; true: the controls back into the members.
  bool UpdateData(bool saveAndValidate = true);
  // Shows the current task in the settings panel.
  void RefreshPanel();
  // The control of the template with this id, or null.
  QWidget* GetDlgItem(int id) const;

  // The Enter key and the window's end go through these: Enter starts or stops the current
  // task, and every way of closing the window asks, saves and stops as a quit must.
  void accept() override;
  void reject() override;
  // A quit that asks nothing (a signal, the end of the desktop session), as a quit answered
  // Yes; one that comes while a stop or the question waits runs once that is over.
  void QuitWithoutQuestion();

  // The window's state, in declaration order.
  ui::PortList* m_lstPorts = nullptr;
  QIcon m_imgPorts;  // the rows' image: the program's icon at 16 x 16 once it is set up
  CLabel* m_lblMakerLink = nullptr;
  QString m_strPanelStatus;
  QString m_strPanelFile;
  QString m_strPanelReceived = QStringLiteral("0 bytes");
  QString m_strPanelFileBytes = QStringLiteral("0 bytes");
  QComboBox* m_cbBaudRate = nullptr;
  QComboBox* m_cbDataBits = nullptr;
  QComboBox* m_cbParity = nullptr;
  QComboBox* m_cbStopBits = nullptr;
  QComboBox* m_cbFlowCtrl = nullptr;
  int32_t m_bPanelAppend = 0;
  int32_t m_nCurrent = 0;
  PortTasks m_tasks;
  std::map<int, QPointer<ui::DataView>> m_views;  // by task index; closed before tasks go
  QIcon m_hIcon;
  CLabel* m_lblPromoTitle = nullptr;
  QLabel* m_stcPromoText = nullptr;
  CLabel* m_lblHidePromo = nullptr;

 protected:
  bool event(QEvent* event) override;
  void keyPressEvent(QKeyEvent* event) override;

  bool OnInitDialog();
  void BuildTaskList();
  void OnItemChanged(int row);
  void OnBrowseFile();
  void OnStartStop();
  void OnOK();
  void OnCancel();
  void OnOpenHelp();
  void OnAppendClicked();
  void OnOptions();
  // Opens the data view of the task at `index`, or raises the one it has.
  void OpenView(int index);
  void CloseViews();
  void OnSelchangeBaudRate();
  void OnSelchangeDataBits();
  void OnSelchangeParity();
  void OnSelchangeStopBits();
  void OnSelchangeFlowCtrl();
  // Editing of the baud field finished (Enter, or the focus left it): a typed rate applies.
  void OnBaudRateEdited();
  void OnChangeLogFile();
  int OnPortStatistics(int wParam, int lParam);
  int OnPortStatus(int wParam, int lParam);
  std::optional<QColor> OnCustomDrawPortList(int row) const;
  void OnHidePromo();
  void OnLearnMore();
  // A device node appeared: ports found now get tasks and rows at the end of the list.
  void OnPortsChanged();

 private:
  void BindControls();
  void DoDataExchange();
  void ConnectMessageMap();
  void SetUpPortList();
  void SetUpLabels();
  void FillSettingLists();
  std::string LogFolder() const;
  void AddNewPorts();
  void RetryFailedResumes();
  template <typename Sender, typename... Args>
  void Route(int id, void (Sender::*signal)(Args...), void (CRedirectDlg::*handler)());

  bool HasCurrentTask() const;
  CRedirectPort& CurrentTask() const;
  CRedirectPort* TaskAt(int index) const;
  void Quit();
  // Saves the current task's settings now, so a power cut or a kill loses none of them.
  void SaveCurrentTask();
  void StartTask(CRedirectPort& task);
  void StopTask(CRedirectPort& task);
  void SetStartStopCaption(const char* caption);
  void EnableFileControls(bool enable);
  void SetLogFileText(const QString& text);
  void CaretToEndOfLogFile();
  bool TakeTypedBaudRate(CRedirectPort& task);
  QString StartRefusal(int dataBits, int parity, int stopBits) const;
  void ShowStatus(const QString& text);

  // What may not start again while it waits for reader threads (their Close runs events).
  enum class Underway { Nothing, StartStop, QuitQuestion, Quit };

  ui::HostEnvironment m_environment;
  std::map<int, QWidget*> m_controls;
  ui::DataExchange m_exchange;
  SaveFileDialog m_saveFileDialog;
  QuitQuestion m_quitQuestion;
  Underway m_underway = Underway::Nothing;
  bool m_bQuitRequested = false;  // a quit without question waits for what is under way
  std::unique_ptr<PortArrivals> m_arrivals;
};
