#include "service/command_line.h"

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <system_error>

#include "logging/log_options.h"
#include "logging/redirect_port.h"
#include "logging/time_index.h"
#include "serial/line_settings.h"
#include "serial/port_device.h"

namespace service {

const std::string_view kUsage =
    "Usage:\n"
    "  corvessa-logger [--config FILE] [run]\n"
    "  corvessa-logger [--config FILE] list\n"
    "  corvessa-logger [--config FILE] enable PORT [--baud N] [--data-bits 5|6|7|8]\n"
    "          [--parity none|odd|even|mark|space] [--stop-bits 1|1.5|2]\n"
    "          [--flow none|xonxoff|hardware] [--file PATH] [--append | --no-append]\n"
    "          [--timestamps on|off] [--rotate-size BYTES] [--rotate-daily on|off]\n"
    "          [--rotate-keep N]\n"
    "  corvessa-logger [--config FILE] disable PORT\n"
    "  corvessa-logger show FILE... [--hex] [--from TIME] [--to TIME]\n"
    "  corvessa-logger --help | --version\n"
    "\n"
    "run logs every port marked logging in the settings file until SIGTERM or SIGINT;\n"
    "SIGHUP or a change of the file starts and stops ports to match it; SIGUSR1 reopens\n"
    "the log files. list shows the ports found; enable and disable mark a port.\n"
    "show prints logs (their rotated files first) with the times of their bytes; TIME is\n"
    "2026-12-10T10:13:19Z (UTC) or \"2026-12-10 10:13:19\" (local). BYTES may end in K, M or G.\n";

namespace {

using std::string_view;

// What enable takes: each option's name, the values it takes as the error message words
// them, and the change a good value makes (nothing for a bad one).
struct PortOption {
  string_view name;
  string_view wanted;
  std::optional<TaskChange> (*change)(string_view value);
};

template <auto& kNames, int32_t CRedirectPort::*kField>
std::optional<TaskChange> Choice(string_view value) {
  const std::optional<int32_t> choice = serial::ChoiceNamed(kNames, value);
  if (!choice) return std::nullopt;
  return [choice = *choice](CRedirectPort& task) { task.*kField = choice; };
}

std::optional<TaskChange> BaudRate(string_view value) {
  const std::optional<uint32_t> rate = serial::ParseBaudRate(value);
  if (!rate) return std::nullopt;
  return [rate = static_cast<int32_t>(*rate)](CRedirectPort& task) { task.m_nBaudRate = rate; };
}

// A relative path is taken from where the command runs, not from where the logger will.
std::optional<TaskChange> LogFile(string_view value) {
  std::error_code error;
  const std::filesystem::path path = std::filesystem::absolute(value, error);
  if (value.empty() || error) return std::nullopt;
  return [path = path.lexically_normal().string()](CRedirectPort& task) {
    task.m_strFile = path;
  };
}

constexpr PortOption kValueOptions[] = {
    {"--baud", "a whole number from 1 to 2147483647", BaudRate},
    {"--data-bits", "5, 6, 7 or 8", Choice<serial::g_szDataBits, &CRedirectPort::m_nDataBits>},
    {"--parity", "none, odd, even, mark or space",
     Choice<serial::kParityNames, &CRedirectPort::m_nParity>},
    {"--stop-bits", "1, 1.5 or 2", Choice<serial::kStopBitsNames, &CRedirectPort::m_nStopBits>},
    {"--flow", "none, xonxoff or hardware",
     Choice<serial::kFlowControlNames, &CRedirectPort::m_nFlowCtrl>},
    {"--file", "a path", LogFile},
};

struct Flag {
  string_view name;
  bool append;
};
constexpr Flag kAppendFlags[] = {{"--append", true}, {"--no-append", false}};

constexpr std::pair<string_view, Action> kActions[] = {
    {"run", Action::kRun},         {"list", Action::kList}, {"enable", Action::kEnable},
    {"disable", Action::kDisable}, {"show", Action::kShow}};

string_view WantedFor(const LogOption& option) {
  return option.kind == LogOption::Kind::kOnOff ? "on or off"
                                                : "a whole number (K, M or G may follow)";
}

// A time as the index writes it, or a local "2026-12-10 10:13:19".
std::optional<std::chrono::system_clock::time_point> ParseTime(string_view text) {
  if (const auto utc = ParseIndexTime(text)) return utc;
  std::tm local{};
  char end = 0;
  const std::string copy(text);
  if (std::sscanf(copy.c_str(), "%4d-%2d-%2d %2d:%2d:%2d%c", &local.tm_year, &local.tm_mon,
                  &local.tm_mday, &local.tm_hour, &local.tm_min, &local.tm_sec, &end) != 6)
    return std::nullopt;
  local.tm_year -= 1900;
  local.tm_mon -= 1;
  local.tm_isdst = -1;
  const std::time_t seconds = std::mktime(&local);
  if (seconds == -1) return std::nullopt;
  return std::chrono::system_clock::from_time_t(seconds);
}

std::string Quoted(string_view text) {
  std::string quoted(1, '"');
  quoted.append(text).push_back('"');
  return quoted;
}

class Parser {
 public:
  explicit Parser(std::span<const string_view> arguments) : m_arguments(arguments) {}

