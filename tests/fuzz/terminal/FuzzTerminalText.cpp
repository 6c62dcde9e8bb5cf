// libFuzzer target: the terminal's text over its byte store against a plain model, a list of
// lines kept by the same rules (line ends, backspace, the shown line feed, text of the terminal's
// own, deleted lines). The input chooses the bytes, how they are cut into chunks, long runs of one
// byte that cross the store's 1 MiB blocks, and whether older blocks move to a spill file that
// works or to one that cannot be made. Whatever the cut, what is read back must be the model's.
#include "terminal/TByteStore.h"
#include "terminal/TSpillFile.h"
#include "terminal/TTerminalText.h"
#include "tests/support/TFuzzInput.h"
#include "tests/support/TFuzzRule.h"

#include "tests/fuzz/i18n/FuzzScratchDirectory.h"

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <utility>
#include <vector>

namespace {

constexpr TFuzzRule Rule("terminal");

std::string SpillFolder;

// The terminal's rules on a list of lines; an empty text has no lines.
class TModel
{
public:
    void Received(char byte)
    {
        if (byte == '\r') {
            NewLine();
            fAfterCr = true;
            return;
        }
        if (byte == '\n') {
            if (!fAfterCr) NewLine();
            fAfterCr = false;
            return;
        }
        fAfterCr = false;
        if (byte == '\b') {
            if (!Lines.empty() && fCursorBack < Lines.back().size()) ++fCursorBack;
            return;
        }
        Put(byte == TTerminalText::ShownLineFeed ? '\x81' : byte);
    }

    // count times a byte that is kept as it comes.
    void ReceivedRun(char byte, std::size_t count)
    {
        fAfterCr = false;
        for (; count > 0 && fCursorBack > 0; --count)
            Put(byte);
        if (count == 0) return;
        if (Lines.empty()) Lines.emplace_back();
        Lines.back().append(count, byte);
        fSize += count;
    }

    void Text(std::string_view text)
    {
        fCursorBack = 0;
        for (char c : text) {
            if (c == '\n')
                NewLine();
            else
                Put(c);
        }
    }

    void Line(std::string_view text)
    {
        if (!Lines.empty()) NewLine();
        Text(text);
    }

    void Delete(std::int64_t index)
    {
        if (index < 0 || index >= static_cast<std::int64_t>(Lines.size())) return;
        fSize -= Lines[static_cast<std::size_t>(index)].size() + (Lines.size() > 1 ? 1 : 0);
        Lines.erase(Lines.begin() + index);
        if (Lines.size() == 1 && Lines[0].empty()) Lines.clear();
        fCursorBack = 0;
    }

    void Clear()
    {
        Lines.clear();
        fSize = 0;
        fCursorBack = 0;
        fAfterCr = false;
    }

    std::uint64_t Size() const { return fSize; }

    std::vector<std::string> Lines;

private:
    void NewLine()
    {
        if (Lines.empty()) Lines.emplace_back();
        Lines.emplace_back();
        ++fSize;
        fCursorBack = 0;
    }

    void Put(char byte)
    {
        if (Lines.empty()) Lines.emplace_back();
        std::string& line = Lines.back();
        if (fCursorBack > 0) {
            line[line.size() - fCursorBack--] = byte;
        } else {
            line += byte;
            ++fSize;
        }
    }

