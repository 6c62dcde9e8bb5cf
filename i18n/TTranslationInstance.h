#pragma once
#include "i18n/EInOutError.h"
#include "i18n/TDomain.h"

#include <memory>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <vector>

class TStoredCatalogues;

// The process's translation instance: the current language, the text domains (created on first
// use, found by name ignoring letter case) and the preparation of keys and results (UTF-8, CR
// removed from keys, CR LF line ends in results).
class TTranslationInstance
{
public:
    // Catalogues are sought under the executable's directory + "locale"; the language comes from
    // LANG or the system; the domain "default" is bound and made current.
    TTranslationInstance(const std::string& executablePath,
                         const TStoredCatalogues* storedCatalogues);
    TTranslationInstance(const TTranslationInstance&) = delete;
    TTranslationInstance& operator=(const TTranslationInstance&) = delete;
    ~TTranslationInstance();

    // Sets the language of every domain. An empty code means: LANG without its code set, or the
    // system's language when LANG is unset or empty. A given code is used unchanged.
    void SelectLanguage(std::string code);
    void BindDomain(std::string_view domain, std::string dir);
    void SetCurrentDomain(std::string domain);

    // key and result are UTF-8. Raises EInOutError when a catalogue cannot be used, and when the
    // catalogue's answer is not UTF-8 or is empty for a non-empty key.
    std::string Translate(std::string_view key);
    std::string TranslateInDomain(std::string_view domain, std::string_view key);

    // Safe to call from any thread.
    TDomain& FindOrCreateDomain(std::string_view name);

    const std::string& CurrentLanguage() const { return fLanguage; }
    const std::string& CurrentDomain() const { return fCurrent; }
    const std::string& LocaleDir() const { return fLocaleDirectory; }
    std::size_t DomainCount() const;

private:
    TDomain* FindDomain(std::string_view name) const;

    const TStoredCatalogues* fStored;
    std::string fLanguage;
    std::string fCurrent;
    std::string fLocaleDirectory;
    mutable std::shared_mutex fDomainsLock;
    std::vector<std::unique_ptr<TDomain>> fDomains;
};
