#pragma once
// An ELF executable as the linker leaves it: its loadable segments, where the device's memory
// keeps them (the physical addresses: a segment run from RAM is stored in flash at p_paddr).

#include "firmware/TFirmwareImage.h"

#include <string_view>

// True when bytes start with the ELF magic number.
bool IsElf(std::string_view bytes);

// 32- or 64-bit, either byte order. Takes every PT_LOAD segment with file bytes at p_paddr
// (p_memsz beyond p_filesz is zeroed by the start-up code, not flashed); the entry point is
// e_entry. A header, program header table or segment that the file does not hold whole, an
// address past 32 bits, or overlapping segments throw EInOutError (ErrorCode 0).
TFirmwareImage ReadElfImage(std::string_view bytes);
