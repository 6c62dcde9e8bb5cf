#include "i18n/qt/TResourceTranslator.h"

#include "../TLocalizationModule.h"

#include <exception>
#include <iostream>
#include <string>

TResourceTranslator::TResourceTranslator(TErrorSink errorSink, QObject* parent)
    : QTranslator(parent), fErrorSink(std::move(errorSink))
{
}

QString TResourceTranslator::translate(const char* /*context*/, const char* sourceText,
                                       const char* /*disambiguation*/, int /*n*/) const
{
    if (!sourceText) return {};
    try {
        // The catalogues answer with CR LF line ends; Qt lays out LF-separated lines and would
        // keep the CR as a character of the text.
        std::string translated = TranslateResourceString(sourceText);
        for (auto at = translated.find("\r\n"); at != std::string::npos;
             at = translated.find("\r\n", at))
            translated.erase(at, 1);
        if (translated == sourceText)
            return {}; // let Qt use the source text or ask the next translator
        return QString::fromUtf8(translated.data(), static_cast<qsizetype>(translated.size()));
    } catch (const std::exception& error) {
        Report(error.what());
        return {};
    }
}

void TResourceTranslator::Report(const std::string& message) const
{
    {
        std::lock_guard lock(fReportedLock);
        if (!fReported.insert(message).second) return;
    }
    if (fErrorSink)
        fErrorSink(message);
    else
        std::cerr << "Tarvel: " << message << std::endl;
}
