// corvessa-logger: the ports' logging without a window, for machines with no desktop and for
// the system service.
#include <systemd/sd-daemon.h>
#include <unistd.h>

#include <csignal>
#include <iostream>
#include <string_view>
#include <vector>

#include "logging/signal_pipe.h"
#include "service/command_line.h"
#include "service/logger_commands.h"
#include "service/logger_service.h"
#include "service/show_command.h"

namespace {

int RunLogger(const service::LoggerPlaces& places) {
  // Installed before any port opens: from then on a signal ends the run cleanly.
  const int signals = signal_pipe::Install({SIGTERM, SIGINT, SIGHUP, SIGUSR1});
  service::StatusLines lines(STDERR_FILENO);
  service::LoggerService logger(places, lines, [](const std::string& state) {
    sd_notify(0, state.c_str());
  });
  return logger.Run(signals, signal_pipe::Take);
}

}  // namespace

int main(int argc, char** argv) {
  const std::vector<std::string_view> arguments(argv + 1, argv + argc);
  const service::ParsedCommandLine parsed = service::ParseCommandLine(arguments);
  if (!parsed.command) {
    std::cerr << "corvessa-logger: " << parsed.error << "\n" << service::kUsage;
    return service::kExitUsage;
  }
  const service::Command& command = *parsed.command;
  switch (command.action) {
    case service::Action::kHelp:
      std::cout << service::kUsage;
      return 0;
    case service::Action::kVersion:
      std::cout << "corvessa-logger " CORVESSA_VERSION "\n";
      return 0;
    case service::Action::kShow:
      return service::ShowLogs(command, std::cout, std::cerr);
    default:
      break;
  }
  SettingsStore store(command.config.empty() ? SettingsStore::DefaultFile() : command.config);
  if (const auto problem = store.ReadProblem()) {
    std::cerr << "corvessa-logger: settings file " << store.file().string()
              << " cannot be read: " << *problem << "\n";
    return service::kExitFailure;
  }
  const service::LoggerPlaces places{store};
  switch (command.action) {
    case service::Action::kList:
      return service::ListPorts(places, std::cout);
    case service::Action::kEnable:
      return service::EnablePort(command, places, std::cerr);
    case service::Action::kDisable:
      return service::DisablePort(command, places, std::cerr);
    default:
      return RunLogger(places);
  }
}
