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

    const std::string& ExecutablePath() const { return Executable; }
    TTranslationInstance& DefaultTranslator() { return *Translator; }
    std::vector<std::string> ResourceDomains() const;

    // After a start-up failure the program runs untranslated: resource strings come back as
    // they are.
    void StopTranslating() { Translating.store(false); }
    bool IsTranslating() const { return Translating.load(); }

    void ReportError(const std::string& message) const;

private:
    friend void AddResourceDomain(std::string name);
    friend std::string TranslateResourceString(std::string_view text);

    std::string Executable;
    TLocalizationErrorSink ErrorSink;
    std::unique_ptr<TStoredCatalogues> Stored;
    std::vector<std::string> Domains; // guarded by the module lock
    std::unique_ptr<TTranslationInstance> Translator;
    std::atomic<bool> Translating{true};
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
