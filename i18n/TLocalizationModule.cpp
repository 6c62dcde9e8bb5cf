#include "i18n/TLocalizationModule.h"

#include "i18n/ExecutablePath.h"

#include <iostream>
#include <mutex>
#include <shared_mutex>
#include <stdexcept>

namespace {

// Guards the running module pointer and its resource domain list. Held shared for every
// translation, exclusively to add a domain and to stop the module, so that shutdown waits for
// translations in flight instead of freeing what they use.
std::shared_mutex ModuleLock;
TLocalizationModule* RunningModule = nullptr;

} // namespace

TLocalizationModule::TLocalizationModule(TLocalizationOptions options)
    : fExecutable(options.ExecutablePath.empty() ? CurrentExecutablePath()
                                                 : std::move(options.ExecutablePath)),
      fErrorSink(std::move(options.ReportError))
{
    {
        std::shared_lock lock(ModuleLock);
        if (RunningModule) throw std::logic_error("The localization module is already running");
    }
    fStored = std::make_unique<TStoredCatalogues>();
    fStored->Scan(fExecutable);
    fDomains.push_back("default");
    fTranslator = std::make_unique<TTranslationInstance>(fExecutable, fStored.get());

    std::unique_lock lock(ModuleLock);
    if (RunningModule) throw std::logic_error("The localization module is already running");
    RunningModule = this;
}

TLocalizationModule::~TLocalizationModule()
{
    {
        std::unique_lock lock(ModuleLock);
        if (RunningModule == this) RunningModule = nullptr;
    }
    fTranslator.reset();
    fDomains.clear();
    fStored.reset();
    fExecutable.clear();
}

std::vector<std::string> TLocalizationModule::ResourceDomains() const
{
    std::shared_lock lock(ModuleLock);
    return fDomains;
}

void TLocalizationModule::ReportError(const std::string& message) const
{
    if (fErrorSink)
        fErrorSink(message);
    else
        std::cerr << "Tarvel: " << message << std::endl;
}

TLocalizationModule* LocalizationModule()
{
    std::shared_lock lock(ModuleLock);
    return RunningModule;
}

std::string Translate(std::string_view key)
{
    std::shared_lock lock(ModuleLock);
    if (!RunningModule) return std::string(key);
    return RunningModule->DefaultTranslator().Translate(key);
}

std::string TranslateInDomain(std::string_view domain, std::string_view key)
{
    std::shared_lock lock(ModuleLock);
    if (!RunningModule) return std::string(key);
    return RunningModule->DefaultTranslator().TranslateInDomain(domain, key);
}

void AddResourceDomain(std::string name)
{
    std::unique_lock lock(ModuleLock);
    if (RunningModule) RunningModule->fDomains.push_back(std::move(name));
}

std::string TranslateResourceString(std::string_view text)
{
    std::shared_lock lock(ModuleLock);
    if (!RunningModule || !RunningModule->IsTranslating()) return std::string(text);
    std::string result(text);
    for (const std::string& domain : RunningModule->fDomains) {
        result = RunningModule->DefaultTranslator().TranslateInDomain(domain, text);
        if (result != text) break;
    }
    return result;
}
