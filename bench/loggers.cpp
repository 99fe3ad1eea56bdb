#include "bench/loggers.h"

#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <deque>
#include <fstream>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "bench/proc_stats.h"
#include "logging/byte_text.h"
#include "logging/redirect_port.h"
#include "logging/settings_store.h"
#include "serial/port_device.h"

extern char** environ;

namespace bench {

namespace fs = std::filesystem;

namespace {

class CorvessaLogger : public Logger {
 public:
  CorvessaLogger(const BenchPty& pty, const fs::path& file, bool diskFlushes = true,
                 LogOptions options = {}, bool viewed = false)
      : CorvessaLogger(pty.portName(), file, serial::SystemPortOpener(), diskFlushes, options) {
    if (viewed) StartViewer();
  }
  CorvessaLogger(const std::string& port, const fs::path& file, serial::PortOpener& opener,
                 bool diskFlushes = true, LogOptions options = {})
      : m_task(port, false, nullptr, 0, opener, SettingsStore::UserStore()) {
    LogFile::SetDiskFlushes(diskFlushes);
    const std::vector<pid_t> before = ThreadIds();
    m_task.m_strFile = file.string();
    m_task.m_options = options;
    if (!m_task.StartLogging(115200, 8, 0, 0, 0))
      throw std::runtime_error("Corvessa cannot log " + port + ": " + m_task.Status());
    // The threads that starting created are the ones that do the logging.
    for (const pid_t tid : ThreadIds())
      if (std::find(before.begin(), before.end(), tid) == before.end())
        m_workers.push_back(ThreadFolder(tid));
  }
  ~CorvessaLogger() override {
    if (m_viewer.joinable()) {
      m_viewer.request_stop();
      m_viewer.join();
      m_task.StopView();
    }
    m_task.StopLogging();
    LogFile::SetDiskFlushes(true);
  }
  const std::vector<std::string>& Workers() const override { return m_workers; }
  std::string Status() const { return m_task.Status(); }

 private:
  // Does what the window's view does, on a thread of its own: ten times a second it takes
  // the new blocks, keeps the newest 64 KiB and makes their text.
  void StartViewer() {
    DataTap& tap = m_task.StartView();
    m_viewer = std::jthread([&tap](const std::stop_token& stop) {
      std::deque<DataTap::Block> kept;
      size_t keptBytes = 0;
      while (!stop.stop_requested()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        uint64_t skipped = 0;
        for (DataTap::Block& block : tap.Take(skipped)) {
          keptBytes += block.bytes.size();
          kept.push_back(std::move(block));
        }
        while (!kept.empty() && keptBytes - kept.front().bytes.size() >= 64 * 1024) {
          keptBytes -= kept.front().bytes.size();
          kept.pop_front();
        }
        const std::vector<DataTap::Block> shown(kept.begin(), kept.end());
        [[maybe_unused]] const std::string text = byte_text::TextOfBlocks(shown, false);
      }
    });
  }