    std::uint64_t fSize = 0;
    std::size_t fCursorBack = 0;
    bool fAfterCr = false;
};

bool KeptAsItComes(char byte)
{
    return byte != '\r' && byte != '\n' && byte != '\b' && byte != TTerminalText::ShownLineFeed;
}

// What every step keeps: size, lines and where the current line starts.
void CheckShape(const TTerminalText& text, const TModel& model)
{
    Rule.Check(text.Size() == model.Size(), "size differs from the model");
    Rule.Check(text.LineCount() == static_cast<std::int64_t>(model.Lines.size()),
               "line count differs from the model");
    const std::uint64_t lastLine = model.Lines.empty() ? 0 : model.Lines.back().size();
    Rule.Check(text.CurrentLineStart() == text.Size() - lastLine,
               "the current line starts elsewhere than the last line");
    const std::uint64_t blocks = (text.Size() + TByteStore::BlockSize - 1) / TByteStore::BlockSize;
    Rule.Check(text.Bytes().BytesInMemory() + text.Bytes().BytesInFile() ==
                   blocks * TByteStore::BlockSize,
               "the store holds other blocks than its size needs");
}

void CheckLine(const TTerminalText& text, const TModel& model, std::int64_t index,
               std::uint64_t start)
{
    const std::string& expected = model.Lines[static_cast<std::size_t>(index)];
    Rule.Check(text.LineStart(index) == start, "a line starts elsewhere");
    Rule.Check(text.LineEnd(index) == start + expected.size(), "a line ends elsewhere");
    Rule.Check(text.LineAt(start) == index && text.LineAt(start + expected.size()) == index,
               "an offset is placed on another line");
    Rule.Check(text.Line(index) == expected, "a line reads back otherwise");
}

// Everything read back, through every way there is to read it.
void CheckText(const TTerminalText& text, const TModel& model)
{
    CheckShape(text, model);
    // The pieces in order against the model's lines, each line but the last followed by '\n'.
    std::size_t line = 0;
    std::size_t column = 0;
    std::uint64_t covered = 0;
    text.Bytes().ForEach(0, text.Size(), [&](std::string_view piece) {
        Rule.Check(!piece.empty(), "an empty piece");
        covered += piece.size();
        while (!piece.empty()) {
            Rule.Check(line < model.Lines.size(), "more text than the model has");
            const std::string_view expected = model.Lines[line];
            if (column == expected.size()) {
                Rule.Check(piece.front() == '\n', "a line end is missing");
                piece.remove_prefix(1);
                ++line;
                column = 0;
                continue;
            }
            const std::size_t n = std::min(piece.size(), expected.size() - column);
            Rule.Check(piece.substr(0, n) == expected.substr(column, n),
                       "the text differs from the model");
            piece.remove_prefix(n);
            column += n;
        }
    });
    Rule.Check(covered == text.Size(), "the pieces do not cover the text");

    // Finding a line scans its index step line end by line end: the lines at both ends and a
    // few between are looked up, whose places are where the index and the blocks turn.
    const auto count = static_cast<std::int64_t>(model.Lines.size());
    const std::int64_t ends = 2;
    const std::int64_t stride = std::max<std::int64_t>(count / 3, 1);
    std::uint64_t start = 0;
    for (std::int64_t i = 0; i < count; ++i) {
        if (i < ends || count - i <= ends || i % stride == 0) CheckLine(text, model, i, start);
        start += model.Lines[static_cast<std::size_t>(i)].size() + 1;
    }
    Rule.Check(text.LineAt(text.Size() + 7) == std::max<std::int64_t>(count - 1, 0),
               "an offset past the end is not on the last line");
    Rule.Check(text.Line(count).empty() && text.Line(-1).empty(), "a line out of range has text");
}

bool LongRunAllowed(const uint8_t* data, std::size_t size)
{
    std::uint32_t hash = 2166136261u; // FNV-1a
    for (std::size_t i = 0; i < size; ++i)
        hash = (hash ^ data[i]) * 16777619u;
    return hash >> 27 == 0;
}

TSpillFile WorkingFile()
{
    return TSpillFile(SpillFolder);
}

TSpillFile UnmakeableFile()
{
    throw std::system_error(ENOSPC, std::generic_category(), "no room for the terminal's file");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    SpillFolder = MakeFuzzScratchDirectory("/tmp/tarvel-fuzz-terminal-XXXXXX");
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size)
{
    TFuzzInput input(data, size);
    const uint8_t setup = input.Byte();
    // The block being filled always stays; with no room beyond it every older block moves.
    const std::uint64_t memoryLimit = (setup & 1) ? TByteStore::BlockSize : 0;
    const bool fileFails = (setup & 2) != 0;
    TTerminalText text(memoryLimit, fileFails ? UnmakeableFile : WorkingFile);
    TModel model;

    // Runs cost time: short ones up to 8 KiB, and one long run, a megabyte through every
    // instrumented byte loop of the store, only in one input in 32 (by the input's hash, so the
    // input always runs the same). Mutated long-run inputs mostly run short then, and the long
    // texts stay a small share of the runs while the fuzzer still reaches and varies them.
    bool longRunDone = !LongRunAllowed(data, size);
    std::size_t shortRunBytes = 0;
    bool longDeleteDone = false;
    int spillErrors = 0;
    while (!input.Empty()) {
        const uint8_t op = input.Byte();
        switch (op % 8) {
        case 0:
        case 1:
        case 2:
        case 3: {
            const std::string_view chunk = input.Take(1 + input.Byte() % 32);
            text.AppendReceived(chunk);
            for (char c : chunk)
                model.Received(c);
            break;
        }
        case 4:
        case 5: {
            // One byte many times; a long run goes past a line index step (line ends,
            // backspaces) or past a store block (any other byte), once per input.
            const char byte = static_cast<char>(input.Byte());
            const std::size_t hi = input.Byte() % 8;
            const std::size_t lo = input.Byte();
            std::size_t count = 1 + (hi << 8 | lo);
            if (op % 8 == 5) {
                if (std::exchange(longRunDone, true)) break;
                count += KeptAsItComes(byte) ? TByteStore::BlockSize - 1024
                                             : TTerminalText::IndexStep - 1024;
            } else {
                if (shortRunBytes + count > 8 * 1024) break;
                shortRunBytes += count;
            }
            static std::string run; // keeps its room from one input to the next
            run.assign(count, byte);
            text.AppendReceived(run);
            if (KeptAsItComes(byte)) {
                model.ReceivedRun(byte, count);
            } else {
                for (std::size_t i = 0; i < count; ++i)
                    model.Received(byte);
            }
            break;
        }
        case 6: {
            const std::string_view chunk = input.Take(input.Byte() % 16);
            if (op & 0x10) {
                text.AppendLine(chunk);
                model.Line(chunk);
            } else {
                text.AppendText(chunk);
                model.Text(chunk);
            }
            break;
        }
        case 7: {
            const uint8_t which = input.Byte();
            if (which == 0xFF) {
                text.Clear();
                model.Clear();
                break;
            }
            // Counted from the start or from the end; a few beyond either.
            const auto count = static_cast<std::int64_t>(model.Lines.size());
            const std::int64_t index = (op & 0x10) ? which - 2 : count - 1 - which + 2;
            // A deleted line moves all text after it: on a long text once per input, as the
            // long run.
            if (text.Size() > 64 * 1024 && std::exchange(longDeleteDone, true)) break;
            text.DeleteLine(index);
            model.Delete(index);
            break;
        }
        }
        CheckShape(text, model);
        if (const std::optional<std::string> error = text.TakeSpillError()) {
            Rule.Check(fileFails, "the working spill file failed");
            Rule.Check(++spillErrors == 1, "a failed spill file was reported twice");
        }
        // Reading everything back costs as much as the text is long: for a long one only at the
        // end.
        if ((op & 0x80) && text.Size() <= 4096) CheckText(text, model);
    }
    CheckText(text, model);
    Rule.Check(!text.TakeSpillError(), "an error was kept after it was taken");
    return 0;
}
