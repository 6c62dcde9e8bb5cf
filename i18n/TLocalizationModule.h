#pragma once
#include "i18n/TStoredCatalogues.h"
#include "i18n/TTranslationInstance.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

using TLocalizationErrorSink = std::function<void(const std::string& message)>;

struct TLocalizationOptions
{
    // Empty: the running program's own file.
    std::string ExecutablePath;
    // Where start-up problems are shown; empty: standard error.
    TLocalizationErrorSink ReportError;
};

// The localization module's state for the life of the program. The program creates one first
// thing in main() and keeps it until the end; its destruction stops translation before anything
// it owns goes away. While it exists, the module functions below use it; without one they hand
// texts back unchanged.
class TLocalizationModule
{
public:
    explicit TLocalizationModule(TLocalizationOptions options = {});
    TLocalizationModule(const TLocalizationModule&) = delete;
    TLocalizationModule& operator=(const TLocalizationModule&) = delete;
    ~TLocalizationModule();

    const std::string& ExecutablePath() const { return fExecutable; }
    TTranslationInstance& DefaultTranslator() { return *fTranslator; }
    std::vector<std::string> ResourceDomains() const;

    // After a start-up failure the program runs untranslated: resource strings come back as
    // they are.
    void StopTranslating() { fTranslating.store(false); }
    bool IsTranslating() const { return fTranslating.load(); }

    void ReportError(const std::string& message) const;

private:
    friend void AddResourceDomain(std::string name);
    friend std::string TranslateResourceString(std::string_view text);

    std::string fExecutable;
    TLocalizationErrorSink fErrorSink;
    std::unique_ptr<TStoredCatalogues> fStored;
    std::vector<std::string> fDomains; // guarded by the module lock
    std::unique_ptr<TTranslationInstance> fTranslator;
    std::atomic<bool> fTranslating{true};
};

// The running module, or nullptr.
TLocalizationModule* LocalizationModule();

// Module operations; texts are UTF-8. Without a running module they return the key unchanged.
std::string Translate(std::string_view key);
std::string TranslateInDomain(std::string_view domain, std::string_view key);

// Appends a domain to the list that resource strings are looked up in.
void AddResourceDomain(std::string name);

// text translated by the first resource domain whose answer differs from it, else the last
// answer. Catalogue errors pass to the caller.
std::string TranslateResourceString(std::string_view text);
