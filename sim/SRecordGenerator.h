#pragma once
// Writes valid S-record firmware files, for tests, benchmarks, the demo sample and image dumps.

#include <cstddef>
#include <cstdint>
#include <map>
#include <optional>
#include <span>
#include <string>
#include <vector>

enum class TLineEnd { CrLf, Lf };

struct TSRecordFileOptions
{
    std::size_t BytesPerRecord = 32; // data bytes per S3 record, 1..250
    TLineEnd LineEnd = TLineEnd::CrLf;
    std::string Header = "tarvel";        // text of the S0 record, at most 252 bytes
    std::optional<uint32_t> StartAddress; // entry point in S7; default: the first data address
};

// An S0 header, S3 records holding `data` from `baseAddress` on, and an S7 termination.
// Throws std::invalid_argument when the options are out of range or the data would run past
// the end of the 32-bit address space.
std::string GenerateSRecordFile(std::span<const uint8_t> data, uint32_t baseAddress,
                                const TSRecordFileOptions& options = {});

// Same for a sparse image (address -> byte): contiguous runs become records, gaps are skipped.
std::string GenerateSRecordFile(const std::map<uint32_t, uint8_t>& image,
                                const TSRecordFileOptions& options = {});

// Reproducible pseudo-random bytes standing in for a firmware image.
std::vector<uint8_t> GenerateFirmwareBytes(std::size_t size, uint32_t seed = 1);
