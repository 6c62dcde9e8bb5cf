#pragma once
#include <QTranslator>

#include <functional>
#include <mutex>
#include <set>
#include <string>

// Routes every text the toolkit asks to translate through the resource domains of the
// localization module ("default", then "qorport"), so that standard dialogs and the runtime's
// messages follow the catalogues.
//
// A catalogue error inside translate() must not unwind through Qt: it is written to the error
// sink once per distinct message (standard error by default; a dialog is not shown from inside
// a translation) and the source text is used.
class TResourceTranslator : public QTranslator
{
    Q_OBJECT
public:
    using TErrorSink = std::function<void(const std::string& message)>;

    explicit TResourceTranslator(TErrorSink errorSink = {}, QObject* parent = nullptr);

    QString translate(const char* context, const char* sourceText,
                      const char* disambiguation = nullptr, int n = -1) const override;
    // An empty translator is refused by QCoreApplication::installTranslator.
    bool isEmpty() const override { return false; }

private:
    void Report(const std::string& message) const;

    TErrorSink fErrorSink;
    mutable std::mutex fReportedLock;
    mutable std::set<std::string> fReported;
};
