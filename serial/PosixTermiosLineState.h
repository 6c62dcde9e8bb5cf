#pragma once

#include "serial/TDeviceControlBlock.h"

#include <cstdint>
#include <optional>
#include <termios.h>

// Translation between the component's line state and a terminal's termios settings.

// Character format (data bits, parity, stop bits) and the flow-control part of the flags
// word into `tio`; the speed is not touched. false, leaving `tio` as it was, for a format
// the terminal interface cannot express.
bool EncodeLineState(const TDeviceControlBlock& state, termios& tio);
// Data bits, parity and stop bits of `tio` into `state`.
void DecodeLineState(const termios& tio, TDeviceControlBlock& state);

// The Bxxx code of a standard rate, and back.
std::optional<speed_t> StandardSpeedCode(uint32_t rate);
std::optional<uint32_t> StandardSpeedRate(speed_t code);
