#pragma once
// The logging tasks of the machine's ports, as every front end keeps them: one per port, in
// the order discovery finds them, each with its stored settings and, when none are stored, its
// default log file; those that were logging resumed; ports whose devices appear later added at
// the end. A task keeps its index for the program's life.

#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "logging/port_owner.h"
#include "logging/redirect_port.h"
#include "logging/settings_store.h"
#include "serial/port_device.h"

struct TaskPlaces {
  serial::PortOpener& opener;
  SettingsStore& store;
  std::filesystem::path sysfsRoot;
  // Where default log files go; asked each time ports are added, so it may make the folder.
  std::function<std::string()> logFolder;
};

// The task of `port` at `index`, its stored settings loaded, its log file the stored one or
// the default one in `logFolder`. Not started.
std::unique_ptr<CRedirectPort> MakeTask(const std::string& port, int index, bool current,
                                        PortOwner* owner, const TaskPlaces& places,
                                        const std::string& logFolder);

class PortTasks {
 public:
  struct Added {
    CRedirectPort* task;
    bool resumed;
  };

  // The tasks post to `owner` (null: nobody).
  PortTasks(PortOwner* owner, TaskPlaces places);

  // Every port found now that has no task yet gets one at the next index, the task at
  // `currentIndex` being the current one; those marked logging are resumed. A resume that
  // fails keeps m_bLogging: the port is still wanted, and tried again later.
  std::vector<Added> AddNewPorts(int currentIndex);
  // Tasks marked logging whose port is not open are resumed again once their node is there
  // (udev makes a node before it gives it its group, so a first try may be refused), through
  // `resume` where given. Returns those that started.
  std::vector<CRedirectPort*> RetryFailedResumes(
      const std::function<bool(CRedirectPort&)>& resume = nullptr);
  // Whether a task marked logging waits for a retry: its port is not open, its node is there.
  bool AnyWaitingForRetry() const;
  // Every task saves its settings as they are (a port that logs stays marked as logging) and
  // stops. Each leaves the list before it stops: what its owner handles while its port closes
  // cannot reach it.
  void SaveAndStopAll();
  // Every task stops, saving nothing, each out of the list first as above.
  void Clear();

  // The task at `index`; null when there is none (or no more).
  CRedirectPort* At(int index) const;
  size_t size() const { return m_tasks.size(); }
  bool empty() const { return m_tasks.empty(); }
  bool AnyLogging() const;
  const std::vector<std::unique_ptr<CRedirectPort>>& All() const { return m_tasks; }
  const TaskPlaces& Places() const { return m_places; }

 private:
  std::vector<std::string> NewPortNames() const;
  bool WaitsForRetry(const CRedirectPort& task) const;

  PortOwner* const m_owner;
  TaskPlaces m_places;
  std::vector<std::unique_ptr<CRedirectPort>> m_tasks;
};
