#include "app/TFindBar.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLineEdit>
#include <QToolButton>

TFindBar::TFindBar(QWidget* parent)
    : QFrame(parent), fEdit(new QLineEdit(this)), fMatchCase(new QCheckBox(tr("Match case"), this)),
      fPrevious(new QToolButton(this)), fNext(new QToolButton(this)), fClose(new QToolButton(this))
{
    setObjectName(QStringLiteral("FindBar"));
    setFrameShape(QFrame::StyledPanel);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Window);
    fEdit->setPlaceholderText(tr("Find"));
    fEdit->setClearButtonEnabled(false);
    fPrevious->setArrowType(Qt::UpArrow);
    fPrevious->setToolTip(tr("Previous (Shift+F3)"));
    fNext->setArrowType(Qt::DownArrow);
    fNext->setToolTip(tr("Next (F3)"));
    fClose->setText(QStringLiteral("\u00D7"));
    fClose->setToolTip(tr("Close (Esc)"));
    for (QToolButton* button : {fPrevious, fNext, fClose})
        button->setAutoRaise(true);

    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(3, 2, 3, 2);
    row->setSpacing(3);
    row->addWidget(fEdit, 1);
    row->addWidget(fMatchCase);
    row->addWidget(fPrevious);
    row->addWidget(fNext);
    row->addWidget(fClose);

    const auto changed = [this] {
        if (OnChanged) OnChanged(Word(), MatchCase());
    };
    connect(fEdit, &QLineEdit::textEdited, this, changed);
    connect(fMatchCase, &QCheckBox::toggled, this, changed);
    connect(fPrevious, &QToolButton::clicked, this, [this] {
        if (OnPrevious) OnPrevious();
    });
    connect(fNext, &QToolButton::clicked, this, [this] {
        if (OnNext) OnNext();
    });
    connect(fClose, &QToolButton::clicked, this, [this] {
        if (OnClose) OnClose();
    });
    hide();
}

void TFindBar::Open(const QString& word)
{
    if (!word.isEmpty()) fEdit->setText(word);
    show();
    raise();
    fEdit->setFocus(Qt::ShortcutFocusReason);
    fEdit->selectAll();
}

QString TFindBar::Word() const
{
    return fEdit->text();
}

bool TFindBar::MatchCase() const
{
    return fMatchCase->isChecked();
}

void TFindBar::ShowFound(bool found)
{
    QPalette colours = fEdit->palette();
    colours.setColor(QPalette::Text, found ? parentWidget()->palette().color(QPalette::Text)
                                           : QColor(0xFF, 0x50, 0x50));
    fEdit->setPalette(colours);
}

void TFindBar::keyPressEvent(QKeyEvent* event)
{
    // Return must stop here: past the bar it would click the window's default button.
    switch (event->key()) {
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (event->modifiers() & Qt::ShiftModifier) {
            if (OnPrevious) OnPrevious();
        } else if (OnNext) {
            OnNext();
        }
        return event->accept();
    case Qt::Key_Escape:
        if (OnClose) OnClose();
        return event->accept();
    default:
        QFrame::keyPressEvent(event);
    }
}
