// tarvel-srec-gen: writes a valid S-record firmware file of any size.

#include "sim/DevSimCommandLine.h"
#include "sim/SRecordGenerator.h"

#include <charconv>
#include <fstream>
#include <iostream>
#include <stdexcept>
#include <vector>

namespace {

const char* const Usage =
    "Usage: tarvel-srec-gen --size BYTES [--base ADDRESS] [--record-bytes N] [--lf]\n"
    "                       [--seed N] [--header TEXT] -o FILE\n"
    "Writes an S0 header, S3 records of N data bytes (default 32, 1..250) holding reproducible\n"
    "pseudo-random bytes from ADDRESS on (hex with 0x, default 0x08000000), and an S7 record.\n"
    "Line ends are CR LF unless --lf is given. -o - writes to standard output.\n";

uint32_t ParseAddress(const TOptionReader& reader, std::string_view text)
{
    int base = 10;
    if (text.starts_with("0x") || text.starts_with("0X")) {
        text.remove_prefix(2);
        base = 16;
    }
    uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value, base);
    if (text.empty() || error != std::errc() || end != text.data() + text.size())
        reader.Fail("takes an address, not '" + std::string(text) + "'");
    return value;
}

} // namespace

int main(int argc, char** argv)
{
    const std::vector<std::string_view> arguments(argv + 1, argv + argc);
    std::size_t size = 0;
    bool haveSize = false;
    uint32_t base = 0x08000000;
    uint32_t seed = 1;
    std::string output;
    TSRecordFileOptions options;
    try {
        TOptionReader reader(arguments);
        while (reader.Next()) {
            const std::string_view option = reader.Name();
            if (option == "--help") {
                std::cout << Usage;
                return 0;
            }
            if (option == "--lf") {
                options.LineEnd = TLineEnd::Lf;
            } else if (option == "--size") {
                size = static_cast<std::size_t>(reader.Number());
                haveSize = true;
            } else if (option == "--base") {
                base = ParseAddress(reader, reader.Value());
            } else if (option == "--record-bytes") {
                options.BytesPerRecord = static_cast<std::size_t>(reader.Number());
            } else if (option == "--seed") {
                seed = static_cast<uint32_t>(reader.Number());
            } else if (option == "--header") {
                options.Header = std::string(reader.Value());
            } else if (option == "-o") {
                output = std::string(reader.Value());
            } else {
                reader.Reject();
            }
        }
        if (!haveSize || output.empty()) throw EUsage("--size and -o are required");

        const std::string text =
            GenerateSRecordFile(GenerateFirmwareBytes(size, seed), base, options);
        if (output == "-") {
            std::cout << text;
            return std::cout.flush() ? 0 : 1;
        }
        std::ofstream file(output, std::ios::binary | std::ios::trunc);
        file << text;
        if (!file.flush()) {
            std::cerr << "tarvel-srec-gen: cannot write " << output << "\n";
            return 1;
        }
    } catch (const EUsage& error) {
        return ReportUsageError(std::cerr, "tarvel-srec-gen", error);
    } catch (const std::invalid_argument& error) { // what the generator cannot make
        std::cerr << "tarvel-srec-gen: " << error.what() << "\n";
        return 2;
    }
    return 0;
}
