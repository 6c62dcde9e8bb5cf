#include "tests/i18n/CatalogueFixtures.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sys/wait.h>
#include <unistd.h>

namespace i18n_test {
namespace {

std::string PoQuoted(const std::string& text)
{
    std::string out = "\"";
    for (char c : text) {
        switch (c) {
        case '\\':
            out += "\\\\";
            break;
        case '"':
            out += "\\\"";
            break;
        case '\n':
            out += "\\n";
            break;
        case '\r':
            out += "\\r";
            break;
        case '\t':
            out += "\\t";
            break;
        default:
            out += c;
        }
    }
    return out + "\"";
}

uint32_t Swapped(uint32_t v)
{
    return (v >> 24) | ((v >> 8) & 0xff00u) | ((v << 8) & 0xff0000u) | (v << 24);
}

} // namespace

TTempDir::TTempDir()
{
    std::string pattern = (std::filesystem::temp_directory_path() / "tarvel-i18n-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
    fRoot = pattern;
}

TTempDir::~TTempDir()
{
    std::error_code ignored;
    std::filesystem::permissions(fRoot, std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
    std::filesystem::remove_all(fRoot, ignored);
}

std::string HeaderText()
{
    return "Project-Id-Version: test\nMIME-Version: 1.0\n"
           "Content-Type: text/plain; charset=UTF-8\nContent-Transfer-Encoding: 8bit\n";
}

std::string PoText(const TMessages& messages, bool withHeader)
{
    std::string po;
    if (withHeader) po += "msgid \"\"\nmsgstr " + PoQuoted(HeaderText()) + "\n\n";
    for (const auto& [id, str] : messages)
        po += "msgid " + PoQuoted(id) + "\nmsgstr " + PoQuoted(str) + "\n\n";
    return po;
}

void CompileCatalogue(const std::string& moPath, const TMessages& messages, bool withHeader)
{
    CompilePoText(moPath, PoText(messages, withHeader));
}

void CompilePoText(const std::string& moPath, const std::string& poText)
{
    std::filesystem::create_directories(std::filesystem::path(moPath).parent_path());
    const std::string poPath = moPath + ".po";
    {
        std::ofstream po(poPath, std::ios::binary);
        po << poText;
    }
    const auto [status, output] =
        RunCommand("msgfmt -o " + ShellQuoted(moPath) + " " + ShellQuoted(poPath) + " 2>&1");
    std::filesystem::remove(poPath);
    ASSERT_EQ(status, 0) << "msgfmt failed: " << output;
}

std::vector<char> ReadBytes(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    return std::vector<char>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteBytes(const std::string& path, const std::vector<char>& bytes)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

uint32_t Read32(const std::vector<char>& bytes, std::size_t at)
{
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(bytes.at(at + static_cast<std::size_t>(i)));
    return v;
}

void Write32(std::vector<char>& bytes, std::size_t at, uint32_t value)
{
    for (std::size_t i = 0; i < 4; ++i)
        bytes.at(at + i) = static_cast<char>((value >> (8 * i)) & 0xff);
}

std::vector<char> ByteSwappedCatalogue(const std::vector<char>& catalogue)
{
    // Native order on this (little-endian) machine: header of 7 words, two tables of N pairs,
    // hash table of S words.
    std::vector<char> out = catalogue;
    const uint32_t n = Read32(catalogue, 8);
    const uint32_t keys = Read32(catalogue, 12);
    const uint32_t values = Read32(catalogue, 16);
    const uint32_t hashSize = Read32(catalogue, 20);
    const uint32_t hash = Read32(catalogue, 24);
    auto swapAt = [&](std::size_t at) { Write32(out, at, Swapped(Read32(catalogue, at))); };
    for (std::size_t i = 0; i < 7; ++i)
        swapAt(4 * i);
    for (uint32_t i = 0; i < 2 * n; ++i) {
        swapAt(keys + 4 * i);
        swapAt(values + 4 * i);
    }
    for (uint32_t i = 0; i < hashSize; ++i)
        swapAt(hash + 4 * i);
    return out;
}

std::pair<int, std::string> RunCommand(const std::string& command)
{
    std::string output;
    FILE* pipe = ::popen(command.c_str(), "r");
    if (!pipe) return {-1, {}};
    std::array<char, 4096> buffer{};
    while (std::size_t got = std::fread(buffer.data(), 1, buffer.size(), pipe))
        output.append(buffer.data(), got);
    const int status = ::pclose(pipe);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, output};
}

std::string ShellQuoted(const std::string& text)
{
    std::string out = "'";
    for (char c : text) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

} // namespace i18n_test
