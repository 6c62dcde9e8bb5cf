#pragma once
// Helpers that build real MO catalogues for the tests: .po text written here, compiled by msgfmt.
#include <cstdint>
#include <filesystem>
#include <string>
#include <utility>
#include <vector>

namespace i18n_test {

using TMessages = std::vector<std::pair<std::string, std::string>>; // msgid -> msgstr

// A fresh directory under the system's temporary directory, removed with everything in it.
class TTempDir
{
public:
    TTempDir();
    TTempDir(const TTempDir&) = delete;
    TTempDir& operator=(const TTempDir&) = delete;
    ~TTempDir();
    const std::filesystem::path& Path() const { return fRoot; }
    std::string operator/(const std::string& relative) const { return (fRoot / relative).string(); }
    // Where a program in this directory looks for a domain's catalogue in a language.
    std::string CataloguePath(const std::string& language, const std::string& domain) const
    {
        return *this / ("locale/" + language + "/LC_MESSAGES/" + domain + ".mo");
    }

private:
    std::filesystem::path fRoot;
};

// .po text for messages; a header entry ("" -> header text) when withHeader.
std::string PoText(const TMessages& messages, bool withHeader = true);
// The header text that PoText writes.
std::string HeaderText();

// Compiles messages with msgfmt into moPath (creating its directories). Fails the test on error.
void CompileCatalogue(const std::string& moPath, const TMessages& messages, bool withHeader = true);

// Compiles literal .po text.
void CompilePoText(const std::string& moPath, const std::string& poText);

std::vector<char> ReadBytes(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<char>& bytes);

// The catalogue with every 32-bit number in the opposite byte order.
std::vector<char> ByteSwappedCatalogue(const std::vector<char>& catalogue);

uint32_t Read32(const std::vector<char>& bytes, std::size_t at);
void Write32(std::vector<char>& bytes, std::size_t at, uint32_t value);

// Runs a shell command, returning its exit status and standard output.
std::pair<int, std::string> RunCommand(const std::string& command);

std::string ShellQuoted(const std::string& text);

} // namespace i18n_test
