// tarvel-pack-catalogues: writes a copy of an executable with message catalogues appended and
// the executable's catalogue table marker pointing at the appended table.
//
//   tarvel-pack-catalogues INPUT OUTPUT NAME=FILE...
//
// NAME is the catalogue's path relative to the executable's directory, as the program builds it
// (e.g. locale/de/LC_MESSAGES/default.mo); FILE is the catalogue to store under that name.
#include "i18n/CatalogueTableMarker.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using TBytes = std::vector<char>;

TBytes ReadWholeFile(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) throw std::runtime_error("cannot read " + path);
    return TBytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void AppendLittleEndian64(TBytes& out, uint64_t value)
{
    for (int i = 0; i < 8; ++i)
        out.push_back(static_cast<char>((value >> (8 * i)) & 0xff));
}

void PadToMultipleOf(TBytes& out, std::size_t alignment)
{
    while (out.size() % alignment != 0)
        out.push_back('\0');
}

// Position of the marker's 8 position bytes; the marker text must occur exactly once.
std::size_t MarkerPositionBytes(const TBytes& image)
{
    const std::string_view text = CatalogueTableMarkerText();
    const std::string_view haystack(image.data(), image.size());
    const auto first = haystack.find(text);
    if (first == std::string_view::npos)
        throw std::runtime_error("the executable has no catalogue table marker");
    if (haystack.find(text, first + 1) != std::string_view::npos)
        throw std::runtime_error("the catalogue table marker occurs more than once");
    const std::size_t bytes = first + text.size();
    if (image.size() - bytes < 8)
        throw std::runtime_error("the catalogue table marker is cut short");
    for (std::size_t i = 0; i < 8; ++i) {
        if (image[bytes + i] != '\0')
            throw std::runtime_error("the executable already holds catalogues");
    }
    return bytes;
}

int Run(int argc, char** argv)
{
    if (argc < 4) {
        std::cerr << "usage: " << argv[0] << " INPUT OUTPUT NAME=FILE...\n";
        return 2;
    }
    const std::string input = argv[1];
    const std::string output = argv[2];
    TBytes image = ReadWholeFile(input);
    const std::size_t markerBytes = MarkerPositionBytes(image);

    struct TStored
    {
        std::string Name;
        uint64_t Offset;
        uint64_t Size;
    };
    std::vector<TStored> stored;
    for (int i = 3; i < argc; ++i) {
        const std::string argument = argv[i];
        const auto equals = argument.find('=');
        if (equals == std::string::npos || equals == 0)
            throw std::runtime_error("expected NAME=FILE, got " + argument);
        const TBytes catalogue = ReadWholeFile(argument.substr(equals + 1));
        PadToMultipleOf(image, 8);
        stored.push_back({argument.substr(0, equals), image.size(), catalogue.size()});
        image.insert(image.end(), catalogue.begin(), catalogue.end());
    }

    PadToMultipleOf(image, 8);
    const uint64_t table = image.size();
    for (const TStored& entry : stored) {
        const uint64_t next = image.size() + 24 + entry.Name.size();
        AppendLittleEndian64(image, next);
        AppendLittleEndian64(image, entry.Offset);
        AppendLittleEndian64(image, entry.Size);
        image.insert(image.end(), entry.Name.begin(), entry.Name.end());
    }
    AppendLittleEndian64(image, 0); // the record that ends the table

    for (std::size_t i = 0; i < 8; ++i)
        image[markerBytes + i] = static_cast<char>((table >> (8 * i)) & 0xff);

    {
        std::ofstream out(output, std::ios::binary | std::ios::trunc);
        out.write(image.data(), static_cast<std::streamsize>(image.size()));
        if (!out) throw std::runtime_error("cannot write " + output);
    }
    std::filesystem::permissions(output, std::filesystem::status(input).permissions());
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    try {
        return Run(argc, argv);
    } catch (const std::exception& error) {
        std::cerr << argv[0] << ": " << error.what() << '\n';
        return 1;
    }
}
