#pragma once
#include "i18n/qt/TResourceTranslator.h"

#include <memory>

// Installs a TResourceTranslator on the running QCoreApplication for as long as it lives. Create
// it after the application object and before the main window; it removes the translator again
// when it goes.
class TQtTranslationHook
{
public:
    explicit TQtTranslationHook(TResourceTranslator::TErrorSink errorSink = {});
    TQtTranslationHook(const TQtTranslationHook&) = delete;
    TQtTranslationHook& operator=(const TQtTranslationHook&) = delete;
    ~TQtTranslationHook();

    const TResourceTranslator& Translator() const { return *fResourceTranslator; }

private:
    std::unique_ptr<TResourceTranslator> fResourceTranslator;
};
