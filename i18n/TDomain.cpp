#include "i18n/TDomain.h"

#include "i18n/TMappedFile.h"
#include "i18n/TStoredCatalogues.h"
#include "i18n/Utf8Text.h"

#include <algorithm>
#include <cstring>
#include <filesystem>
#include <mutex>

namespace {

constexpr uint32_t NativeMagic = 0x950412de;
constexpr uint32_t SwappedMagic = 0xde120495;
constexpr uint64_t HeaderSize = 20; // magic, revision, N, O, T
constexpr uint64_t TableEntrySize = 8;

uint32_t ByteSwapped(uint32_t v)
{
    return (v >> 24) | ((v >> 8) & 0x0000ff00u) | ((v << 8) & 0x00ff0000u) | (v << 24);
}

// Unsigned byte order; a proper prefix sorts first.
int CompareBytes(std::string_view a, std::string_view b)
{
    const std::size_t common = std::min(a.size(), b.size());
    if (common > 0) {
        if (int c = std::memcmp(a.data(), b.data(), common); c != 0) return c;
    }
    if (a.size() == b.size()) return 0;
    return a.size() < b.size() ? -1 : 1;
}

} // namespace

TDomain::TDomain(const TStoredCatalogues* storedCatalogues) : fStored(storedCatalogues) {}

TDomain::~TDomain()
{
    CloseCatalogue();
}

void TDomain::SetCatalogueDir(std::string dir)
{
    if (dir.empty() || dir.back() != '/') dir += '/';
    fDirectory = std::move(dir);
    CloseCatalogue();
}

void TDomain::SetLanguage(std::string code)
{
    CloseCatalogue();
    fLanguageCode = std::move(code);
}

void TDomain::CloseCatalogue()
{
    std::unique_lock lock(fOpenLock);
    if (fOpened.load(std::memory_order_relaxed)) {
        fOpened.store(false, std::memory_order_release);
        fMapping.reset();
        fBase = nullptr;
        fCatalogueSize = 0;
    }
    fMayTry.store(true, std::memory_order_release);
}

std::string TDomain::CandidatePath(std::string_view language) const
{
    std::string path = fDirectory;
    path += language;
    path += "/LC_MESSAGES/";
    path += fName;
    path += ".mo";
    return path;
}

bool TDomain::Available(const std::string& path) const
{
    if (fStored && fStored->Contains(path)) return true;
    std::error_code ec;
    const auto status = std::filesystem::status(PathFromUtf8(path), ec);
    return !ec && std::filesystem::exists(status) && !std::filesystem::is_directory(status);
}

uint32_t TDomain::Read32(uint64_t position) const
{
    uint32_t value;
    std::memcpy(&value, fBase + position, sizeof value);
    return fSwapBytes ? ByteSwapped(value) : value;
}

TDomain::TEntry TDomain::ReadEntry(uint32_t tableOffset, uint32_t index) const
{
    const uint64_t at = uint64_t{tableOffset} + TableEntrySize * index;
    return {Read32(at), Read32(at + 4)};
}

std::string_view TDomain::EntryText(uint32_t tableOffset, uint32_t index) const
{
    const TEntry entry = ReadEntry(tableOffset, index);
    return {reinterpret_cast<const char*>(fBase + entry.Position), entry.Length};
}

// The header is trusted by nothing else: both tables and every string they point to must lie
// inside the mapping before the first lookup reads them.
bool TDomain::TablesInside() const
{
    const uint64_t tableSize = TableEntrySize * fEntryCount;
    for (uint32_t table : {fKeyTableOffset, fValueTableOffset}) {
        if (uint64_t{table} + tableSize > fCatalogueSize) return false;
    }
    for (uint32_t table : {fKeyTableOffset, fValueTableOffset}) {
        for (uint32_t i = 0; i < fEntryCount; ++i) {
            const TEntry entry = ReadEntry(table, i);
            if (uint64_t{entry.Position} + entry.Length > fCatalogueSize) return false;
        }
    }
    return true;
}

void TDomain::OpenCatalogue()
{
    std::unique_lock lock(fOpenLock);
    if (fOpened.load(std::memory_order_relaxed) || !fMayTry.load(std::memory_order_relaxed)) return;

    std::string candidate = CandidatePath(fLanguageCode);
    if (!Available(candidate)) {
        candidate = CandidatePath(std::string_view(fLanguageCode).substr(0, 2));
        if (!Available(candidate)) {
            fMayTry.store(false, std::memory_order_release);
            return;
        }
    }

    TStoredCatalogues::TLocation location;
    if (fStored)
        location = fStored->Locate(candidate);
    else
        location = {candidate, 0, 0};

    auto mapping = std::make_unique<TMappedFile>(location.File);
    const std::string invalid = "This file is not a valid GNU gettext mo file: " + location.File;
    if (location.Offset < 0 || static_cast<uint64_t>(location.Offset) >= mapping->Size())
        throw EInOutError(0, invalid);

    fStartOffset = location.Offset;
    fBase = mapping->Data() + fStartOffset;
    fCatalogueSize = mapping->Size() - static_cast<std::size_t>(fStartOffset);
    if (fCatalogueSize < HeaderSize) {
        fBase = nullptr;
        throw EInOutError(0, invalid);
    }

    uint32_t magic;
    std::memcpy(&magic, fBase, sizeof magic);
    if (magic != NativeMagic && magic != SwappedMagic) {
        fBase = nullptr;
        throw EInOutError(0, invalid);
    }
    fSwapBytes = magic == SwappedMagic;
    fEntryCount = Read32(8);
    fKeyTableOffset = Read32(12);
    fValueTableOffset = Read32(16);
    if (!TablesInside()) {
        fBase = nullptr;
        throw EInOutError(0, invalid);
    }

    fMapping = std::move(mapping);
    fOpened.store(true, std::memory_order_release);
}

std::string TDomain::Lookup(std::string_view key)
{
    if (!fOpened.load(std::memory_order_acquire) && fMayTry.load(std::memory_order_acquire))
        OpenCatalogue();
    if (!fOpened.load(std::memory_order_acquire) || fEntryCount == 0) return std::string(key);

    // Binary search from the largest power of two not above N, halving the step and clamping
    // the probe into 1..N.
    uint32_t probe = 1;
    while (probe <= fEntryCount / 2)
        probe *= 2;
    uint32_t step = probe / 2;
    for (;;) {
        const int order = CompareBytes(key, EntryText(fKeyTableOffset, probe - 1));
        if (order == 0) return std::string(EntryText(fValueTableOffset, probe - 1));
        if (step == 0) return std::string(key);
        if (order < 0)
            probe = probe > step ? probe - step : 1;
        else
            probe = std::min(probe + step, fEntryCount);
        step /= 2;
    }
}
