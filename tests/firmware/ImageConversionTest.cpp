// HEX, ELF and raw binary files turned into the S-records the boot loader takes: the image they
// carry judged against srec_cat, and what must be refused.
#include "firmware/FirmwareConversion.h"
#include "firmware/ImageCheck.h"
#include "firmware/SRecord.h"
#include "firmware/TFirmwareFile.h"
#include "sim/SRecordGenerator.h"
#include "sim/ToolchainFileGenerator.h"
#include "tests/app/FlashTempDir.h"
#include "tests/i18n/CatalogueFixtures.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>
#include <vector>

namespace {

// What a set of S-records loads: address -> byte, and the termination record's address.
struct TLoaded
{
    std::map<std::uint32_t, std::uint8_t> Bytes;
    std::uint32_t Entry = 0;
    std::string Header;
    std::size_t LongestRecord = 0;
};

TLoaded Load(const std::string& text)
{
    TLoaded loaded;
    for (const std::string_view line : FirmwareLines(text)) {
        if (line.empty()) continue;
        const TSRecord record = ParseSRecord(line);
        if (record.Type == 0) loaded.Header.assign(record.Data.begin(), record.Data.end());
        if (IsSRecordTermination(record.Type)) loaded.Entry = record.Address;
        if (!IsSRecordData(record.Type)) continue;
        loaded.LongestRecord = std::max(loaded.LongestRecord, record.Data.size());
        for (std::size_t i = 0; i < record.Data.size(); ++i)
            EXPECT_TRUE(loaded.Bytes.emplace(record.Address + i, record.Data[i]).second)
                << "two records for " << record.Address + i;
    }
    return loaded;
}

bool HaveSrecCat()
{
    return i18n_test::RunCommand("command -v srec_cat >/dev/null").first == 0;
}

// srec_cat's S-records for its arguments (inputs and their formats), 32-bit addresses.
std::string SrecCat(const std::string& inputs)
{
    const auto [code, output] = i18n_test::RunCommand("srec_cat -disable-sequence-warnings " +
                                                      inputs + " -o - -motorola -address-length=4");
    EXPECT_EQ(code, 0) << output;
    return output;
}

std::vector<std::uint8_t> Bytes(std::size_t n, std::uint32_t seed)
{
    return GenerateFirmwareBytes(n, seed);
}

std::string Hex(std::uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%X", value);
    return text;
}

std::string Refusal(const std::string& content)
{
    try {
        ConvertToSRecords(content, "bad", {});
    } catch (const EInOutError& e) {
        EXPECT_EQ(e.ErrorCode, 0) << e.what();
        return e.what();
    }
    return "(converted)";
}

} // namespace

// Each file format read by our converter and by srec_cat must load the same bytes at the same
// addresses; our records carry at most the record size and the file's name in the header.
TEST(ImageConversion, LoadsWhatSrecCatLoads)
{
    if (!HaveSrecCat()) GTEST_SKIP() << "srec_cat (package srecord) is not installed";
    FlashTempDir dir;
    // Gaps, a run below 1 MiB under an 02 record, runs crossing 64 KiB windows (04 records),
    // one given out of address order, and one at the top of the address space.
    const std::vector<TGeneratedRun> hexRuns{
        {0x0001FFF0, Bytes(100, 1)}, {0x08000000, Bytes(70000, 2)}, {0x08020000, Bytes(333, 3)},
        {0x00000400, Bytes(17, 4)},  {0xFFFFFF00, Bytes(256, 5)},
    };
    THexFileOptions hexOptions;
    hexOptions.SegmentsBelow1MiB = true;
    hexOptions.BytesPerRecord = 13;
    const std::string hex =
        dir.Write("app.hex", GenerateIntelHexFile(hexRuns, 0x08000131, hexOptions));

    const std::vector<std::uint8_t> raw = Bytes(5000, 6);
    const std::string bin =
        dir.Write("app.bin", std::string(raw.begin(), raw.end()) + std::string(3, '\0'));

    // Code linked to run from RAM but stored in flash after the vectors: p_paddr != p_vaddr.
    const std::vector<TGeneratedRun> elfRuns{{0x08000000, Bytes(600, 7), 0x08000000},
                                             {0x08000400, Bytes(301, 8), 0x20000000}};
    std::string segments;
    for (std::size_t i = 0; i < elfRuns.size(); ++i)
        segments += dir.Write("seg" + std::to_string(i),
                              std::string(elfRuns[i].Bytes.begin(), elfRuns[i].Bytes.end())) +
                    " -binary -offset " + Hex(elfRuns[i].Address) + " ";
    const std::string elf32 =
        dir.Write("app32.elf", GenerateElfFile(elfRuns, 0x08000101, false, false));
    const std::string elf64 =
        dir.Write("app64.elf", GenerateElfFile(elfRuns, 0x08000101, true, true));

    const struct
    {
        std::string File, Oracle;
        TImageOptions Options;
        TImageFormat Format;
        std::uint32_t Entry;
    } cases[] = {
        {hex, hex + " -intel", {0, 250}, TImageFormat::IntelHex, 0x08000131},
        {bin, bin + " -binary -offset 0x20001000", {0x20001000, 7}, TImageFormat::Binary, 0},
        {elf32, segments, {0, 32}, TImageFormat::Elf, 0x08000101},
        {elf64, segments, {0, 1}, TImageFormat::Elf, 0x08000101},
    };
    for (const auto& c : cases) {
        const std::string name = std::filesystem::path(c.File).filename().string();
        const auto converted = ConvertToSRecords(TFirmwareFile::ReadWhole(c.File), name, c.Options);
        ASSERT_TRUE(converted) << name;
        EXPECT_EQ(converted->Format, c.Format) << name;
        const TLoaded ours = Load(converted->SRecords.Text);
        const TLoaded oracle = Load(SrecCat(c.Oracle));
        EXPECT_FALSE(oracle.Bytes.empty()) << name;
        EXPECT_TRUE(ours.Bytes == oracle.Bytes)
            << name << ": " << ours.Bytes.size() << " bytes, srec_cat " << oracle.Bytes.size();
        EXPECT_EQ(ours.Entry, c.Entry) << name;
        EXPECT_EQ(ours.Header, name);
        EXPECT_EQ(ours.LongestRecord, c.Options.RecordSize) << name;
        EXPECT_EQ(converted->Image.ByteCount(), ours.Bytes.size()) << name;
        EXPECT_EQ(converted->SRecords.Records,
                  static_cast<std::size_t>(std::count(converted->SRecords.Text.begin(),
                                                      converted->SRecords.Text.end(), '\n')));
        EXPECT_EQ(converted->SRecords.Text.find('\n'), converted->SRecords.Text.find("\r\n") + 1);
    }
}

