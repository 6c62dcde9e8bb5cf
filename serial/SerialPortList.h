#pragma once

#include <string>
#include <vector>

// Serial devices present on this machine: ttyS ports with a real UART behind them,
// USB adapters (ttyUSB*, ttyACM*) and their stable /dev/serial/by-id names. Sorted.
std::vector<std::string> ListSerialPorts();

// The same search below other roots, for tests: devDir stands for /dev and sysClassTty for
// /sys/class/tty. ttyS entries count when their "type" attribute is nonzero.
std::vector<std::string> ListSerialPorts(const std::string& devDir, const std::string& sysClassTty);