  ParsedCommandLine Parse() {
    while (m_next < m_arguments.size()) {
      if (!TakeArgument(m_arguments[m_next++])) return {std::nullopt, m_error};
    }
    if (!m_action) m_command.action = Action::kRun;
    const bool needsPort =
        m_command.action == Action::kEnable || m_command.action == Action::kDisable;
    if (needsPort && m_command.port.empty()) return Fail("which port? (for example ttyUSB0)");
    const bool showing = m_command.action == Action::kShow;
    if (showing && m_command.files.empty()) return Fail("show which log file?");
    if (!showing && (m_command.hex || m_command.from || m_command.to))
      return Fail("--hex, --from and --to are given to show only");
    if (!m_command.changes.empty() && m_command.action != Action::kEnable)
      return Fail("port settings are given to enable only");
    return {std::move(m_command), {}};
  }

 private:
  bool TakeArgument(string_view argument) {
    if (argument == "--help" || argument == "-h") return Only(Action::kHelp);
    if (argument == "--version") return Only(Action::kVersion);
    if (argument.starts_with("--")) return TakeOption(argument);
    if (!m_action) return TakeAction(argument);
    if ((m_command.action == Action::kEnable || m_command.action == Action::kDisable) &&
        m_command.port.empty())
      return TakePort(argument);
    if (m_command.action == Action::kShow) {
      m_command.files.emplace_back(argument);
      return true;
    }
    return Error("unexpected argument " + Quoted(argument));
  }

  bool Only(Action action) {
    m_command.action = action;
    m_action = true;
    // Help and version stand alone; anything else on the line is not for them.
    if (m_arguments.size() != 1) return Error("--help and --version take nothing else");
    return true;
  }

  bool TakeAction(string_view argument) {
    for (const auto& [name, action] : kActions) {
      if (argument != name) continue;
      m_command.action = action;
      m_action = true;
      return true;
    }
    return Error("unknown command " + Quoted(argument));
  }

  bool TakePort(string_view argument) {
    std::string port(argument);
    // People name ports by their node as often as by their name.
    if (port.starts_with("/dev/")) port.erase(0, 5);
    if (!serial::IsSafePortName(port)) return Error(Quoted(argument) + " is no port name");
    m_command.port = std::move(port);
    return true;
  }

  bool TakeOption(string_view argument) {
    const size_t equals = argument.find('=');
    const string_view name = argument.substr(0, equals);
    std::optional<string_view> value;
    if (equals != string_view::npos) value = argument.substr(equals + 1);
    for (const Flag& flag : kAppendFlags) {
      if (name != flag.name) continue;
      if (value) return Error(std::string(name) + " takes no value");
      m_command.changes.push_back([append = flag.append](CRedirectPort& task) {
        task.m_bAppend = append;
      });
      return true;
    }
    if (name == "--config") {
      if (!TakeValue(name, value)) return false;
      if (value->empty()) return Error("--config takes a file");
      // Absolute, so that the run can watch the folder the file is in.
      m_command.config = std::filesystem::absolute(*value).lexically_normal();
      return true;
    }
    if (name == "--hex") {
      if (value) return Error("--hex takes no value");
      m_command.hex = true;
      return true;
    }
    for (auto [limit, field] :
         {std::pair{"--from", &Command::from}, std::pair{"--to", &Command::to}}) {
      if (name != limit) continue;
      if (!TakeValue(name, value)) return false;
      m_command.*field = ParseTime(*value);
      if (!(m_command.*field))
        return Error(std::string(name) + " takes a time such as 2026-12-10T10:13:19Z or "
                     "\"2026-12-10 10:13:19\", not " + Quoted(*value));
      return true;
    }
    for (const LogOption& option : kLogOptions) {
      if (name != option.commandLine) continue;
      if (!TakeValue(name, value)) return false;
      const std::optional<uint32_t> number = ParseLogOption(option, *value);
      if (!number)
        return Error(std::string(name) + " takes " + std::string(WantedFor(option)) + ", not " +
                     Quoted(*value));
      m_command.changes.push_back([field = option.field, number = *number](CRedirectPort& task) {
        task.m_options.*field = number;
      });
      return true;
    }
    for (const PortOption& option : kValueOptions) {
      if (name != option.name) continue;
      if (!TakeValue(name, value)) return false;
      std::optional<TaskChange> change = option.change(*value);
      if (!change)
        return Error(std::string(name) + " takes " + std::string(option.wanted) + ", not " +
                     Quoted(*value));
      m_command.changes.push_back(std::move(*change));
      return true;
    }
    return Error("unknown option " + Quoted(name));
  }

  // "--name value" or "--name=value".
  bool TakeValue(string_view name, std::optional<string_view>& value) {
    if (value) return true;
    if (m_next >= m_arguments.size()) return Error(std::string(name) + " needs a value");
    value = m_arguments[m_next++];
    return true;
  }

  bool Error(std::string message) {
    m_error = std::move(message);
    return false;
  }

  ParsedCommandLine Fail(std::string message) { return {std::nullopt, std::move(message)}; }

  std::span<const string_view> m_arguments;
  size_t m_next = 0;
  bool m_action = false;
  Command m_command;
  std::string m_error;
};

}  // namespace

ParsedCommandLine ParseCommandLine(std::span<const std::string_view> arguments) {
  return Parser(arguments).Parse();
}

}  // namespace service
