// libFuzzer target: the line-mode receive buffer against a plain model. The input chooses the
// line end, the bytes that arrive, how they are split into arrivals, and how much each read
// takes. Every line handed out must be exactly the stream's next line, whatever the split.
#include "serial/TQorCommBuffer.h"
#include "tests/support/TFuzzInput.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

namespace {

void Check(bool condition)
{
    if (!condition) std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    TFuzzInput input(data, size);
    const size_t lineEndLength = input.Byte() % 4; // 0 to 3 bytes; empty is allowed
    const std::string lineEnd(input.Take(lineEndLength));

    TQorCommBuffer buffer;
    std::string stream;  // everything stored so far
    std::string offered; // everything read so far
    while (!input.Empty()) {
        const std::string_view chunk = input.Take(1 + input.Byte() % 64);
        buffer.Store(chunk.size(), [&](std::span<std::byte> free) {
            // An empty chunk at the end of the input has no data pointer to copy from.
            if (!chunk.empty()) std::memcpy(free.data(), chunk.data(), chunk.size());
            return chunk.size();
        });
        stream += chunk;

        while (const auto line = buffer.FindLine(lineEnd)) {
            Check(*line > 0 || lineEnd.empty());
            std::string got;
            while (got.size() < *line) {
                std::string piece(std::min<size_t>(1 + input.Byte() % 16, *line - got.size()),
                                  '\0');
                const size_t n =
                    buffer.Read(std::as_writable_bytes(std::span(piece.data(), piece.size())));
                Check(n == piece.size());
                got.append(piece, 0, n);
            }
            // The line is the stream's next bytes and ends at the first line end after
            // what was offered before.
            Check(stream.compare(offered.size(), got.size(), got) == 0);
            if (!lineEnd.empty()) {
                Check(got.size() >= lineEnd.size());
                Check(got.find(lineEnd) == got.size() - lineEnd.size());
            }
            offered += got;
            if (lineEnd.empty() && got.empty()) break;
        }
        Check(buffer.Unread() == stream.size() - offered.size());
        // Nothing complete is left behind.
        if (!lineEnd.empty()) Check(stream.find(lineEnd, offered.size()) == std::string::npos);
    }
    return 0;
}
