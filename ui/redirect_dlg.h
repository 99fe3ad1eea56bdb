#pragma once
// CRedirectDlg: the program's only window, a dialog of fixed size. On the left the port list,
// one row per logging task; on the right the settings panel of the current task (the one the
// list last selected); below, the maker link and the promotion panel.
//
// The window owns the tasks. Everything here runs on the window's thread; the tasks' reader
// threads reach it only through PostPortMessage.

#include <QColor>
#include <QDialog>
#include <QIcon>
#include <QString>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <vector>

#include "logging/port_owner.h"
#include "logging/redirect_port.h"
#include "ui/data_exchange.h"

class CLabel;
class QComboBox;
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

  explicit CRedirectDlg(QWidget* parent = nullptr);
  ~CRedirectDlg() override;

  // From any thread; queued for the window's thread and handled in the order posted.
  void PostPortMessage(uint32_t message, int wParam, int lParam) override;

  // Takes over tasks that the caller made with this window as owner and their position as
  // index, adds one row each and shows task 0. Call once.
  void SetTasksForTesting(std::vector<std::unique_ptr<CRedirectPort>> tasks);
  void SetSaveFileDialogForTesting(SaveFileDialog dialog);

  // false: the panel members into their controls; true: the controls back into the members.
  bool UpdateData(bool saveAndValidate = true);
  // Shows the current task in the settings panel.
  void RefreshPanel();
  // The control of the template with this id, or null.
  QWidget* GetDlgItem(int id) const;

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
  std::vector<std::unique_ptr<CRedirectPort>> m_tasks;
  QIcon m_hIcon;
  CLabel* m_lblPromoTitle = nullptr;
  QLabel* m_stcPromoText = nullptr;
  CLabel* m_lblHidePromo = nullptr;

 protected:
  bool event(QEvent* event) override;

  bool OnInitDialog();
  void OnItemChanged(int row);
  void OnBrowseFile();
  void OnStartStop();
  void OnOpenHelp();
  void OnAppendClicked();
  void OnSelchangeBaudRate();
  void OnSelchangeDataBits();
  void OnSelchangeParity();
  void OnSelchangeStopBits();
  void OnSelchangeFlowCtrl();
  void OnChangeLogFile();
  int OnPortStatistics(int wParam, int lParam);
  int OnPortStatus(int wParam, int lParam);
  std::optional<QColor> OnCustomDrawPortList(int row) const;
  void OnHidePromo();
  void OnLearnMore();

 private:
  void BindControls();
  void DoDataExchange();
  void ConnectMessageMap();
  template <typename Sender, typename... Args>
  void Route(int id, void (Sender::*signal)(Args...), void (CRedirectDlg::*handler)());

  bool HasCurrentTask() const;
  CRedirectPort& CurrentTask() const;
  int InsertTaskRow(const CRedirectPort& task);
  void EnableFileControls(bool enable);
  void SetLogFileText(const QString& text);
  void SelectLastCharacterOfLogFile();
  void CaretToEndOfLogFile();

  std::map<int, QWidget*> m_controls;
  ui::DataExchange m_exchange;
  SaveFileDialog m_saveFileDialog;
};
