#pragma once
// The application's one error report: a modal "Tarvel" box with an error icon and one OK button.
// Every handler of the window is run through Guard(), and TApplication::notify catches whatever
// still escapes an event, so a failing handler ends at its failing step and the operator sees why.

#include <QString>

#include <exception>
#include <functional>
#include <string_view>

class TErrorReport
{
public:
    // Receives the finished text of each report instead of the modal box (tests).
    using TSink = std::function<void(const QString& text)>;

    // Shows the box for an error message (UTF-8), adding the full stop where it is due.
    static void Show(std::string_view message);

    // Replaces the modal box by sink (an empty sink restores the box); returns the previous sink.
    static TSink SetSink(TSink sink);

    // Runs a handler and reports a std::exception escaping from it.
    template <class Handler> static void Guard(Handler&& handler)
    {
        try {
            handler();
        } catch (const std::exception& error) {
            Show(error.what());
        }
    }

    // The modal box itself, as the operator sees it.
    static void ShowBox(const QString& text);
};
