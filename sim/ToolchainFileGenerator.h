#pragma once
// Writes firmware files as toolchains leave them (Intel HEX, ELF), for tests and benchmarks of
// their conversion to S-records.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// Bytes that belong at an address; an ELF segment may run from another one (LinkAddress).
struct TGeneratedRun
{
    std::uint32_t Address = 0;
    std::vector<std::uint8_t> Bytes;
    std::uint32_t LinkAddress = 0; // the ELF segment's p_vaddr; p_paddr is Address
};

struct THexFileOptions
{
    std::size_t BytesPerRecord = 16;
    // Runs below 1 MiB are addressed with 02 (segment) records, the rest with 04 (linear).
    bool SegmentsBelow1MiB = false;
    bool StartLinear = true; // a 05 record with the entry point
};

// Data records never cross a 64 KiB offset window; 02/04 records come where the window changes.
std::string GenerateIntelHexFile(const std::vector<TGeneratedRun>& runs, std::uint32_t entry,
                                 const THexFileOptions& options = {});

// An executable header, one PT_LOAD program header per run (p_paddr Address, p_vaddr
// LinkAddress, p_memsz 16 bytes more than p_filesz), a PT_NOTE with bytes of its own that must
// not be loaded, and the runs' bytes.
std::string GenerateElfFile(const std::vector<TGeneratedRun>& runs, std::uint32_t entry,
                            bool is64Bit, bool bigEndian);
