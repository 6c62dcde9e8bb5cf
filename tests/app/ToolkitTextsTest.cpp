// Every toolkit text the window can show (box captions and buttons, the file dialog, the reasons
// of an open failure) has an Italian and a French translation in the shipped catalogues.
#include "app/TErrorReport.h"
#include "app/TForm1.h"
#include "session/OpenFailureReason.h"

#include <QApplication>
#include <QDialog>
#include <QFile>
#include <QFileDialog>
#include <QMenu>
#include <QRegularExpression>
#include <QSet>
#include <QTimer>
#include <QTranslator>

#include <gtest/gtest.h>

namespace {

// Notes every text the toolkit asks to have translated, and translates none.
class TRecordingTranslator : public QTranslator
{
public:
    QString translate(const char* context, const char* sourceText, const char* disambiguation,
                      int n) const override
    {
        (void)disambiguation, (void)n;
        // Key names and key sequences serve to read and write shortcuts, which must stay as they
        // are; the layout direction is a setting Qt asks the catalogue for, not a text.
        if (qstrcmp(context, "QShortcut") == 0 || qstrncmp(sourceText, "Alt+", 4) == 0 ||
            qstrcmp(sourceText, "QT_LAYOUT_DIRECTION") == 0)
            return {};
        if (sourceText != nullptr && *sourceText != '\0')
            Asked.insert(QString::fromUtf8(sourceText) + QChar(u'\x1f') +
                         QString::fromUtf8(context));
        return {};
    }
    bool isEmpty() const override { return false; }
    mutable QSet<QString> Asked;
};

QSet<QString> CatalogueIds(const QString& language)
{
    QFile file(QStringLiteral(TARVEL_PO_DIR "/") + language + QStringLiteral(".po"));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << file.fileName().toStdString();
    QSet<QString> ids;
    QString current;
    bool inId = false;
    static const QRegularExpression quoted(QStringLiteral("^(?:msgid )?\"(.*)\"$"));
    for (const QString& line : QString::fromUtf8(file.readAll()).split('\n')) {
        const auto match = quoted.match(line);
        if (line.startsWith(QLatin1String("msgid "))) {
            inId = true;
            current = match.captured(1);
        } else if (inId && match.hasMatch()) {
            current += match.captured(1);
        } else if (inId) {
            ids.insert(current.replace(QLatin1String("\\\""), QLatin1String("\"")));
            inId = false;
        }
    }
    return ids;
}

// Closes whatever modal window opens next, once it has been shown and laid out.
void CloseNextModal()
{
    auto* poll = new QTimer;
    QObject::connect(poll, &QTimer::timeout, [poll] {
        if (auto* dialog = qobject_cast<QDialog*>(QApplication::activeModalWidget())) {
            dialog->reject();
            poll->deleteLater();
        }
    });
    poll->start(100);
}

TEST(ToolkitTexts, EveryTextTheWindowCanShowIsTranslated)
{
    TRecordingTranslator recorder;
    QCoreApplication::installTranslator(&recorder);
    {
        TForm1 form;
        form.show();
        CloseNextModal();
        form.ShowWarning(QStringLiteral("Flash in corso, impossibile fermare. !!!"));
        CloseNextModal();
        TErrorReport::ShowBox(QStringLiteral("Port not open."));
        CloseNextModal();
        form.ChooseFirmwareFile();
        CloseNextModal();
        form.ChooseLogFolder();
        CloseNextModal();
        form.AskLogDays();
        form.reTerminal->CreateContextMenu();
        form.CreateTerminalContextMenu();
    }
    QCoreApplication::removeTranslator(&recorder);

    // The reasons of an open failure are looked up without the toolkit.
    for (const char* text : OpenFailureReasonTexts())
        recorder.Asked.insert(QString::fromUtf8(text) + QChar(u'\x1f') + QStringLiteral("Serial"));
    QSet<QString> asked;
    for (const QString& entry : recorder.Asked)
        asked.insert(entry.section(QChar(u'\x1f'), 0, 0));
    ASSERT_TRUE(asked.contains(QStringLiteral("Warning")));
    for (const QString& language : {QStringLiteral("it"), QStringLiteral("fr")}) {
        const QSet<QString> ids = CatalogueIds(language);
        for (const QString& entry : recorder.Asked) {
            const QString text = entry.section(QChar(u'\x1f'), 0, 0);
            EXPECT_TRUE(ids.contains(text))
                << language.toStdString() << ": \"" << text.toStdString() << "\" ("
                << entry.section(QChar(u'\x1f'), 1).toStdString() << ")";
        }
    }
}

} // namespace
