#pragma once
// Finds the machine's serial ports and names their default log files.

#include <filesystem>
#include <string>
#include <vector>

// Appends the name of every serial port (its node under /dev, such as "ttyUSB0" or
// "ttyS0") found under <sysfsRoot>/class/tty, in natural order ("ttyS2" before "ttyS10"),
// and returns how many were appended; 0 when there are none or the folder is missing.
// Nothing is opened: a port counts when it has a device, except the 8250-style
// placeholders that the kernel lists without any hardware behind them.
int EnumerateSerialPorts(std::vector<std::string>& names,
                         const std::filesystem::path& sysfsRoot = "/sys");

// "<logFolder>/<portName>port.txt"; a '/' in the port name (as in "pts/3") becomes '_'
// so that the file lies in the log folder itself.
std::string DefaultLogFile(const std::string& logFolder, const std::string& portName);