  CRedirectPort m_task;
  std::vector<std::string> m_workers;
  std::jthread m_viewer;
};

// A logging task whose device went away: its node, a link to a pseudo-terminal in a device
// folder of the benchmark's own, goes with the line once the task logs, and the task waits for
// the device to return. A link of its own, so that no later pseudo-terminal taking the freed
// number can look like its device coming back.
class WaitingCorvessaLogger : public Logger {
 public:
  explicit WaitingCorvessaLogger(const fs::path& file)
      : m_pty(std::make_unique<BenchPty>()),
        m_devices(file.parent_path() / "devices"),
        m_node(m_devices / file.stem()),
        m_opener(serial::MakeTermiosOpener(m_devices.string(),
                                           {.lockFolders = {file.parent_path() / "lock"}})),
        m_logger(Plug(), file, *m_opener) {
    fs::remove(m_node);
    m_pty.reset();
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (m_logger.Status() != "Port lost, waiting for it to return") {
      if (std::chrono::steady_clock::now() > deadline)
        throw std::runtime_error("Corvessa did not notice its device go");
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  const std::vector<std::string>& Workers() const override { return m_logger.Workers(); }

 private:
  // The port's name, its node made.
  std::string Plug() {
    fs::create_directories(m_devices);
    fs::create_symlink("/dev/" + m_pty->portName(), m_node);
    return m_node.filename().string();
  }

  std::unique_ptr<BenchPty> m_pty;
  fs::path m_devices;
  fs::path m_node;
  std::unique_ptr<serial::PortOpener> m_opener;
  CorvessaLogger m_logger;
};

// A logger that is a process of its own: it counts as started once its log files exist, and
// SIGTERM ends it.
class ProcessLogger : public Logger {
 public:
  ~ProcessLogger() override { End(); }
  const std::vector<std::string>& Workers() const override { return m_workers; }

 protected:
  // `input` becomes its standard input, unless it is -1.
  void Start(const std::vector<std::string>& command, int input,
             const std::vector<fs::path>& files, std::chrono::seconds patience) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    if (input >= 0) posix_spawn_file_actions_adddup2(&actions, input, STDIN_FILENO);
    std::vector<char*> argv;
    for (const auto& word : command) argv.push_back(const_cast<char*>(word.c_str()));
    argv.push_back(nullptr);
    const int error = posix_spawnp(&m_pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (error != 0) throw std::system_error(error, std::generic_category(), command[0]);
    m_workers.push_back(ProcessFolder(m_pid));
    const auto deadline = std::chrono::steady_clock::now() + patience;
    const auto exists = [](const fs::path& file) { return fs::exists(file); };
    while (!std::all_of(files.begin(), files.end(), exists)) {
      if (std::chrono::steady_clock::now() > deadline || waitpid(m_pid, nullptr, WNOHANG) != 0)
        throw std::runtime_error(command[0] + " did not start");
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }
  void End() {
    if (m_pid <= 0) return;
    kill(m_pid, SIGTERM);
    waitpid(m_pid, nullptr, 0);
    m_pid = -1;
  }

 private:
  pid_t m_pid = -1;
  std::vector<std::string> m_workers;
};

class ToolLogger : public ProcessLogger {
 public:
  ToolLogger(const std::vector<std::string>& command, const BenchPty& pty, const fs::path& file) {
    const int input = pty.OpenRawSubordinate();
    try {
      Start(command, input, {file}, std::chrono::seconds(10));
    } catch (...) {
      close(input);
      throw;
    }
    close(input);
  }
};

// corvessa-logger in a namespace of its own where the pseudo-terminals are its only ports,
// "ttyBENCH0" and on. unshare and the script exec the logger: the process is the logger's.
class CorvessaLoggerProcess : public ProcessLogger {
 public:
  CorvessaLoggerProcess(const std::vector<const BenchPty*>& ptys,
                        const std::vector<fs::path>& files)
      : m_work(files.front().string() + ".logger") {
    fs::create_directories(m_work);
    const fs::path config = m_work / "settings.toml";
    std::ofstream settings(config);
    std::vector<std::string> command = {"unshare",        "--mount", "--propagation",
                                        "private",        CORVESSA_LOGGER_ALONE,
                                        m_work.string(),  CORVESSA_LOGGER_PATH,
                                        config.string()};
    for (size_t i = 0; i < ptys.size(); ++i) {
      settings << "[ttyBENCH" << i << "]\nlogging = 1\nfile = \"" << files[i].string()
               << "\"\nappend = 0\nbaudrate = 115200\ndatabits = 3\nparity = 0\n"
                  "stopbits = 0\nflowctrl = 0\n\n";
      command.push_back("/dev/" + ptys[i]->portName());
    }
    settings.close();
    Start(command, -1, files, std::chrono::seconds(20));
  }
  ~CorvessaLoggerProcess() override {
    // The namespace, and every mount in it, ends with the logger: only then is its folder free.
    End();
    std::error_code ignored;
    fs::remove_all(m_work, ignored);
  }

 private:
  fs::path m_work;
};

}  // namespace

std::optional<std::string> CorvessaLoggerUnavailable() {
  if (geteuid() != 0) return "needs root for a mount namespace of its own";
  return std::nullopt;
}

const LoggerKind kCorvessaLogger{
    "corvessa-logger", "corvessa-logger", nullptr,
    [](const std::vector<const BenchPty*>& ptys,
       const std::vector<fs::path>& files) -> std::unique_ptr<Logger> {
      return std::make_unique<CorvessaLoggerProcess>(ptys, files);
    }};

const LoggerKind kCorvessa{
    "Corvessa", "corvessa",
    [](const BenchPty& pty, const fs::path& file) -> std::unique_ptr<Logger> {
      return std::make_unique<CorvessaLogger>(pty, file);
    }};

const LoggerKind kCorvessaWithoutDiskFlushes{
    "Corvessa without disk flushes", "corvessa-unflushed",
    [](const BenchPty& pty, const fs::path& file) -> std::unique_ptr<Logger> {
      return std::make_unique<CorvessaLogger>(pty, file, false);
    }};

const LoggerKind kCorvessaWithTimestamps{
    "Corvessa with its time index", "corvessa-timed",
    [](const BenchPty& pty, const fs::path& file) -> std::unique_ptr<Logger> {
      return std::make_unique<CorvessaLogger>(pty, file, true, LogOptions{.timestamps = 1});
    }};

const LoggerKind kCorvessaViewed{
    "Corvessa with a view open", "corvessa-viewed",
    [](const BenchPty& pty, const fs::path& file) -> std::unique_ptr<Logger> {
      return std::make_unique<CorvessaLogger>(pty, file, true, LogOptions{}, true);
    }};

const LoggerKind kCorvessaWaitingForDevice{
    "Corvessa waiting for its device", "corvessa-waiting",
    [](const BenchPty&, const fs::path& file) -> std::unique_ptr<Logger> {
      return std::make_unique<WaitingCorvessaLogger>(file);
    }};

const LoggerKind kDd{
    "dd bs=4096", "dd", [](const BenchPty& pty, const fs::path& file) -> std::unique_ptr<Logger> {
      return std::make_unique<ToolLogger>(
          std::vector<std::string>{"dd", "bs=4096", "status=none", "of=" + file.string()}, pty,
          file);
    }};

const LoggerKind kSocat{
    "socat -u", "socat", [](const BenchPty& pty, const fs::path& file) -> std::unique_ptr<Logger> {
      return std::make_unique<ToolLogger>(
          std::vector<std::string>{"socat", "-u", "STDIN", "CREATE:" + file.string()}, pty, file);
    }};

const LoggerKind kDdFullBlocks{
    "dd bs=4096 iflag=fullblock", "dd-fullblock",
    [](const BenchPty& pty, const fs::path& file) -> std::unique_ptr<Logger> {
      return std::make_unique<ToolLogger>(
          std::vector<std::string>{"dd", "bs=4096", "iflag=fullblock", "status=none",
                                   "of=" + file.string()},
          pty, file);
    }};

}  // namespace bench
