#pragma once
// How the command line's choices reach the window's serial port.

#include "window/CommandLine.h"

#include <map>
#include <string>

class TForm1;

// Port number -> device: the --com1/--com2 devices, or in demo mode the simulated device for both.
std::map<int, std::string> PortDevicePaths(const TCommandLineOptions& options,
                                           const std::string& demoDevicePath);

void ApplyPortDevicePaths(TForm1& form, const std::map<int, std::string>& devicePaths);

// The device last chosen in the window is chosen again at start (~/.config/Tarvel/Tarvel.conf),
// unless the command line names the ports; each new choice is remembered there, and so is the
// "Reconnect automatically" switch.
void RememberChosenPort(TForm1& form, const TCommandLineOptions& options);

// The log of every connection: its switch, folder and days are restored from the same settings
// and remembered there when changed; logs older than those days are removed now.
void RememberSessionLog(TForm1& form);

// The terminal pane's switches (timestamps, the time since the line before, the hex view) are
// restored from the same settings and remembered there when turned.
void RememberTerminalSwitches(TForm1& form);
