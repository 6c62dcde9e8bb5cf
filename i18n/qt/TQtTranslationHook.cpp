#include "i18n/qt/TQtTranslationHook.h"

#include <QCoreApplication>
#include <stdexcept>

TQtTranslationHook::TQtTranslationHook(TResourceTranslator::TErrorSink errorSink)
    : fResourceTranslator(std::make_unique<TResourceTranslator>(std::move(errorSink)))
{
    if (!QCoreApplication::instance() ||
        !QCoreApplication::installTranslator(fResourceTranslator.get()))
        throw std::logic_error("The resource translator needs a running application object");
}

TQtTranslationHook::~TQtTranslationHook()
{
    if (QCoreApplication::instance()) QCoreApplication::removeTranslator(fResourceTranslator.get());
}
