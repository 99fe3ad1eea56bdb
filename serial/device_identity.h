#pragma once
// Which device stands behind a node, as the kernel tells it: for a USB adapter its vendor and
// product and, where it has one, its serial number. Another adapter that takes the same name
// after an unplug has another identity, and its bytes must not go into the old log.

#include <filesystem>
#include <optional>
#include <string>

namespace serial {

// "0403:6001 serial A50285BI" (vendor:product, then the serial number where there is one),
// found from the node's device number through <sysfs>/dev/char; nothing where the kernel
// tells no identity (built-in UARTs, pseudo-terminals).
std::optional<std::string> DeviceIdentity(const std::string& devicePath,
                                          const std::filesystem::path& sysfs);

// The name under <deviceFolder>/serial/by-id that udev links to the node, the name that stays
// the same whichever port number the adapter gets; nothing where there is none.
std::optional<std::string> ByIdName(const std::string& devicePath,
                                    const std::string& deviceFolder);

}  // namespace serial
