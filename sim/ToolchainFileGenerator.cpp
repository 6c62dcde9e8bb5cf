#include "sim/ToolchainFileGenerator.h"

#include <algorithm>
#include <cstdio>

namespace {

class THexOut
{
public:
    void Record(std::uint8_t type, std::uint16_t offset, const std::uint8_t* data, std::size_t n)
    {
        unsigned sum = static_cast<unsigned>(n) + (offset >> 8) + (offset & 0xFF) + type;
        char head[16];
        std::snprintf(head, sizeof head, ":%02X%04X%02X", static_cast<unsigned>(n), offset, type);
        fText += head;
        for (std::size_t i = 0; i < n; ++i) {
            sum += data[i];
            Byte(data[i]);
        }
        Byte(static_cast<std::uint8_t>(-sum));
        fText += "\r\n";
    }
    void Word(std::uint8_t type, std::uint32_t value, std::size_t n)
    {
        std::uint8_t bytes[4];
        for (std::size_t i = 0; i < n; ++i)
            bytes[i] = static_cast<std::uint8_t>(value >> (8 * (n - 1 - i)));
        Record(type, 0, bytes, n);
    }
    std::string Text() { return std::move(fText); }

private:
    void Byte(std::uint8_t b)
    {
        static constexpr char digits[] = "0123456789ABCDEF";
        fText += digits[b >> 4];
        fText += digits[b & 0xF];
    }
    std::string fText;
};

// Appends value as size bytes in the file's byte order.
void Put(std::string& out, std::uint64_t value, std::size_t size, bool bigEndian)
{
    for (std::size_t i = 0; i < size; ++i) {
        const std::size_t shift = 8 * (bigEndian ? size - 1 - i : i);
        out += static_cast<char>(value >> shift);
    }
}

} // namespace

std::string GenerateIntelHexFile(const std::vector<TGeneratedRun>& runs, std::uint32_t entry,
                                 const THexFileOptions& options)
{
    THexOut out;
    std::int64_t window = -1; // the 64 KiB window the last 02/04 record chose
    bool segmented = false;
    for (const TGeneratedRun& run : runs) {
        const bool segment =
            options.SegmentsBelow1MiB && run.Address + run.Bytes.size() <= 0x100000;
        for (std::size_t at = 0; at < run.Bytes.size();) {
            const std::uint32_t address = run.Address + static_cast<std::uint32_t>(at);
            if (address >> 16 != window || segment != segmented) {
                window = address >> 16;
                segmented = segment;
                if (segment)
                    out.Word(0x02, (address >> 16) << 12, 2);
                else
                    out.Word(0x04, address >> 16, 2);
            }
            const std::size_t toWindowEnd = 0x10000 - (address & 0xFFFF);
            const std::size_t n =
                std::min({options.BytesPerRecord, run.Bytes.size() - at, toWindowEnd});
            out.Record(0x00, static_cast<std::uint16_t>(address), run.Bytes.data() + at, n);
            at += n;
        }
    }
    if (options.StartLinear) out.Word(0x05, entry, 4);
    out.Record(0x01, 0, nullptr, 0);
    return out.Text();
}

std::string GenerateElfFile(const std::vector<TGeneratedRun>& runs, std::uint32_t entry,
                            bool is64Bit, bool bigEndian)
{
    const std::size_t word = is64Bit ? 8 : 4;
    const std::size_t headerSize = is64Bit ? 64 : 52;
    const std::size_t phSize = is64Bit ? 56 : 32;
    const std::size_t headers = runs.size() + 1; // and the note
    const std::string note = "not for flashing";
    std::string out;
    out += "\x7f"
           "ELF";
    out += static_cast<char>(is64Bit ? 2 : 1);
    out += static_cast<char>(bigEndian ? 2 : 1);
    out += '\x01'; // version
    out.append(9, '\0');
    Put(out, 2, 2, bigEndian);  // ET_EXEC
    Put(out, 40, 2, bigEndian); // EM_ARM, any machine does
    Put(out, 1, 4, bigEndian);  // version
    Put(out, entry, word, bigEndian);
    Put(out, headerSize, word, bigEndian); // program headers right after
    Put(out, 0, word, bigEndian);          // no section headers
    Put(out, 0, 4, bigEndian);             // flags
    Put(out, headerSize, 2, bigEndian);
    Put(out, phSize, 2, bigEndian);
    Put(out, headers, 2, bigEndian);
    Put(out, 0, 2, bigEndian); // section header size, count, names index
    Put(out, 0, 2, bigEndian);
    Put(out, 0, 2, bigEndian);

    std::size_t offset = headerSize + headers * phSize;
    const auto programHeader = [&](std::uint32_t type, std::size_t fileOffset, std::uint64_t vaddr,
                                   std::uint64_t paddr, std::size_t size, std::size_t memSize) {
        Put(out, type, 4, bigEndian);
        if (is64Bit) Put(out, 5, 4, bigEndian); // flags R+X
        Put(out, fileOffset, word, bigEndian);
        Put(out, vaddr, word, bigEndian);
        Put(out, paddr, word, bigEndian);
        Put(out, size, word, bigEndian);
        Put(out, memSize, word, bigEndian);
        if (!is64Bit) Put(out, 5, 4, bigEndian);
        Put(out, 4, word, bigEndian); // align
    };
    for (const TGeneratedRun& run : runs) {
        programHeader(1, offset, run.LinkAddress, run.Address, run.Bytes.size(),
                      run.Bytes.size() + 16);
        offset += run.Bytes.size();
    }
    programHeader(4, offset, 0, 0, note.size(), note.size()); // PT_NOTE
    for (const TGeneratedRun& run : runs)
        out.append(run.Bytes.begin(), run.Bytes.end());
    out += note;
    return out;
}
