#include "firmware/TFirmwareFile.h"

#include "i18n/EInOutError.h"
#include "i18n/Utf8Text.h"

#include <algorithm>
#include <cstring>
#include <system_error>

namespace {

// What the user picked could not be read: the runtime's text for the cause.
template <typename TCall> auto AsInOutError(TCall call)
{
    try {
        return call();
    } catch (const std::system_error& error) {
        throw EInOutError::FromErrno(error.code().value());
    }
}

} // namespace

TFirmwareFile::TFirmwareFile(const std::string& path)
    : fFile(AsInOutError([&] { return TFile::OpenForReading(PathFromUtf8(path)); })),
      fOpenedSize(fFile->SizeWhenOpened())
{
}

TFirmwareFile::TFirmwareFile(TText text) : fText(std::move(text.Bytes))
{
    fOpenedSize = fText.size();
}

std::string TFirmwareFile::ReadWhole(const std::string& path)
{
    TFile file = AsInOutError([&] { return TFile::OpenForReading(PathFromUtf8(path)); });
    std::string bytes;
    std::array<char, 65536> chunk;
    while (const std::size_t n = AsInOutError([&] { return file.Read(chunk); }))
        bytes.append(chunk.data(), n);
    return bytes;
}

bool TFirmwareFile::Refill()
{
    if (fEndOfData) return false;
    std::size_t n = 0;
    if (fFile) {
        n = AsInOutError([&] { return fFile->Read(fBuffer); });
    } else {
        // The count of bytes fetched is 64-bit on every machine; what is left fits the buffer.
        n = static_cast<std::size_t>(
            std::min<uint64_t>(fBuffer.size(), fText.size() - fBytesFetched));
        std::memcpy(fBuffer.data(), fText.data() + fBytesFetched, n);
    }
    fPos = 0;
    fEnd = n;
    fBytesFetched += n;
    // A file truncated while being read simply ends early.
    if (n == 0) fEndOfData = true;
    return n > 0;
}

bool TFirmwareFile::Eof()
{
    if (fPos == fEnd && !Refill()) return true;
    return fBuffer[fPos] == CtrlZ;
}

std::string TFirmwareFile::ReadLine()
{
    std::string line;
    for (;;) {
        if (fPos == fEnd && !Refill()) return line;
        const char* const begin = fBuffer.data() + fPos;
        const char* const end = fBuffer.data() + fEnd;
        for (const char* p = begin; p != end; ++p) {
            const char c = *p;
            if (c == '\n') {
                fPos = static_cast<std::size_t>(p + 1 - fBuffer.data());
                return line;
            }
            if (c == CtrlZ) {
                // Left in place so that Eof() reports the end from here on.
                fPos = static_cast<std::size_t>(p - fBuffer.data());
                return line;
            }
            if (c != '\r') line.push_back(c);
        }
        fPos = fEnd;
    }
}
