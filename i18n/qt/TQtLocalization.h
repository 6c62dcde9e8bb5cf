#pragma once
#include "i18n/TQorPortMessages.h"
#include "i18n/qt/TQtTranslationHook.h"

// Brings the running localization module into the Qt application: runs the serial library's
// message start-up (which adds "qorport" and opens the catalogues, so a damaged one is reported
// once and translation switched off), then installs the resource translator (Qt asks it for texts
// at once). Create it after the application object and before the main window.
class TQtLocalization
{
public:
    explicit TQtLocalization(TResourceTranslator::TErrorSink translationErrors = {})
        : fHook(std::move(translationErrors))
    {
    }

private:
    TQorPortMessages fMessages;
    TQtTranslationHook fHook;
};
