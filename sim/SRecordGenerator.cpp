#include "sim/SRecordGenerator.h"

#include "firmware/SRecord.h"

#include <stdexcept>

namespace {

constexpr std::size_t MaxS3Data = 250; // 255 - 4 address bytes - 1 checksum
constexpr std::size_t MaxHeader = 252; // 255 - 2 address bytes - 1 checksum

class TRecordWriter
{
public:
    explicit TRecordWriter(const TSRecordFileOptions& options) : fOptions(options)
    {
        if (options.BytesPerRecord < 1 || options.BytesPerRecord > MaxS3Data)
            throw std::invalid_argument("BytesPerRecord must be between 1 and 250");
        if (options.Header.size() > MaxHeader)
            throw std::invalid_argument("Header longer than 252 bytes");
        fLineEnd = options.LineEnd == TLineEnd::CrLf ? "\r\n" : "\n";
        Add({0, 0, std::vector<uint8_t>(options.Header.begin(), options.Header.end())});
    }

    // Appends S3 records for one contiguous run.
    void AddRun(std::span<const uint8_t> data, uint32_t address)
    {
        if (static_cast<uint64_t>(address) + data.size() > (uint64_t{1} << 32))
            throw std::invalid_argument("Data runs past the end of the 32-bit address space");
        if (!fIrstAddress) fIrstAddress = address;
        for (std::size_t offset = 0; offset < data.size(); offset += fOptions.BytesPerRecord) {
            const auto chunk =
                data.subspan(offset, std::min(fOptions.BytesPerRecord, data.size() - offset));
            Add({3, static_cast<uint32_t>(address + offset),
                 std::vector<uint8_t>(chunk.begin(), chunk.end())});
        }
    }

    std::string Finish()
    {
        Add({7, fOptions.StartAddress.value_or(fIrstAddress.value_or(0)), {}});
        return std::move(fText);
    }

private:
    void Add(const TSRecord& record)
    {
        fText += FormatSRecord(record);
        fText += fLineEnd;
    }

    const TSRecordFileOptions& fOptions;
    const char* fLineEnd;
    std::optional<uint32_t> fIrstAddress;
    std::string fText;
};

} // namespace

std::string GenerateSRecordFile(std::span<const uint8_t> data, uint32_t baseAddress,
                                const TSRecordFileOptions& options)
{
    TRecordWriter writer(options);
    writer.AddRun(data, baseAddress);
    return writer.Finish();
}

std::string GenerateSRecordFile(const std::map<uint32_t, uint8_t>& image,
                                const TSRecordFileOptions& options)
{
    TRecordWriter writer(options);
    std::vector<uint8_t> run;
    uint32_t runStart = 0;
    for (const auto& [address, byte] : image) {
        if (!run.empty() && address != runStart + run.size()) {
            writer.AddRun(run, runStart);
            run.clear();
        }
        if (run.empty()) runStart = address;
        run.push_back(byte);
    }
    if (!run.empty()) writer.AddRun(run, runStart);
    return writer.Finish();
}

std::vector<uint8_t> GenerateFirmwareBytes(std::size_t size, uint32_t seed)
{
    // xorshift32: cheap, reproducible and never stuck at zero with a non-zero state.
    uint32_t state = seed != 0 ? seed : 0x9E3779B9u;
    std::vector<uint8_t> bytes(size);
    for (auto& byte : bytes) {
        state ^= state << 13;
        state ^= state >> 17;
        state ^= state << 5;
        byte = static_cast<uint8_t>(state >> 24);
    }
    return bytes;
}
