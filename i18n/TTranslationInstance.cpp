#include "i18n/TTranslationInstance.h"

#include "i18n/EInOutError.h"
#include "i18n/ExecutablePath.h"
#include "i18n/SystemLanguage.h"
#include "i18n/Utf8Text.h"

#include <algorithm>
#include <cstdlib>
#include <mutex>

namespace {

bool SameNameIgnoringCase(std::string_view a, std::string_view b)
{
    auto fold = [](char c) {
        return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
    };
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(),
                                              [&](char x, char y) { return fold(x) == fold(y); });
}

std::string LanguageFromEnvironment()
{
    const char* lang = std::getenv("LANG");
    std::string code = (lang && *lang) ? std::string(lang) : DetectSystemLanguage();
    if (auto dot = code.find('.'); dot != std::string::npos) code.erase(dot);
    return code;
}

} // namespace

TTranslationInstance::TTranslationInstance(const std::string& executablePath,
                                           const TStoredCatalogues* storedCatalogues)
    : fStored(storedCatalogues), fCurrent("default")
{
    fLocaleDirectory = FolderWithSeparator(executablePath) + "locale";
    SelectLanguage({});
    BindDomain("default", fLocaleDirectory);
    SetCurrentDomain("default");
}

TTranslationInstance::~TTranslationInstance() = default;

void TTranslationInstance::SelectLanguage(std::string code)
{
    if (code.empty()) code = LanguageFromEnvironment();
    std::unique_lock lock(fDomainsLock);
    fLanguage = std::move(code);
    for (auto& domain : fDomains)
        domain->SetLanguage(fLanguage);
}

void TTranslationInstance::BindDomain(std::string_view domain, std::string dir)
{
    FindOrCreateDomain(domain).SetCatalogueDir(std::move(dir));
}

void TTranslationInstance::SetCurrentDomain(std::string domain)
{
    fCurrent = std::move(domain);
}

std::string TTranslationInstance::Translate(std::string_view key)
{
    return TranslateInDomain(fCurrent, key);
}

std::string TTranslationInstance::TranslateInDomain(std::string_view domain, std::string_view key)
{
    TDomain& d = FindOrCreateDomain(domain);
    std::string result = WithCarriageReturnLineEnds(d.Lookup(WithoutCarriageReturns(key)));
    if (!IsValidUtf8(result)) result.clear();
    if (!key.empty() && result.empty())
        throw EInOutError(0, "Error: Could not translate " + std::string(key) +
                                 ". Probably because the mo file doesn't contain utf-8 encoded "
                                 "translations.");
    return result;
}

TDomain* TTranslationInstance::FindDomain(std::string_view name) const
{
    for (const auto& domain : fDomains) {
        if (SameNameIgnoringCase(domain->DomainName(), name)) return domain.get();
    }
    return nullptr;
}

TDomain& TTranslationInstance::FindOrCreateDomain(std::string_view name)
{
    {
        std::shared_lock lock(fDomainsLock);
        if (TDomain* found = FindDomain(name)) return *found;
    }
    std::unique_lock lock(fDomainsLock);
    if (TDomain* found = FindDomain(name)) return *found; // another thread created it meanwhile
    auto domain = std::make_unique<TDomain>(fStored);
    domain->SetDomainName(std::string(name));
    domain->SetCatalogueDir(fLocaleDirectory);
    domain->SetLanguage(fLanguage);
    fDomains.push_back(std::move(domain));
    return *fDomains.back();
}

std::size_t TTranslationInstance::DomainCount() const
{
    std::shared_lock lock(fDomainsLock);
    return fDomains.size();
}
