#pragma once

#include <cstddef>
#include <mutex>
#include <optional>
#include <span>
#include <string_view>
#include <vector>

// Receive buffer of line and threshold mode. The communication thread stores bytes at
// WritePos; the reader takes them from ReadPos. Everything is guarded by one mutex so
// the reader may also run while the thread stores (e.g. a posted notification).
class TQorCommBuffer
{
public:
    // Appends bytes produced by fill(span) -> bytes written, making room for up to
    // `count` bytes first. Returns what fill reported.
    template <class TFill> size_t Store(size_t count, TFill&& fill)
    {
        std::lock_guard lock(fMutex);
        MakeRoom(count);
        const size_t n = fill(std::span<std::byte>(fData).subspan(fWritePos, count));
        fWritePos += n;
        return n;
    }

    // Copies up to out.size() unread bytes; when everything stored has been read the
    // positions return to the start.
    size_t Read(std::span<std::byte> out);

    // Line mode: searches from ScanPos for lineEnd. On a match ScanPos moves past it and
    // the length of the line (from ReadPos, line end included) is returned. Without a
    // match ScanPos stops where fewer than lineEnd.size() bytes remain.
    std::optional<size_t> FindLine(std::string_view lineEnd);
    // Bytes from ReadPos up to ScanPos: what is left of the line being offered.
    size_t LineRemainder() const;

    size_t Unread() const;
    bool Empty() const;
    size_t Capacity() const;
    size_t ReadPos() const;
    size_t WritePos() const;
    size_t ScanPos() const;

    // True when the bytes at position equal lineEnd (true for an empty lineEnd). The
    // caller guarantees that enough bytes are stored from position on.
    static bool MatchLineEnd(std::span<const std::byte> data, size_t position,
                             std::string_view lineEnd);

private:
    void MakeRoom(size_t count);

    mutable std::mutex fMutex;
    std::vector<std::byte> fData;
    size_t fReadPos = 0;
    size_t fWritePos = 0;
    size_t fScanPos = 0;
};