// The image's digest is of its bytes, whatever format carried them.
TEST(ImageConversion, TheSameImageHasTheSameDigestInEveryFormat)
{
    const std::vector<TGeneratedRun> runs{{0x1000, Bytes(300, 1), 0x1000},
                                          {0x2000, Bytes(5, 2), 0x9000}};
    const auto hex = ConvertToSRecords(GenerateIntelHexFile(runs, 0), "a", {});
    const auto elf = ConvertToSRecords(GenerateElfFile(runs, 0, false, true), "a", {});
    ASSERT_TRUE(hex && elf);
    EXPECT_EQ(hex->Image.Sha256(), elf->Image.Sha256());
    EXPECT_EQ(hex->Image.Segments().size(), 2u);
    EXPECT_FALSE(ConvertToSRecords(GenerateSRecordFile(Bytes(64, 1), 0), "s19", {}));
    EXPECT_FALSE(ConvertToSRecords("hello\r\n\x1a", "text", {}));
}

TEST(ImageConversion, RefusesWhatWouldFlashAWrongImage)
{
    const std::string good = ":0400000001020304F2\r\n";
    const std::string eof = ":00000001FF\r\n";
    const std::string elf = GenerateElfFile({{0x100, Bytes(64, 1), 0x100}}, 0, false, false);
    const struct
    {
        std::string Content;
        const char* Says;
    } cases[] = {
        {good + ":0400000001020304F3\r\n" + eof,
         "line 2: checksum mismatch (expected F2, found F3)"},
        {good + ":00000006FA\r\n" + eof, "line 2: unknown record type 06"},
        {good + ":0500000001020304F2\r\n" + eof, "line 2: byte count 5 does not match"},
        {good + "\r\n" + good.substr(0, 9) + "\r\n" + eof, "line 3: record too short"},
        {good, "line 1: the file ends without an end-of-file record"},
        {good + eof + good, "line 3: a record after the end-of-file record"},
        {":020000040800F2\r\n:20010000" + std::string(64, '0') + "DF\r\n:20011000" +
             std::string(64, '0') + "CF\r\n" + eof,
         "0x08000100-0x0800011F (line 2) overlaps 0x08000110-0x0800012F (line 3)"},
        {":02FFF00001020C\r\n:1FFFF000" + std::string(62, '0') + "F2\r\n" + eof,
         "line 2: data runs past the 64 KiB offset range"},
        {":020000040000FA\r\n:0400000A01020304E8\r\n", "line 2: unknown record type 0A"},
        {elf.substr(0, 40), "truncated"},
        {elf.substr(0, 60), "program headers are missing"},
        {elf.substr(0, elf.size() - 30), "segment 0 needs bytes up to"},
        {GenerateElfFile({{0x100, Bytes(64, 1), 0}, {0x13F, Bytes(8, 2), 0}}, 0, true, false),
         "0x00000100-0x0000013F (segment 0) overlaps 0x0000013F-0x00000146 (segment 1)"},
    };
    for (const auto& c : cases)
        EXPECT_NE(Refusal(c.Content).find(c.Says), std::string::npos)
            << c.Says << "\n got: " << Refusal(c.Content);

    EXPECT_NE(Refusal(std::string(3, '\0')).find("(converted)"), std::string::npos);
    TImageOptions past;
    past.BaseAddress = 0xFFFFFFFE;
    EXPECT_THROW(ConvertToSRecords(std::string(3, '\0'), "b", past), EInOutError);
    past = {};
    past.RecordSize = MaxRecordSize + 1;
    EXPECT_THROW(ConvertToSRecords(std::string(3, '\0'), "b", past), EInOutError);
}

// A converted text is read from memory exactly as a file holding it: lines, and the blocks the
// progress gauge follows.
TEST(ImageConversion, ATextInMemoryReadsAsTheSameFile)
{
    FlashTempDir dir;
    const std::string text = GenerateSRecordFile(Bytes(3000, 4), 0x100) + "tail\x1a"
                                                                          "after";
    const std::string path = dir.Write("same.s19", text);
    TFirmwareFile file(path);
    TFirmwareFile memory(TFirmwareFile::TText{text});
    EXPECT_EQ(TFirmwareFile::ReadWhole(path), text);
    EXPECT_EQ(memory.TotalBlocks(), file.TotalBlocks());
    std::size_t lines = 0;
    while (!file.Eof()) {
        ASSERT_FALSE(memory.Eof());
        EXPECT_EQ(memory.ReadLine(), file.ReadLine());
        EXPECT_EQ(memory.BlocksRead(), file.BlocksRead());
        EXPECT_EQ(memory.AllFetched(), file.AllFetched());
        ++lines;
    }
    EXPECT_TRUE(memory.Eof());
    EXPECT_GT(lines, 90u);
}
