#pragma once
// The find bar over the terminal's bottom edge: the word, "Match case", previous, next and close.
// It only shows and forwards; the terminal view searches and draws.

#include <QFrame>

#include <functional>

class QCheckBox;
class QLineEdit;
class QToolButton;

class TFindBar : public QFrame
{
    Q_OBJECT
public:
    explicit TFindBar(QWidget* parent);

    // What was typed and the case choice, on every change of either.
    std::function<void(const QString& word, bool matchCase)> OnChanged;
    std::function<void()> OnNext;
    std::function<void()> OnPrevious;
    std::function<void()> OnClose;

    // Shows the bar with word in it, all of it selected for typing over.
    void Open(const QString& word);
    QString Word() const;
    bool MatchCase() const;
    // A word that is not in the text shows in red.
    void ShowFound(bool found);

    QLineEdit* Edit() const { return fEdit; }
    QCheckBox* MatchCaseBox() const { return fMatchCase; }

protected:
    void keyPressEvent(QKeyEvent* event) override;

private:
    QLineEdit* fEdit;
    QCheckBox* fMatchCase;
    QToolButton* fPrevious;
    QToolButton* fNext;
    QToolButton* fClose;
};
