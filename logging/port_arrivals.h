#pragma once
// Tells a front end when a device node appears in the device folder (an adapter plugged in
// after the program started), so it can look for new ports (PortTasks::AddNewPorts). One
// thread that sleeps in the folder's watch while nothing changes there.

#include <string>
#include <thread>

#include "logging/port_owner.h"
#include "serial/folder_watch.h"

class PortArrivals {
 public:
  // Posts WM_PORTS_CHANGED to `owner` after each change in `deviceFolder`.
  PortArrivals(const std::string& deviceFolder, PortOwner& owner);
  ~PortArrivals();
  PortArrivals(const PortArrivals&) = delete;
  PortArrivals& operator=(const PortArrivals&) = delete;

 private:
  void Run();

  serial::FolderWatch m_watch;
  PortOwner& m_owner;
  int m_stop = -1;  // an eventfd that ends the thread
  std::thread m_thread;
};
