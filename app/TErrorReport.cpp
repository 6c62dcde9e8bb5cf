#include "app/TErrorReport.h"

#include "window/ErrorBoxText.h"

#include <QMessageBox>

namespace {
TErrorReport::TSink& CurrentSink()
{
    static TErrorReport::TSink sink;
    return sink;
}
} // namespace

void TErrorReport::Show(std::string_view message)
{
    const QString text = QString::fromUtf8(ErrorBoxText(message));
    // A copy, so a sink that replaces itself while reporting stays alive.
    const TSink sink = CurrentSink();
    if (sink)
        sink(text);
    else
        ShowBox(text);
}

TErrorReport::TSink TErrorReport::SetSink(TSink sink)
{
    TSink previous = std::move(CurrentSink());
    CurrentSink() = std::move(sink);
    return previous;
}

void TErrorReport::ShowBox(const QString& text)
{
    QMessageBox box(QMessageBox::Critical, QStringLiteral("Tarvel"), text, QMessageBox::Ok);
    box.setObjectName("ErrorReportBox");
    box.exec();
}
