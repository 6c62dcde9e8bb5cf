#include "firmware/SRecordWriter.h"

#include "i18n/EInOutError.h"

#include <algorithm>

namespace {

constexpr std::size_t MaxHeaderText = 255 - 3; // byte count: address (2), text, checksum

constexpr char Digits[] = "0123456789ABCDEF";

// Appends one record to out in place: the text is written straight into the string, since
// images of many megabytes go through here.
class TRecordOut
{
public:
    explicit TRecordOut(std::string& out) : fOut(out) {}

    void Write(char type, std::size_t addressBytes, std::uint32_t address, const std::uint8_t* data,
               std::size_t size)
    {
        const std::size_t count = addressBytes + size + 1;
        const std::size_t at = fOut.size();
        fOut.resize(at + 4 + 2 * count + 2);
        char* p = fOut.data() + at;
        *p++ = 'S';
        *p++ = type;
        unsigned sum = 0;
        Byte(p, static_cast<std::uint8_t>(count), sum);
        for (std::size_t i = addressBytes; i-- > 0;)
            Byte(p, static_cast<std::uint8_t>(address >> (8 * i)), sum);
        for (std::size_t i = 0; i < size; ++i)
            Byte(p, data[i], sum);
        unsigned ignored = 0;
        Byte(p, static_cast<std::uint8_t>(~sum), ignored);
        *p++ = '\r';
        *p = '\n';
        ++fRecords;
    }

    std::size_t Records() const { return fRecords; }

private:
    static void Byte(char*& p, std::uint8_t byte, unsigned& sum)
    {
        sum += byte;
        *p++ = Digits[byte >> 4];
        *p++ = Digits[byte & 0xF];
    }

    std::string& fOut;
    std::size_t fRecords = 0;
};

} // namespace

TSRecordText WriteSRecords(const TFirmwareImage& image, std::string_view name,
                           std::size_t recordSize)
{
    if (recordSize < MinRecordSize || recordSize > MaxRecordSize)
        throw EInOutError(0, "the record size is " + std::to_string(MinRecordSize) + " to " +
                                 std::to_string(MaxRecordSize) + " bytes, not " +
                                 std::to_string(recordSize));
    TSRecordText result;
    // Each data byte takes two digits; each record 16 characters more.
    const std::uint64_t records = image.ByteCount() / recordSize + image.Segments().size() + 2;
    result.Text.reserve(2 * image.ByteCount() + 16 * records + 2 * MaxHeaderText);
    TRecordOut out(result.Text);

    name = name.substr(0, MaxHeaderText);
    out.Write('0', 2, 0, reinterpret_cast<const std::uint8_t*>(name.data()), name.size());
    for (const TFirmwareImage::TSegment& segment : image.Segments()) {
        for (std::size_t at = 0; at < segment.Bytes.size(); at += recordSize) {
            const std::size_t size = std::min(recordSize, segment.Bytes.size() - at);
            out.Write('3', 4, static_cast<std::uint32_t>(segment.Address + at),
                      segment.Bytes.data() + at, size);
        }
    }
    out.Write('7', 4, image.Entry(), nullptr, 0);
    result.Records = out.Records();
    return result;
}
