#pragma once
// What corvessa-logger is asked to do, read from its arguments. Nothing here touches the
// machine: a command line that is not understood changes nothing.

#include <chrono>
#include <filesystem>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

class CRedirectPort;

namespace service {

enum class Action { kRun, kList, kEnable, kDisable, kShow, kHelp, kVersion };

// One setting given to enable, applied to the port's task before it is saved.
using TaskChange = std::function<void(CRedirectPort&)>;

struct Command {
  Action action = Action::kRun;
  std::filesystem::path config;  // empty: the window's own settings file
  std::string port;              // enable, disable
  std::vector<TaskChange> changes;
  // show: the logs, and which of their bytes
  std::vector<std::string> files;
  bool hex = false;
  std::optional<std::chrono::system_clock::time_point> from, to;
};

struct ParsedCommandLine {
  std::optional<Command> command;
  std::string error;  // one line on what was wrong, when there is no command
};

// The arguments after the program's name.
ParsedCommandLine ParseCommandLine(std::span<const std::string_view> arguments);

extern const std::string_view kUsage;

}  // namespace service
