#include "sim/SRecordGenerator.h"
#include "firmware/SRecord.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using TLoadedImage = std::map<uint32_t, uint8_t>;

// Splits a file at LF; each line keeps a CR that preceded its LF.
std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        EXPECT_NE(end, std::string::npos) << "last line without a line end";
        if (end == std::string::npos) break;
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}

struct TParsedFile
{
    std::vector<TSRecord> Records;
    TLoadedImage Image;
};

TParsedFile ParseFile(const std::string& text)
{
    TParsedFile parsed;
    for (const std::string& line : Lines(text)) {
        parsed.Records.push_back(ParseSRecord(line));
        const TSRecord& record = parsed.Records.back();
        if (IsSRecordData(record.Type))
            for (std::size_t i = 0; i < record.Data.size(); ++i)
                parsed.Image[static_cast<uint32_t>(record.Address + i)] = record.Data[i];
    }
    return parsed;
}

TLoadedImage ImageOf(const std::vector<uint8_t>& data, uint32_t base)
{
    TLoadedImage image;
    for (std::size_t i = 0; i < data.size(); ++i)
        image[static_cast<uint32_t>(base + i)] = data[i];
    return image;
}

} // namespace

TEST(SRecordGenerator, FileRoundTripsToTheInputForManySizes)
{
    for (const std::size_t size : {0u, 1u, 31u, 32u, 33u, 1000u, 4096u}) {
        SCOPED_TRACE(size);
        const auto data = GenerateFirmwareBytes(size, 7);
        const std::string text = GenerateSRecordFile(data, 0x08000000);
        const TParsedFile parsed = ParseFile(text);
        ASSERT_GE(parsed.Records.size(), 2u);
        EXPECT_EQ(parsed.Records.front().Type, 0);
        EXPECT_EQ(
            std::string(parsed.Records.front().Data.begin(), parsed.Records.front().Data.end()),
            "tarvel");
        EXPECT_EQ(parsed.Records.back().Type, 7);
        EXPECT_EQ(parsed.Records.back().Address, 0x08000000u);
        EXPECT_EQ(parsed.Records.size(), 2 + (size + 31) / 32);
        for (std::size_t i = 1; i + 1 < parsed.Records.size(); ++i) {
            EXPECT_EQ(parsed.Records[i].Type, 3);
            EXPECT_EQ(parsed.Records[i].Address, 0x08000000u + 32 * (i - 1));
            if (i + 2 < parsed.Records.size()) {
                EXPECT_EQ(parsed.Records[i].Data.size(), 32u);
            }
        }
        EXPECT_EQ(parsed.Image, ImageOf(data, 0x08000000));
    }
}

TEST(SRecordGenerator, HonoursRecordLengthLineEndHeaderAndEntryPoint)
{
    const auto data = GenerateFirmwareBytes(100, 3);
    TSRecordFileOptions options;
    options.BytesPerRecord = 16;
    options.LineEnd = TLineEnd::Lf;
    options.Header = "demo";
    options.StartAddress = 0x1234;
    const std::string text = GenerateSRecordFile(data, 0x2000, options);
    EXPECT_EQ(text.find('\r'), std::string::npos);
    const TParsedFile parsed = ParseFile(text);
    ASSERT_EQ(parsed.Records.size(), 2u + 7u);
    EXPECT_EQ(parsed.Records[1].Data.size(), 16u);
    EXPECT_EQ(parsed.Records[7].Data.size(), 100u - 6 * 16);
    EXPECT_EQ(std::string(parsed.Records[0].Data.begin(), parsed.Records[0].Data.end()), "demo");
    EXPECT_EQ(parsed.Records.back().Address, 0x1234u);
    EXPECT_EQ(parsed.Image, ImageOf(data, 0x2000));

    options.LineEnd = TLineEnd::CrLf;
    const std::vector<std::string> crlfLines = Lines(GenerateSRecordFile(data, 0x2000, options));
    ASSERT_EQ(crlfLines.size(), 9u);
    for (const std::string& line : crlfLines) {
        ASSERT_FALSE(line.empty());
        EXPECT_EQ(line.back(), '\r');
        EXPECT_EQ(line.find('\r'), line.size() - 1);
    }
}

