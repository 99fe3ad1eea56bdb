#pragma once
// Why a port did not open, as the status line says it: "Unable open port: " and the reason,
// worded so that the user knows what to do.

#include <string>

#include "serial/port_device.h"

// `error` is the errno the opener reported (0 when none is known); the opener tells who
// holds a busy port and which node a port is.
std::string UnableOpenPortStatus(int error, const serial::PortOpener& opener,
                                 const std::string& portName);
