#pragma once
#include "i18n/TMappedFile.h"

#include <atomic>
#include <cstdint>
#include <memory>
#include <shared_mutex>
#include <string>
#include <string_view>

class TStoredCatalogues;

// One text domain in one language: finds its MO catalogue (stored in the executable or under
// CatalogueDir/<language>/LC_MESSAGES/<domain>.mo), maps it read-only and answers lookups from
// the mapped tables in place.
//
// States: Untried (not open, may open), Open, Absent (not open, may not open: the search found
// nothing and is not repeated until CloseCatalogue or a setter runs).
//
// Lookups may run on several threads at once; the setters and CloseCatalogue must not run while
// another thread is inside Lookup.
class TDomain
{
public:
    explicit TDomain(const TStoredCatalogues* storedCatalogues = nullptr);
    TDomain(const TDomain&) = delete;
    TDomain& operator=(const TDomain&) = delete;
    ~TDomain();

    void SetDomainName(std::string name) { fName = std::move(name); }
    const std::string& DomainName() const { return fName; }

    // Stores dir with a trailing "/" and closes the catalogue.
    void SetCatalogueDir(std::string dir);
    const std::string& CatalogueDir() const { return fDirectory; }

    // Closes the catalogue and stores the language code.
    void SetLanguage(std::string code);
    const std::string& Language() const { return fLanguageCode; }

    // The translation of key, or key itself when there is no catalogue or no such entry.
    // Raises EInOutError when a catalogue exists but cannot be used.
    std::string Lookup(std::string_view key);

    void CloseCatalogue();

    bool IsOpen() const { return fOpened.load(std::memory_order_acquire); }
    bool MayOpen() const { return fMayTry.load(std::memory_order_acquire); }

private:
    struct TEntry
    {
        uint32_t Length;
        uint32_t Position;
    };

    void OpenCatalogue();
    std::string CandidatePath(std::string_view language) const;
    bool Available(const std::string& path) const;
    uint32_t Read32(uint64_t position) const;
    TEntry ReadEntry(uint32_t tableOffset, uint32_t index) const;
    std::string_view EntryText(uint32_t tableOffset, uint32_t index) const;
    bool TablesInside() const;

    const TStoredCatalogues* fStored;
    std::string fName;
    std::string fDirectory;
    std::string fLanguageCode;
    std::shared_mutex fOpenLock;

    // Valid while Opened is true; written only under OpenLock before Opened becomes true.
    bool fSwapBytes = false;
    uint32_t fEntryCount = 0;
    uint32_t fKeyTableOffset = 0;
    uint32_t fValueTableOffset = 0;
    int64_t fStartOffset = 0;
    std::unique_ptr<TMappedFile> fMapping;
    const unsigned char* fBase = nullptr;
    std::size_t fCatalogueSize = 0; // bytes from Base to the end of the mapping

    std::atomic<bool> fOpened{false};
    std::atomic<bool> fMayTry{true};
};
