#include "serial/TQorCommBuffer.h"

#include <algorithm>
#include <cstring>

void TQorCommBuffer::MakeRoom(size_t count)
{
    if (fData.size() - fWritePos >= count) return;
    // Unread bytes move to the front before the buffer grows, so a stream that is read as
    // it comes never makes the buffer larger than one burst plus one partial line.
    if (fReadPos > 0) {
        std::memmove(fData.data(), fData.data() + fReadPos, fWritePos - fReadPos);
        fWritePos -= fReadPos;
        fScanPos -= std::min(fScanPos, fReadPos);
        fReadPos = 0;
    }
    if (fData.size() - fWritePos < count) fData.resize(fData.size() + count);
}

size_t TQorCommBuffer::Read(std::span<std::byte> out)
{
    std::lock_guard lock(fMutex);
    const size_t n = std::min(out.size(), fWritePos - fReadPos);
    if (n > 0) std::memcpy(out.data(), fData.data() + fReadPos, n);
    fReadPos += n;
    if (fReadPos >= fWritePos)
        fReadPos = fWritePos = fScanPos = 0;
    else if (fScanPos < fReadPos)
        fScanPos = fReadPos;
    return n;
}

bool TQorCommBuffer::MatchLineEnd(std::span<const std::byte> data, size_t position,
                                  std::string_view lineEnd)
{
    return std::memcmp(data.data() + position, lineEnd.data(), lineEnd.size()) == 0;
}

std::optional<size_t> TQorCommBuffer::FindLine(std::string_view lineEnd)
{
    std::lock_guard lock(fMutex);
    const size_t length = lineEnd.size();
    if (length == 0) {
        // No line end to look for: whatever arrived counts as one line.
        if (fWritePos == fScanPos) return std::nullopt;
        fScanPos = fWritePos;
        return fScanPos - fReadPos;
    }
    while (fWritePos - fScanPos >= length) {
        if (MatchLineEnd(fData, fScanPos, lineEnd)) {
            fScanPos += length;
            return fScanPos - fReadPos;
        }
        ++fScanPos;
    }
    return std::nullopt;
}

size_t TQorCommBuffer::LineRemainder() const
{
    std::lock_guard lock(fMutex);
    return fScanPos > fReadPos ? fScanPos - fReadPos : 0;
}

size_t TQorCommBuffer::Unread() const
{
    std::lock_guard lock(fMutex);
    return fWritePos - fReadPos;
}

bool TQorCommBuffer::Empty() const
{
    return Unread() == 0;
}

size_t TQorCommBuffer::Capacity() const
{
    std::lock_guard lock(fMutex);
    return fData.size();
}

size_t TQorCommBuffer::ReadPos() const
{
    std::lock_guard lock(fMutex);
    return fReadPos;
}

size_t TQorCommBuffer::WritePos() const
{
    std::lock_guard lock(fMutex);
    return fWritePos;
}

size_t TQorCommBuffer::ScanPos() const
{
    std::lock_guard lock(fMutex);
    return fScanPos;
}
