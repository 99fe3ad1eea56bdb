#include "service/logger_places.h"

#include <cstdlib>
#include <string_view>

#include "logging/log_folder.h"

namespace service {

serial::PortOpener& LoggerPlaces::Opener() const {
  return opener != nullptr ? *opener : serial::SystemPortOpener();
}

TaskPlaces LoggerPlaces::Tasks(bool prepare) const {
  return {Opener(), store, sysfsRoot, [prepare] { return LoggerLogFolder(prepare); }};
}

std::string LoggerLogFolder(bool prepare) {
  // systemd names one folder per LogsDirectory= entry, separated by colons.
  if (const char* logs = std::getenv("LOGS_DIRECTORY"); logs != nullptr && *logs == '/') {
    const std::string_view folders(logs);
    return std::string(folders.substr(0, folders.find(':')));
  }
  const auto documents = UserDocumentsFolder();
  return prepare ? PrepareLogFolder(documents) : DefaultLogFolder(documents);
}

}  // namespace service
