#include "i18n/TQorPortMessages.h"

#include "i18n/TLocalizationModule.h"

#include <exception>

TQorPortMessages::TQorPortMessages()
{
    AddResourceDomain("qorport");
    try {
        for (std::size_t i = 0; i < Count; ++i)
            fTexts[i] = Translate(SourceTexts[i]);
        // Open every resource catalogue now, so that a damaged one shows up at start-up rather
        // than inside the first dialog that needs it.
        if (TLocalizationModule* module = LocalizationModule()) {
            for (const std::string& domain : module->ResourceDomains())
                TranslateInDomain(domain, "");
        }
    } catch (const std::exception& error) {
        for (std::size_t i = 0; i < Count; ++i)
            fTexts[i] = std::string(SourceTexts[i]);
        if (TLocalizationModule* module = LocalizationModule()) {
            module->StopTranslating();
            module->ReportError(error.what());
        }
    }
}
