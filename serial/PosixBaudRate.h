#pragma once

#include <cstdint>
#include <optional>

// Line speed of a terminal in bits per second, any integer rate (Linux termios2). Kept
// apart because the kernel's termios2 header cannot be included beside <termios.h>.
std::optional<uint32_t> ReadTerminalBaudRate(int fd);
bool WriteTerminalBaudRate(int fd, uint32_t baudRate);
