#pragma once
#include "TQtTranslationHook.h"
#include "i18n/TQorPortMessages.h"

// Brings the running localization module into the Qt application: installs the resource
// translator, then runs the serial library's message start-up (which adds "qorport" and opens
// the catalogues). Create it after the application object and before the main window.
class TQtLocalization
{
public:
    explicit TQtLocalization(TResourceTranslator::TErrorSink translationErrors = {})
        : Hook(std::move(translationErrors))
    {
    }

    const TQorPortMessages& SerialMessages() const { return Messages; }

private:
    TQtTranslationHook Hook;
    TQorPortMessages Messages;
};
