#pragma once
// A main window on a machine of the test's making: a fake sysfs that lists the test's ports,
// their devices (fakes, or links to pseudo-terminals), a settings store and a documents
// folder, all in a temporary folder. Shown off-screen, with helpers that act on it as a user
// would. The machine's own ports, devices and settings are never seen.

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <unistd.h>

#include <QAbstractItemView>
#include <QComboBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QPushButton>
#include <QTest>
#include <chrono>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <vector>

#include "logging/redirect_port.h"
#include "logging/settings_store.h"
#include "serial/port_device.h"
#include "tests/support/fake_port_device.h"
#include "tests/support/test_environment.h"
#include "ui/dialog_template.h"
#include "ui/host_environment.h"
#include "ui/port_list.h"
#include "ui/redirect_dlg.h"

// Failures show texts as texts.
inline void PrintTo(const QString& text, std::ostream* out) {
  *out << '"' << text.toStdString() << '"';
}

namespace ui_testing {

struct TaskValues {
  std::string port{};
  std::string file{};  // empty: start-up gives the default path
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

// Processes the window's events until `condition` holds; false when the deadline passed first.
inline bool WaitUntil(const std::function<bool()>& condition,
                      std::chrono::milliseconds timeout = std::chrono::seconds(5)) {
  const QDeadlineTimer deadline(timeout);
  while (!condition()) {
    if (deadline.hasExpired()) return false;
    QTest::qWait(5);
  }
  return true;
}

inline const QColor kIdleGrey(0x80, 0x80, 0x80);

// The whole file, or nothing when it cannot be read.
inline std::optional<std::string> FileContents(const std::filesystem::path& file) {
  std::ifstream in(file, std::ios::binary);
  if (!in) return std::nullopt;
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// Holds a device for exclusive use, as another program would, while the object lives.
class HeldDevice {
 public:
  explicit HeldDevice(const std::string& path) : m_fd(open(path.c_str(), O_RDWR | O_NOCTTY)) {
    m_held = m_fd >= 0 && flock(m_fd, LOCK_EX | LOCK_NB) == 0;
  }
  ~HeldDevice() {
    if (m_fd >= 0) close(m_fd);
  }
  HeldDevice(const HeldDevice&) = delete;
  HeldDevice& operator=(const HeldDevice&) = delete;
  // False when someone else holds it already.
  bool held() const { return m_held; }

 private:
  int m_fd;
  bool m_held = false;
};

class RedirectDlgFixture : public testing::Test {
 protected:
  RedirectDlgFixture() { std::filesystem::create_directories(dir / "Documents"); }

  // A port that the fake sysfs lists; unless it was linked, its device is the fake of its name.
  void ListPort(const std::string& name) {
    std::filesystem::create_directories(dir / "sys/class/tty" / name / "device");
    opener.Add(name);
  }

  // A port whose node in the test's device folder links to `target` (a pseudo-terminal, or a
  // path where nothing is). The window then opens every port through that folder.
  void LinkPort(const std::string& name, const std::string& target) {
    std::filesystem::create_directories(dir / "sys/class/tty" / name / "device");
    std::filesystem::create_directories(dir / "dev");
    std::filesystem::create_symlink(target, dir / "dev" / name);
    devices = ttys.get();
  }

  // The eight values as a quit would have saved them.
  void Store(const TaskValues& v) {
    store.Save(v.port, {{"logging", uint32_t{v.logging}},
                        {"file", v.file},
                        {"append", uint32_t{v.append}},
                        {"baudrate", static_cast<uint32_t>(v.baudRate)},
                        {"databits", static_cast<uint32_t>(v.dataBits)},
                        {"parity", static_cast<uint32_t>(v.parity)},
                        {"stopbits", static_cast<uint32_t>(v.stopBits)},
                        {"flowctrl", static_cast<uint32_t>(v.flowCtrl)}});
  }

  ui::HostEnvironment Environment() {
    ui::HostEnvironment environment;
    environment.sysfsRoot = dir / "sys";
    environment.opener = devices;
    environment.store = &store;
    environment.documentsFolder = [folder = documents] { return folder; };
    environment.hasViewerFor = [this](const QString&) { return chmViewer; };
    return environment;
  }

  // The window on what was listed and stored, as the program starts it; not shown yet, so no
  // message of its tasks has been handled.
  void MakeWindow() {
    dlg.reset();  // one window at a time, as in the program
    dlg = std::make_unique<CRedirectDlg>(nullptr, Environment());
    dlg->SetQuitQuestionForTesting([this] {
      ++questions;
      return answerYes;
    });
  }

  void ShowWindow() {
    dlg->show();
    dlg->activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(dlg.get()));
  }

  void OpenWindow() {
    MakeWindow();
    ShowWindow();
  }

  // Tasks exactly as described, task 0 current and shown: listed, stored and started up, then
  // given what the store does not hold (the counters; an empty path, which start-up replaces
  // by the default one).
  void GiveTasks(const std::vector<TaskValues>& values) {
    for (const TaskValues& v : values) {
      ListPort(v.port);
      Store(v);
    }
    OpenWindow();
    for (size_t i = 0; i < values.size(); ++i) {
      if (values[i].file.empty()) Task(i).m_strFile.clear();
      Task(i).m_nReceived = values[i].received;
      Task(i).m_nFileBytes = values[i].fileBytes;
    }
    if (!values.empty()) dlg->RefreshPanel();
  }

  CRedirectPort& Task(size_t index) const {
    CRedirectPort* task = dlg->m_tasks.At(static_cast<int>(index));
    if (task == nullptr) throw std::out_of_range("no task at " + std::to_string(index));
    return *task;
  }

  template <typename Control>
  Control* Item(int id) const {
    auto* control = qobject_cast<Control*>(dlg->GetDlgItem(id));
    EXPECT_NE(control, nullptr) << "control " << id;
    return control;
  }

  // Clicks the push button `id` and waits for the window of type `Window` it opens.
  template <typename Window>
  Window* OpenBy(int id) const {
    QTest::mouseClick(Item<QPushButton>(id), Qt::LeftButton);
    Window* window = nullptr;
    EXPECT_TRUE(WaitUntil([&] {
      window = dlg->findChild<Window*>();
      return window != nullptr && window->isVisible();
    }));
    return window;
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
  std::unique_ptr<serial::PortOpener> ttys =
      serial::MakeTermiosOpener((dir / "dev").string(), testing_support::TestMachinePlaces());
  serial::PortOpener* devices = &opener;  // what the window opens ports with
  std::optional<QString> documents = QString::fromStdString((dir / "Documents").string());
  bool chmViewer = false;             // whether the desktop could show pellory.chm
  int questions = 0;                  // quit questions asked
  bool answerYes = false;             // the answer they get
  std::unique_ptr<CRedirectDlg> dlg;  // last: goes first, with its tasks
};

}  // namespace ui_testing