TEST(SRecordGenerator, RefusesOptionsAndRangesItCannotWrite)
{
    const auto data = GenerateFirmwareBytes(32);
    TSRecordFileOptions options;
    options.BytesPerRecord = 0;
    EXPECT_THROW(GenerateSRecordFile(data, 0, options), std::invalid_argument);
    options.BytesPerRecord = 251;
    EXPECT_THROW(GenerateSRecordFile(data, 0, options), std::invalid_argument);
    options.BytesPerRecord = 250;
    EXPECT_NO_THROW(GenerateSRecordFile(data, 0, options));
    options.Header = std::string(253, 'h');
    EXPECT_THROW(GenerateSRecordFile(data, 0, options), std::invalid_argument);

    // The last byte may sit at 0xFFFFFFFF, but no further.
    EXPECT_EQ(ParseFile(GenerateSRecordFile(data, 0xFFFFFFE0)).Image, ImageOf(data, 0xFFFFFFE0));
    EXPECT_THROW(GenerateSRecordFile(data, 0xFFFFFFE1), std::invalid_argument);
}

TEST(SRecordGenerator, SparseImageBecomesRecordsThatSkipTheGaps)
{
    TLoadedImage image = ImageOf(GenerateFirmwareBytes(40, 1), 0x100);
    const TLoadedImage second = ImageOf(GenerateFirmwareBytes(5, 2), 0x200);
    image.insert(second.begin(), second.end());
    image[0xFFFFFFFF] = 0x5A;

    const TParsedFile parsed = ParseFile(GenerateSRecordFile(image));
    EXPECT_EQ(parsed.Image, image);
    // 40 bytes -> 2 records, 5 -> 1, the lone byte -> 1, plus S0 and S7.
    EXPECT_EQ(parsed.Records.size(), 6u);
    EXPECT_EQ(parsed.Records.back().Address, 0x100u);

    EXPECT_EQ(ParseFile(GenerateSRecordFile(TLoadedImage{})).Records.size(), 2u);
}

TEST(SRecordGenerator, FirmwareBytesAreReproduciblePerSeed)
{
    const auto a = GenerateFirmwareBytes(4096, 11);
    EXPECT_EQ(a, GenerateFirmwareBytes(4096, 11));
    EXPECT_NE(a, GenerateFirmwareBytes(4096, 12));
    std::vector<int> histogram(256);
    for (uint8_t byte : a)
        ++histogram[byte];
    // Spread over the byte range, not a constant or short cycle.
    EXPECT_GT(std::count_if(histogram.begin(), histogram.end(), [](int n) { return n > 0; }), 200);
    EXPECT_EQ(GenerateFirmwareBytes(0).size(), 0u);
}

TEST(DemoFirmwareSample, IsAValidFileOfAboutOneHundredKiB)
{
    std::ifstream file(TARVEL_SAMPLES_DIR "/demo-firmware.s19", std::ios::binary);
    ASSERT_TRUE(file.is_open());
    std::stringstream content;
    content << file.rdbuf();
    const TParsedFile parsed = ParseFile(content.str());
    ASSERT_GE(parsed.Records.size(), 3u);
    EXPECT_EQ(parsed.Records.front().Type, 0);
    EXPECT_EQ(parsed.Records.back().Type, 7);
    EXPECT_GE(parsed.Image.size(), 90u * 1024);
    EXPECT_LE(parsed.Image.size(), 110u * 1024);
    // One contiguous block, every record in between a data record.
    EXPECT_EQ(parsed.Image.rbegin()->first - parsed.Image.begin()->first + 1, parsed.Image.size());
    for (std::size_t i = 1; i + 1 < parsed.Records.size(); ++i)
        EXPECT_EQ(parsed.Records[i].Type, 3);
}
