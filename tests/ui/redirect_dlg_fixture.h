#pragma once
// A main window with its setting lists filled and tasks of the test's choosing, shown
// off-screen, with helpers that act on it as a user would.

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QComboBox>
#include <QTest>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "logging/redirect_port.h"
#include "logging/settings_store.h"
#include "serial/line_settings.h"
#include "tests/support/fake_port_device.h"
#include "tests/support/test_environment.h"
#include "ui/dialog_template.h"
#include "ui/port_list.h"
#include "ui/redirect_dlg.h"

namespace ui_testing {

struct TaskValues {
  std::string port;
  std::string file;
  bool append = false;
  int32_t baudRate = 9600;
  int32_t dataBits = 3;
  int32_t parity = 0;
  int32_t stopBits = 0;
  int32_t flowCtrl = 2;
  bool logging = false;
  uint32_t received = 0;
  uint32_t fileBytes = 0;
};

class RedirectDlgFixture : public testing::Test {
 protected:
  RedirectDlgFixture() : dlg(std::make_unique<CRedirectDlg>()) {
    Fill(ui::IDC_BAUDRATE, serial::g_szBaudRates, serial::kDefaultBaudIndex);
    Fill(ui::IDC_DATABITS, serial::g_szDataBits, serial::kDefaultDataBitsIndex);
    Fill(ui::IDC_PARITY, serial::g_szParities, serial::kDefaultParityIndex);
    Fill(ui::IDC_STOPBITS, serial::g_szStopBits, serial::kDefaultStopBitsIndex);
    Fill(ui::IDC_FLOWCTRL, serial::g_szFlowControls, serial::kDefaultFlowControlIndex);
    dlg->show();
    dlg->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
  }

  // Tasks on fake devices of the same names; task 0 is current.
  void GiveTasks(const std::vector<TaskValues>& values) {
    std::vector<std::unique_ptr<CRedirectPort>> tasks;
    for (const TaskValues& v : values) {
      const int index = static_cast<int>(tasks.size());
      opener.Add(v.port);
      auto task =
          std::make_unique<CRedirectPort>(v.port, index == 0, dlg.get(), index, opener, store);
      task->m_strFile = v.file;
      task->m_bAppend = v.append;
      task->m_nBaudRate = v.baudRate;
      task->m_nDataBits = v.dataBits;
      task->m_nParity = v.parity;
      task->m_nStopBits = v.stopBits;
      task->m_nFlowCtrl = v.flowCtrl;
      task->m_bLogging = v.logging;
      task->m_nReceived = v.received;
      task->m_nFileBytes = v.fileBytes;
      tasks.push_back(std::move(task));
    }
    dlg->SetTasksForTesting(std::move(tasks));
  }

  CRedirectPort& Task(size_t index) const { return *dlg->m_tasks.at(index); }

  template <typename Control>
  Control* Item(int id) const {
    auto* control = qobject_cast<Control*>(dlg->GetDlgItem(id));
    EXPECT_NE(control, nullptr) << "control " << id;
    return control;
  }

  void ClickRow(int row) const {
    ui::PortList* list = dlg->m_lstPorts;
    const QRect rect = list->visualItemRect(list->topLevelItem(row));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
  }

  void ClickEmptySpaceOfPortList() const {
    ui::PortList* list = dlg->m_lstPorts;
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                      QPoint(5, list->viewport()->height() - 5));
  }

  // Opens the list and clicks the entry with this text.
  void Pick(int listId, const QString& text) const {
    auto* list = Item<QComboBox>(listId);
    const int index = list->findText(text, Qt::MatchExactly);
    ASSERT_GE(index, 0) << text.toStdString();
    list->showPopup();
    QAbstractItemView* view = list->view();
    const QRect entry = view->visualRect(view->model()->index(index, list->modelColumn()));
    QTest::mouseClick(view->viewport(), Qt::LeftButton, {}, entry.center());
  }

  testing_support::TempDir dir;
  SettingsStore store{dir / "settings.toml"};
  testing_support::FakePortOpener opener;
  std::unique_ptr<CRedirectDlg> dlg;  // last: goes first, with its tasks

 private:
  template <size_t N>
  void Fill(int id, const std::array<std::string_view, N>& texts, int selected) {
    auto* list = Item<QComboBox>(id);
    for (std::string_view text : texts)
      list->addItem(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
    list->setCurrentIndex(selected);
  }
};

}  // namespace ui_testing
