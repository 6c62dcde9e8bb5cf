#include "app/TTerminalView.h"

#include <QSaveFile>

#include <stdexcept>

#include "app/TFindBar.h"
#include "app/TerminalDecoder.h"
#include "terminal/HexDump.h"
#include "terminal/LineTimeText.h"

#include <QApplication>
#include <QClipboard>
#include <QFontDatabase>
#include <QKeyEvent>
#include <QLocale>
#include <QMenu>
#include <QMessageBox>
#include <QPainter>
#include <QScrollBar>
#include <QShortcut>

#include <algorithm>
#include <climits>
#include <cmath>
#include <utility>

namespace {

// The raw log only needs memory for the block being filled; the rest waits on disk.
constexpr std::uint64_t ReceivedBytesInMemory = 0;

qreal HeightOf(const QTextLayout& layout)
{
    return layout.boundingRect().height();
}

} // namespace

TTerminalView::TTerminalView(QWidget* parent)
    : QAbstractScrollArea(parent), fReceived(ReceivedBytesInMemory, TTerminalText::DefaultFile),
      fFindBar(new TFindBar(this))
{
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    horizontalScrollBar()->setRange(0, 0);
    horizontalScrollBar()->setSingleStep(1);
    horizontalScrollBar()->setPageStep(1);
    setFocusPolicy(Qt::StrongFocus);
    viewport()->setCursor(Qt::IBeamCursor);
    viewport()->setBackgroundRole(QPalette::Base);
    verticalScrollBar()->setSingleStep(1);
    fFlushTimer.setSingleShot(true);
    fFlushTimer.setInterval(FlushIntervalMs);
    connect(&fFlushTimer, &QTimer::timeout, this, &TTerminalView::FlushReceived);

    fFindBar->OnChanged = [this](const QString& word, bool matchCase) {
        FindWord(word, matchCase);
    };
    fFindBar->OnNext = [this] { FindNext(); };
    fFindBar->OnPrevious = [this] { FindPrevious(); };
    fFindBar->OnClose = [this] { CloseFind(); };
    // A zero timer: one slice of the search per pass of the event loop, so typing and received
    // bytes are served between slices.
    fSearchTimer.setInterval(0);
    connect(&fSearchTimer, &QTimer::timeout, this, &TTerminalView::SearchStep);
    // Anywhere in the window, as in any program with a find bar.
    new QShortcut(QKeySequence::Find, this, [this] { OpenFind(); });
    new QShortcut(QKeySequence(Qt::Key_F3), this, [this] { FindNext(); });
    new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3), this, [this] { FindPrevious(); });
    ShowNotice = [this](const QString& text) {
        QMessageBox box(QMessageBox::Information, tr("Copy"), text, QMessageBox::Ok, this);
        box.exec();
    };
}

TTerminalView::~TTerminalView() = default;

void TTerminalView::AppendReceived(std::string_view bytes)
{
    const std::uint64_t changedFrom = fText.CurrentLineStart();
    fReceived.Append(bytes, fClock());
    fText.AppendReceived(bytes);
    SayWhatWentWrongWithTheFiles();
    TextChanged(changedFrom, false);
}

void TTerminalView::FlushReceived()
{
    fFlushTimer.stop();
    fSelectionAnchor = std::min(fSelectionAnchor, fText.Size());
    fSelectionEnd = std::min(fSelectionEnd, fText.Size());
    const bool wasPlaced = fPlacedValid && fUnchangedBefore > 0;
    fCatchingUp = true;
    UpdateScrollRange();
    fCatchingUp = false;
    fPlacedValid = false;
    if (wasPlaced && isVisible() && !fHexView)
        RepaintChangedParagraphs();
    else
        viewport()->update();
}

// Text that only grew moves what is shown up by whole rows, or not at all: those pixels are
// moved, and only the paragraphs laid out anew are painted (a trickle of text costs a row, not
// the pane).
void TTerminalView::RepaintChangedParagraphs()
{
    const std::vector<TPlacedParagraph>& placed = Placed();
    std::optional<qreal> shift;
    QRegion changed;
    const int width = viewport()->width();
    for (const TPlacedParagraph& paragraph : placed) {
        const QRect area =
            QRectF(0, paragraph.Top, width, HeightOf(*paragraph.Layout)).toAlignedRect();
        if (!paragraph.PaintedAt) {
            changed += area;
            continue;
        }
        const qreal moved = paragraph.Top - *paragraph.PaintedAt;
        if (shift && *shift != moved) return viewport()->update(); // not one move: all of it
        shift = moved;
    }
    if (shift && *shift != 0) {
        if (*shift != std::round(*shift)) return viewport()->update();
        viewport()->scroll(0, static_cast<int>(*shift));
    }
    if (!placed.empty()) {
        // What lies beyond the text (the margins, rows a shorter text left) is painted as well.
        changed += QRect(0, 0, width, static_cast<int>(placed.front().Top));
        const TPlacedParagraph& last = placed.back();
        const int below = static_cast<int>(last.Top + HeightOf(*last.Layout));
        changed += QRect(0, below, width, viewport()->height() - below);
    }
    viewport()->update(changed);
}

void TTerminalView::SayWhatWentWrongWithTheFiles()
{
    std::optional<std::string> why = fText.TakeSpillError();
    if (!why) why = fReceived.TakeSpillError();
    if (!why) return;
    fText.AppendLine(
        TTerminalDecoder::EncodeShown(QString::fromStdString("[Terminale: " + *why + "]")));
}

// The store has the change at once; the pane catches up within FlushIntervalMs, so a transfer
// that rewrites its answer line hundreds of times a second costs one repaint per interval.
void TTerminalView::TextChanged(std::uint64_t changedFrom, bool shortened)
{
    fUnchangedBefore = std::min(fUnchangedBefore, changedFrom);
    if (shortened) fTopAnchorFills = false;
    if (!fFlushTimer.isActive()) fFlushTimer.start();
}

void TTerminalView::ClearText()
{
    fReceived.Clear();
    fHexSelection.reset();
    ReplaceText({});
}

void TTerminalView::ReplaceText(const QString& text)
{
    fFlushTimer.stop();
    fText.Clear();
    fText.AppendText(TTerminalDecoder::EncodeShown(text));
    fSelectionAnchor = fSelectionEnd = 0;
    fCurrentMatch.reset();
    TextChanged(0, true);
}

void TTerminalView::AppendLine(const QString& line)
{
    const std::uint64_t changedFrom = fText.Size();
    fText.AppendLine(TTerminalDecoder::EncodeShown(line));
    TextChanged(changedFrom, false);
}

void TTerminalView::DeleteLine(int index)
{
    if (index < 0 || index >= LineCount()) return;
    const std::uint64_t start = fText.LineStart(index);
    fText.DeleteLine(index);
    if (fCurrentMatch && *fCurrentMatch >= start) fCurrentMatch.reset();
    TextChanged(start > 0 ? start - 1 : 0, true); // from the line end before it
}

int TTerminalView::LineCount() const
{
    return static_cast<int>(fText.LineCount());
}

QString TTerminalView::LineText(int index) const
{
    if (index < 0 || index >= LineCount()) return {};
    return Shown(fText.LineStart(index), fText.LineEnd(index));
}

QString TTerminalView::Text() const
{
    return Shown(0, fText.Size());
}

qint64 TTerminalView::CharacterCount() const
{
    return static_cast<qint64>(fText.Size());
}

QString TTerminalView::Shown(std::uint64_t start, std::uint64_t end) const
{
    QString text;
    text.reserve(static_cast<qsizetype>(end - start));
    fText.Bytes().ForEach(start, end, [&](std::string_view piece) {
        for (const char byte : piece)
            text += byte == '\n' ? QChar(u'\n')
                                 : TTerminalDecoder::StoredChar(static_cast<unsigned char>(byte));
    });
    return text;
}

// The scroll bar's value is the line whose end is at the bottom of the pane. Below the lowest
// value that fills the pane (TopAnchor), the pane shows the text from its first line down.
void TTerminalView::UpdateScrollRange()
{
    if (fHexView) return UpdateHexScrollRange();
    QScrollBar* bar = verticalScrollBar();
    const bool followEnd = bar->value() >= bar->maximum();
    const int last = std::max(0, LineCount() - 1);
    const int rows = std::max(1, viewport()->height() / std::max(1, fontMetrics().lineSpacing()));
    bar->setPageStep(rows);
    bar->setRange(static_cast<int>(std::min<std::int64_t>(TopAnchor(), last)), last);
    if (followEnd) bar->setValue(bar->maximum());
    UpdateLineParts(false);
}

void TTerminalView::UpdateLineParts(bool toEnd)
{
    if (fHexView) return horizontalScrollBar()->setRange(0, 0);
    QScrollBar* across = horizontalScrollBar();
    const bool followEnd = toEnd || across->value() >= across->maximum();
    const std::int64_t line = verticalScrollBar()->value();
    std::uint64_t parts = 1;
    if (line >= 0 && line < fText.LineCount()) {
        const std::uint64_t length = fText.LineEnd(line) - fText.LineStart(line);
        parts = std::max<std::uint64_t>(1, (length + ParagraphBytes - 1) / ParagraphBytes);
    }
    across->setRange(0, static_cast<int>(std::min<std::uint64_t>(parts - 1, INT_MAX)));
    if (followEnd) across->setValue(across->maximum());
}

std::int64_t TTerminalView::TopAnchor() const
{
    // Once the text fills the pane, appending cannot change where that happens.
    if (fTopAnchorFills) return fTopAnchor;
    const qreal height = viewport()->height() - 2 * Margin;
    qreal filled = 0;
    std::int64_t filledAt = -1;
    ForEachParagraphFromTheTop([&](std::int64_t line, std::uint64_t start, std::uint64_t end) {
        filled += HeightOf(*LayOut(start, end));
        if (filled < height) return true;
        filledAt = line;
        return false;
    });
    fTopAnchorFills = filledAt >= 0;
    fTopAnchor = fTopAnchorFills ? filledAt : std::max<std::int64_t>(0, fText.LineCount() - 1);
    return fTopAnchor;
}

void TTerminalView::ForEachParagraphFromTheTop(
    const std::function<bool(std::int64_t, std::uint64_t, std::uint64_t)>& take) const
{
    for (std::int64_t line = 0; line < fText.LineCount(); ++line) {
        const std::uint64_t end = fText.LineEnd(line);
        for (std::uint64_t start = fText.LineStart(line);; start += ParagraphBytes) {
            if (!take(line, start, std::min(end, start + ParagraphBytes))) return;
            if (start + ParagraphBytes >= end) break;
        }
    }
}

std::unique_ptr<QTextLayout> TTerminalView::LayOut(std::uint64_t start, std::uint64_t end) const
{
    auto layout = std::make_unique<QTextLayout>(Shown(start, end), font(), viewport());
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    option.setTabStopDistance(8 * fontMetrics().horizontalAdvance(QLatin1Char(' ')));
    layout->setTextOption(option);
    const qreal width = std::max<qreal>(1, viewport()->width() - TextLeft() - Margin);
    qreal height = 0;
    layout->beginLayout();
    for (QTextLine row = layout->createLine(); row.isValid(); row = layout->createLine()) {
        row.setLineWidth(width);
        row.setPosition(QPointF(0, height));
        height += row.height();
    }
    layout->endLayout();
    return layout;
}

const std::vector<TTerminalView::TPlacedParagraph>& TTerminalView::Placed() const
{
    if (fPlacedValid) return fPlaced;
    fPlacedValid = true;
    // Paragraphs laid out for the last repaint are used again when their bytes are unchanged:
    // while the pane follows the end, only the new lines need a layout.
    std::vector<TPlacedParagraph> previous = std::exchange(fPlaced, {});
    const std::uint64_t unchangedBefore = std::exchange(fUnchangedBefore, UINT64_MAX);
    const auto layOut = [&](std::uint64_t start, std::uint64_t end) {
        const auto found = std::lower_bound(
            previous.begin(), previous.end(), start,
            [](const TPlacedParagraph& placed, std::uint64_t at) { return placed.Start < at; });
        if (found != previous.end() && found->Layout && found->Start == start &&
            end <= unchangedBefore &&
            static_cast<std::uint64_t>(found->Layout->text().size()) == end - start)
            return std::pair(std::move(found->Layout), std::optional<qreal>(found->Top));
        return std::pair(this->LayOut(start, end), std::optional<qreal>());
    };
    if (fText.LineCount() == 0) return fPlaced;
    const qreal height = viewport()->height();
    const std::int64_t anchor = verticalScrollBar()->value();
    const QScrollBar* across = horizontalScrollBar();
    const bool partChosen = across->value() < across->maximum();
    const auto fromTheTop = [&] {
        qreal top = Margin;
        ForEachParagraphFromTheTop([&](std::int64_t line, std::uint64_t start, std::uint64_t end) {
            if (top >= height) return false;
            auto [layout, paintedAt] = layOut(start, end);
            const qreal next = top + HeightOf(*layout);
            fPlaced.push_back({start, line, std::move(layout), top, paintedAt});
            top = next;
            return true;
        });
    };
    // A line of several parts at the bottom shows the part the horizontal bar says, its last
    // by default, wherever it lies.
    if (anchor <= TopAnchor() && across->maximum() == 0) {
        fromTheTop();
        return fPlaced;
    }
    // From the anchor's end up, or from the part of it the horizontal bar chose; otherwise a
    // long line shows its last parts.
    qreal bottom = height - Margin;
    for (std::int64_t line = anchor; line >= 0 && bottom > 0; --line) {
        const std::uint64_t first = fText.LineStart(line);
        const std::uint64_t end = fText.LineEnd(line);
        std::uint64_t start =
            end > first ? first + (end - first - 1) / ParagraphBytes * ParagraphBytes : first;
        if (line == anchor && partChosen)
            start = std::min(start,
                             first + static_cast<std::uint64_t>(across->value()) * ParagraphBytes);
        for (; bottom > 0; start -= ParagraphBytes) {
            auto [layout, paintedAt] = layOut(start, std::min(end, start + ParagraphBytes));
            bottom -= HeightOf(*layout);
            fPlaced.push_back({start, line, std::move(layout), bottom, paintedAt});
            if (start == first) break;
        }
    }
    if (bottom > Margin) { // what lies above does not fill the pane: it starts at the top
        fPlaced.clear();
        fromTheTop();
        return fPlaced;
    }
    std::reverse(fPlaced.begin(), fPlaced.end());
    return fPlaced;
}

void TTerminalView::paintEvent(QPaintEvent* event)
{
    QPainter painter(viewport());
    if (fHexView) return PaintHex(painter, event->rect());
    const std::uint64_t selectionStart = std::min(fSelectionAnchor, fSelectionEnd);
    const std::uint64_t selectionEnd = std::max(fSelectionAnchor, fSelectionEnd);
    QTextCharFormat selected;
    selected.setBackground(palette().brush(QPalette::Highlight));
    selected.setForeground(palette().brush(QPalette::HighlightedText));
    QTextCharFormat match;
    match.setBackground(MatchBackground());
    QTextCharFormat current;
    current.setBackground(CurrentMatchBackground());
    current.setForeground(QColor(Qt::black));
    painter.setPen(palette().color(QPalette::Text));
    const QRect dirty = event->rect();
    const QColor gutterPen = palette().color(QPalette::PlaceholderText);
    const std::vector<TPlacedParagraph>& placed = Placed();
    std::vector<std::uint64_t> matches;
    const std::uint64_t matchLength = fSearch.Pattern().size();
    if (fFindBar->isVisible() && !placed.empty()) {
        const TPlacedParagraph& last = placed.back();
        matches =
            fSearch.MatchesWithin(placed.front().Start, last.Start + last.Layout->text().size());
    }
    for (const TPlacedParagraph& paragraph : placed) {
        if (paragraph.Top > dirty.bottom() + 1 ||
            paragraph.Top + HeightOf(*paragraph.Layout) < dirty.top())
            continue;
        QList<QTextLayout::FormatRange> selections;
        const std::uint64_t end = paragraph.Start + paragraph.Layout->text().size();
        for (const std::uint64_t at : matches) {
            const std::uint64_t from = std::max(at, paragraph.Start);
            const std::uint64_t to = std::min(at + matchLength, end);
            if (from >= to) continue;
            selections.append({static_cast<int>(from - paragraph.Start),
                               static_cast<int>(to - from), at == fCurrentMatch ? current : match});
        }
        if (selectionStart < end && selectionEnd > paragraph.Start) {
            const std::uint64_t from = std::max(selectionStart, paragraph.Start);
            const std::uint64_t to = std::min(selectionEnd, end);
            selections.append(
                {static_cast<int>(from - paragraph.Start), static_cast<int>(to - from), selected});
        }
        paragraph.Layout->draw(&painter, QPointF(TextLeft(), paragraph.Top), selections);
        // The time goes before a line's first part only.
        if (fShowTimestamps && paragraph.Start == fText.LineStart(paragraph.Line)) {
            painter.setPen(gutterPen);
            painter.drawText(QPointF(Margin, paragraph.Top + fontMetrics().ascent()),
                             GutterText(static_cast<int>(paragraph.Line)));
            painter.setPen(palette().color(QPalette::Text));
        }
    }
}

void TTerminalView::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    PlaceFindBar();
    TextChanged(0, true); // every line wraps anew
    FlushReceived();
}

void TTerminalView::changeEvent(QEvent* event)
{
    QAbstractScrollArea::changeEvent(event);
    if (event->type() != QEvent::FontChange) return;
    LayOutAgain();
}

void TTerminalView::scrollContentsBy(int /*dx*/, int dy)
{
    if (dy != 0) UpdateLineParts(true); // another line at the bottom: from its end
    fPlacedValid = false;
    if (!fCatchingUp) viewport()->update();
}

std::uint64_t TTerminalView::OffsetAt(QPointF point) const
{
    const std::vector<TPlacedParagraph>& placed = Placed();
    if (placed.empty()) return 0;
    if (point.y() < placed.front().Top) return placed.front().Start;
    for (const TPlacedParagraph& paragraph : placed) {
        const QTextLayout& layout = *paragraph.Layout;
        const qreal y = point.y() - paragraph.Top;
        if (y >= HeightOf(layout)) continue;
        for (int i = 0; i < layout.lineCount(); ++i) {
            const QTextLine row = layout.lineAt(i);
            if (y < row.y() + row.height() || i + 1 == layout.lineCount())
                return paragraph.Start +
                       static_cast<std::uint64_t>(row.xToCursor(point.x() - TextLeft()));
        }
    }
    const TPlacedParagraph& last = placed.back();
    return last.Start + static_cast<std::uint64_t>(last.Layout->text().size());
}

void TTerminalView::MoveSelectionEnd(std::uint64_t offset, bool keepAnchor)
{
    fSelectionEnd = std::min(offset, fText.Size());
    if (!keepAnchor) fSelectionAnchor = fSelectionEnd;
    viewport()->update();
}

QString TTerminalView::SelectedText() const
{
    if (fHexView)
        return fHexSelection ? HexRows(std::min(fHexSelection->first, fHexSelection->second),
                                       std::max(fHexSelection->first, fHexSelection->second))
                             : QString();
    return Shown(std::min(fSelectionAnchor, fSelectionEnd),
                 std::max(fSelectionAnchor, fSelectionEnd));
}

void TTerminalView::SelectAll()
{
    if (fHexView) {
        const std::uint64_t rows = HexRowCount(fReceived.Bytes());
        if (rows > 0) fHexSelection = {0, rows - 1};
        return viewport()->update();
    }
    fSelectionAnchor = 0;
    MoveSelectionEnd(fText.Size(), true);
}

void TTerminalView::CopySelection() const
{
    if (fHexView) {
        if (!fHexSelection) return;
        const std::uint64_t from = std::min(fHexSelection->first, fHexSelection->second);
        const std::uint64_t to = std::max(fHexSelection->first, fHexSelection->second);
        // The same bound as the text's, in rows of their shown width.
        const std::uint64_t most = std::max<std::uint64_t>(1, fCopyLimit / (HexRowWidth + 1));
        QApplication::clipboard()->setText(HexRows(from, std::min(to, from + most - 1)));
        if (to - from + 1 > most && ShowNotice)
            ShowNotice(tr("The selection is longer than can be copied: only its first %1 "
                          "characters were copied. \"Save log…\" saves the whole session.")
                           .arg(QLocale().toString(static_cast<qulonglong>(fCopyLimit))));
        return;
    }
    const std::uint64_t from = std::min(fSelectionAnchor, fSelectionEnd);
    const std::uint64_t to = std::max(fSelectionAnchor, fSelectionEnd);
    if (from == to) return;
    const bool cut = to - from > fCopyLimit;
    QApplication::clipboard()->setText(Shown(from, cut ? from + fCopyLimit : to));
    if (cut && ShowNotice)
        ShowNotice(tr("The selection is longer than can be copied: only its first %1 characters "
                      "were copied. \"Save log…\" saves the whole session.")
                       .arg(QLocale().toString(static_cast<qulonglong>(fCopyLimit))));
}

std::unique_ptr<QMenu> TTerminalView::CreateContextMenu()
{
    auto menu = std::make_unique<QMenu>(this);
    QAction* copy = menu->addAction(tr("&Copy"), this, &TTerminalView::CopySelection);
    copy->setShortcut(QKeySequence::Copy);
    copy->setEnabled(fHexView ? fHexSelection.has_value() : fSelectionAnchor != fSelectionEnd);
    QAction* all = menu->addAction(tr("Select All"), this, &TTerminalView::SelectAll);
    all->setShortcut(QKeySequence::SelectAll);
    all->setEnabled(fText.Size() > 0);
    QAction* find = menu->addAction(tr("Find…"), this, &TTerminalView::OpenFind);
    find->setShortcut(QKeySequence::Find);
    find->setEnabled(!fHexView); // the search is through the text
    all->setEnabled(fHexView ? fReceived.Bytes().Size() > 0 : fText.Size() > 0);
    menu->addSeparator();
    const auto addSwitch = [&](const QString& text, bool on, void (TTerminalView::*set)(bool)) {
        QAction* action = menu->addAction(text);
        action->setCheckable(true);
        action->setChecked(on);
        connect(action, &QAction::toggled, this, [this, set](bool checked) {
            (this->*set)(checked);
            if (OnSwitched) OnSwitched();
        });
        return action;
    };
    addSwitch(tr("Show timestamps"), fShowTimestamps, &TTerminalView::SetShowTimestamps);
    addSwitch(tr("Time since previous line"), fTimeSincePrevious,
              &TTerminalView::SetTimeSincePrevious)
        ->setEnabled(fShowTimestamps);
    addSwitch(tr("Hex view"), fHexView, &TTerminalView::SetHexView);
    return menu;
}

QColor TTerminalView::MatchBackground()
{
    return {0x80, 0x66, 0x00};
}

QColor TTerminalView::CurrentMatchBackground()
{
    return {0xFF, 0x99, 0x00};
}

void TTerminalView::OpenFind()
{
    if (fHexView) return;
    // A short selection on one line is what the operator most likely wants to find.
    QString word;
    const std::uint64_t from = std::min(fSelectionAnchor, fSelectionEnd);
    const std::uint64_t to = std::max(fSelectionAnchor, fSelectionEnd);
    if (to > from && to - from <= 200 && fText.LineAt(from) == fText.LineAt(to))
        word = SelectedText();
    fFindBar->Open(word);
    PlaceFindBar();
    FindWord(fFindBar->Word(), fFindBar->MatchCase());
}

void TTerminalView::CloseFind()
{
    fSearchTimer.stop();
    const bool hadFocus = fFindBar->isAncestorOf(QApplication::focusWidget());
    fFindBar->hide();
    if (hadFocus) setFocus(Qt::OtherFocusReason);
    viewport()->update();
}

void TTerminalView::FindNext()
{
    if (fHexView) return;
    if (fFindBar->Word().isEmpty()) return OpenFind();
    if (!fFindBar->isVisible()) {
        fFindBar->show();
        PlaceFindBar();
    }
    StartSearch(TTextSearch::TDirection::Forward,
                fCurrentMatch ? *fCurrentMatch + 1 : ShownRange().first);
}

void TTerminalView::FindPrevious()
{
    if (fHexView) return;
    if (fFindBar->Word().isEmpty()) return OpenFind();
    if (!fFindBar->isVisible()) {
        fFindBar->show();
        PlaceFindBar();
    }
    StartSearch(TTextSearch::TDirection::Backward,
                fCurrentMatch ? *fCurrentMatch : ShownRange().second);
}

// Each change of the word searches again from the current match, so typing on keeps it while it
// still matches.
void TTerminalView::FindWord(const QString& word, bool matchCase)
{
    std::string bytes = TTerminalDecoder::EncodeShown(word);
    // A character the terminal cannot show is in no line: nothing can match.
    for (std::size_t i = 0; i < bytes.size(); ++i)
        if (TTerminalDecoder::StoredChar(static_cast<unsigned char>(bytes[i])) != word[i])
            bytes.clear();
    const std::uint64_t from = fCurrentMatch ? *fCurrentMatch : ShownRange().first;
    fSearch.Start(bytes, matchCase, TTextSearch::TDirection::Forward, from);
    if (bytes.empty()) {
        fSearchTimer.stop();
        fCurrentMatch.reset();
        fFindBar->ShowFound(word.isEmpty());
        viewport()->update();
        return;
    }
    fSearchTimer.start();
}

void TTerminalView::StartSearch(TTextSearch::TDirection direction, std::uint64_t from)
{
    fSearch.Start(fSearch.Pattern(), fSearch.MatchCase(), direction, from);
    fSearchTimer.start();
}

void TTerminalView::SearchStep()
{
    const TTextSearch::TResult result =
        fSearch.Continue(UINT64_MAX, TTextSearch::TClock::now() + TTextSearch::StepTime);
    if (result.State == TTextSearch::TState::Searching) return;
    fSearchTimer.stop();
    const bool found = result.State == TTextSearch::TState::Found;
    fFindBar->ShowFound(found);
    if (found) {
        fCurrentMatch = result.Offset;
        ScrollToMatch(result.Offset);
    } else {
        fCurrentMatch.reset();
    }
    viewport()->update();
}

std::pair<std::uint64_t, std::uint64_t> TTerminalView::ShownRange() const
{
    const std::vector<TPlacedParagraph>& placed = Placed();
    if (placed.empty()) return {0, 0};
    const qreal bottom = fFindBar->isVisible() ? fFindBar->y() : viewport()->height();
    std::uint64_t first = placed.front().Start;
    std::uint64_t last = first;
    bool firstSet = false;
    for (const TPlacedParagraph& paragraph : placed) {
        if (paragraph.Top < 0) continue;
        if (paragraph.Top + HeightOf(*paragraph.Layout) > bottom) break;
        if (!std::exchange(firstSet, true)) first = paragraph.Start;
        last = paragraph.Start + static_cast<std::uint64_t>(paragraph.Layout->text().size());
    }
    return {first, std::max(first, last)};
}

void TTerminalView::ScrollToMatch(std::uint64_t offset)
{
    const auto [first, last] = ShownRange();
    if (offset >= first && offset + fSearch.Pattern().size() <= last) return;
    // The match's line about the middle of the pane; in a long line, its part at the bottom.
    QScrollBar* bar = verticalScrollBar();
    const std::int64_t line = fText.LineAt(offset);
    if (fText.LineEnd(line) - fText.LineStart(line) > ParagraphBytes) {
        bar->setValue(
            static_cast<int>(std::clamp<std::int64_t>(line, bar->minimum(), bar->maximum())));
        UpdateLineParts(false);
        if (bar->value() == line)
            horizontalScrollBar()->setValue(
                static_cast<int>((offset - fText.LineStart(line)) / ParagraphBytes));
        return;
    }
    bar->setValue(static_cast<int>(
        std::clamp<std::int64_t>(line + bar->pageStep() / 2, bar->minimum(), bar->maximum())));
}

void TTerminalView::PlaceFindBar()
{
    const QRect pane = viewport()->geometry();
    const int height = fFindBar->sizeHint().height();
    fFindBar->setGeometry(pane.left(), pane.bottom() + 1 - height, pane.width(), height);
}

void TTerminalView::mousePressEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton) return QAbstractScrollArea::mousePressEvent(event);
    fSelecting = true;
    if (fHexView)
        return MoveHexSelectionEnd(HexRowAtY(event->position().y()),
                                   event->modifiers() & Qt::ShiftModifier);
    MoveSelectionEnd(OffsetAt(event->position()), event->modifiers() & Qt::ShiftModifier);
}

void TTerminalView::mouseMoveEvent(QMouseEvent* event)
{
    if (!fSelecting) return;
    // Dragging past the top or the bottom scrolls, so a selection can reach lines not shown.
    QScrollBar* bar = verticalScrollBar();
    if (event->position().y() < 0)
        bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
    else if (event->position().y() > viewport()->height())
        bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    if (fHexView) return MoveHexSelectionEnd(HexRowAtY(event->position().y()), true);
    MoveSelectionEnd(OffsetAt(event->position()), true);
}

void TTerminalView::mouseReleaseEvent(QMouseEvent* event)
{
    if (event->button() != Qt::LeftButton || !fSelecting) return;
    fSelecting = false;
    if (fHexView) return MoveHexSelectionEnd(HexRowAtY(event->position().y()), true);
    MoveSelectionEnd(OffsetAt(event->position()), true);
    // What the mouse selected is also the X11 primary selection, as in every terminal.
    QClipboard* clipboard = QApplication::clipboard();
    if (clipboard->supportsSelection() && fSelectionAnchor != fSelectionEnd) {
        const std::uint64_t from = std::min(fSelectionAnchor, fSelectionEnd);
        const std::uint64_t to = std::max(fSelectionAnchor, fSelectionEnd);
        clipboard->setText(Shown(from, std::min(to, from + fCopyLimit)), QClipboard::Selection);
    }
}

void TTerminalView::keyPressEvent(QKeyEvent* event)
{
    if (event->matches(QKeySequence::Copy)) return CopySelection();
    if (event->key() == Qt::Key_Escape && fFindBar->isVisible()) return CloseFind();
    if (event->matches(QKeySequence::SelectAll)) return SelectAll();
    if (fHexView) return QAbstractScrollArea::keyPressEvent(event); // the bar's keys
    const bool extend = event->modifiers() & Qt::ShiftModifier;
    const std::uint64_t at = fSelectionEnd;
    const std::int64_t line = fText.LineAt(at);
    const std::uint64_t column = at - fText.LineStart(line);
    const auto onLine = [&](std::int64_t other) {
        other = std::clamp<std::int64_t>(other, 0, std::max<std::int64_t>(0, LineCount() - 1));
        return std::min(fText.LineStart(other) + column, fText.LineEnd(other));
    };
    QScrollBar* bar = verticalScrollBar();
    switch (event->key()) {
    case Qt::Key_Left:
        return MoveSelectionEnd(at > 0 ? at - 1 : 0, extend);
    case Qt::Key_Right:
        return MoveSelectionEnd(at + 1, extend);
    case Qt::Key_Up:
        return extend ? MoveSelectionEnd(onLine(line - 1), true)
                      : bar->triggerAction(QAbstractSlider::SliderSingleStepSub);
    case Qt::Key_Down:
        return extend ? MoveSelectionEnd(onLine(line + 1), true)
                      : bar->triggerAction(QAbstractSlider::SliderSingleStepAdd);
    case Qt::Key_PageUp:
        return extend ? MoveSelectionEnd(onLine(line - bar->pageStep()), true)
                      : bar->triggerAction(QAbstractSlider::SliderPageStepSub);
    case Qt::Key_PageDown:
        return extend ? MoveSelectionEnd(onLine(line + bar->pageStep()), true)
                      : bar->triggerAction(QAbstractSlider::SliderPageStepAdd);
    case Qt::Key_Home:
        if (event->modifiers() & Qt::ControlModifier)
            return extend ? MoveSelectionEnd(0, true) : bar->setValue(bar->minimum());
        return MoveSelectionEnd(fText.LineStart(line), extend);
    case Qt::Key_End:
        if (event->modifiers() & Qt::ControlModifier)
            return extend ? MoveSelectionEnd(fText.Size(), true) : bar->setValue(bar->maximum());
        return MoveSelectionEnd(fText.LineEnd(line), extend);
    case Qt::Key_Tab:
    case Qt::Key_Backtab:
        return event->accept(); // nothing to type into, and focus stays
    default:
        QAbstractScrollArea::keyPressEvent(event);
    }
}

bool TTerminalView::focusNextPrevChild(bool /*next*/)
{
    return false; // Tab belongs to the terminal, as in the layout
}

void TTerminalView::SaveLog(const QString& path) const
{
    QSaveFile file(path); // the old file stays whole until the new one is complete
    bool written = file.open(QIODevice::WriteOnly);
    const auto write = [&](std::string_view piece) {
        const auto size = static_cast<qint64>(piece.size());
        written = written && file.write(piece.data(), size) == size;
    };
    if (fShowTimestamps)
        fReceived.ForEachStamped(
            [&](std::optional<TLineTime> previous, TLineTime time) {
                return LineTimeText(fTimeSincePrevious, previous, time) + ' ';
            },
            write);
    else
        fReceived.Bytes().ForEach(0, fReceived.Bytes().Size(), write);
    if (!written || !file.commit())
        throw std::runtime_error("Cannot write " + path.toStdString() + ": " +
                                 file.errorString().toStdString());
}

void TTerminalView::SetClock(TTerminalText::TClock clock)
{
    fClock = clock ? clock : TTerminalText::Now;
    fText.SetClock(fClock);
}

void TTerminalView::SetShowTimestamps(bool on)
{
    if (on == fShowTimestamps) return;
    fShowTimestamps = on;
    LayOutAgain();
}

void TTerminalView::SetTimeSincePrevious(bool on)
{
    if (on == fTimeSincePrevious) return;
    fTimeSincePrevious = on;
    if (fShowTimestamps) viewport()->update();
}

QString TTerminalView::GutterText(int index) const
{
    if (!fShowTimestamps || index < 0 || index >= LineCount()) return {};
    const std::optional<TLineTime> previous =
        index > 0 && fTimeSincePrevious ? fText.LineTime(index - 1) : std::nullopt;
    return QString::fromStdString(
        LineTimeText(fTimeSincePrevious, previous, fText.LineTime(index)));
}

qreal TTerminalView::TextLeft() const
{
    if (!fShowTimestamps) return Margin;
    // The clock's text and a space; "+S.mmm" is written as wide.
    return Margin + fontMetrics().horizontalAdvance(QStringLiteral("00:00:00.000 "));
}

void TTerminalView::LayOutAgain()
{
    TextChanged(0, true);
    FlushReceived();
}

void TTerminalView::SetHexView(bool on)
{
    if (on == fHexView) return;
    QScrollBar* bar = verticalScrollBar();
    fSearchTimer.stop();
    fFindBar->hide();
    if (on) {
        // The top line's byte in the raw log; a line broken into parts keeps its column.
        const std::uint64_t top = ShownRange().first;
        const std::int64_t line = fText.LineAt(top);
        const std::uint64_t start = fReceived.LineStart(static_cast<std::uint64_t>(line));
        const std::uint64_t next = fReceived.LineStart(static_cast<std::uint64_t>(line) + 1);
        const std::uint64_t byte = std::min(start + (top - fText.LineStart(line)), next);
        fHexView = true;
        fHexSelection.reset();
        UpdateHexScrollRange();
        bar->setValue(static_cast<int>(std::min<std::uint64_t>(HexRowAt(byte), INT_MAX)));
    } else {
        const std::int64_t line =
            static_cast<std::int64_t>(fReceived.LineAt(TopHexRow() * HexRowBytes));
        fHexView = false;
        LayOutAgain();
        // The bar counts the line at the bottom: moved until that line is the top one.
        bar->setValue(static_cast<int>(
            std::clamp<std::int64_t>(line + bar->pageStep() - 1, bar->minimum(), bar->maximum())));
        for (int tries = 0; tries < 1000 && TopLine() < line && bar->value() < bar->maximum();
             ++tries)
            bar->setValue(bar->value() + 1);
        for (int tries = 0; tries < 1000 && TopLine() > line && bar->value() > bar->minimum();
             ++tries)
            bar->setValue(bar->value() - 1);
    }
    viewport()->update();
}

std::uint64_t TTerminalView::TopHexRow() const
{
    return fHexView ? static_cast<std::uint64_t>(std::max(0, verticalScrollBar()->value())) : 0;
}

std::int64_t TTerminalView::TopLine() const
{
    return fText.LineAt(ShownRange().first);
}

QFont TTerminalView::HexFont() const
{
    // Columns of digits line up only in a fixed pitch.
    QFont hex = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (font().pointSizeF() > 0)
        hex.setPointSizeF(font().pointSizeF());
    else
        hex.setPixelSize(font().pixelSize());
    return hex;
}

int TTerminalView::HexRowsShown() const
{
    const int spacing = std::max(1, QFontMetrics(HexFont()).lineSpacing());
    return std::max(1, static_cast<int>((viewport()->height() - 2 * Margin) / spacing));
}

void TTerminalView::UpdateHexScrollRange()
{
    QScrollBar* bar = verticalScrollBar();
    const bool followEnd = bar->value() >= bar->maximum();
    const int shown = HexRowsShown();
    const std::uint64_t rows = HexRowCount(fReceived.Bytes());
    bar->setPageStep(shown);
    bar->setRange(0, static_cast<int>(std::min<std::uint64_t>(
                         rows > static_cast<std::uint64_t>(shown) ? rows - shown : 0, INT_MAX)));
    if (followEnd) bar->setValue(bar->maximum());
    horizontalScrollBar()->setRange(0, 0);
}

std::uint64_t TTerminalView::HexRowAtY(qreal y) const
{
    const int spacing = std::max(1, QFontMetrics(HexFont()).lineSpacing());
    const auto shown = static_cast<std::int64_t>(std::floor((y - Margin) / spacing));
    const std::int64_t row =
        static_cast<std::int64_t>(TopHexRow()) + std::max<std::int64_t>(0, shown);
    const std::uint64_t rows = HexRowCount(fReceived.Bytes());
    return std::min(static_cast<std::uint64_t>(row), rows > 0 ? rows - 1 : 0);
}

void TTerminalView::MoveHexSelectionEnd(std::uint64_t row, bool keepAnchor)
{
    if (HexRowCount(fReceived.Bytes()) == 0) return;
    fHexSelection = {keepAnchor && fHexSelection ? fHexSelection->first : row, row};
    viewport()->update();
}

QString TTerminalView::HexRows(std::uint64_t from, std::uint64_t to) const
{
    QString rows;
    for (std::uint64_t row = from; row <= to && row < HexRowCount(fReceived.Bytes()); ++row) {
        if (row > from) rows += QChar(u'\n');
        rows += QString::fromLatin1(HexRow(fReceived.Bytes(), row));
    }
    return rows;
}

// Only the rows in sight are formatted, each from its 16 bytes in the store.
void TTerminalView::PaintHex(QPainter& painter, const QRect& dirty)
{
    const QFont hex = HexFont();
    painter.setFont(hex);
    const QFontMetrics metrics(hex);
    const int spacing = std::max(1, metrics.lineSpacing());
    const std::uint64_t top = TopHexRow();
    const std::uint64_t rows = HexRowCount(fReceived.Bytes());
    const std::uint64_t from =
        fHexSelection ? std::min(fHexSelection->first, fHexSelection->second) : 1;
    const std::uint64_t to =
        fHexSelection ? std::max(fHexSelection->first, fHexSelection->second) : 0;
    for (int i = 0; Margin + i * spacing < viewport()->height(); ++i) {
        const std::uint64_t row = top + static_cast<std::uint64_t>(i);
        if (row >= rows) break;
        const QRectF area(0, Margin + i * spacing, viewport()->width(), spacing);
        if (!area.intersects(dirty)) continue;
        const bool selected = row >= from && row <= to;
        if (selected) painter.fillRect(area, palette().brush(QPalette::Highlight));
        painter.setPen(palette().color(selected ? QPalette::HighlightedText : QPalette::Text));
        painter.drawText(QPointF(Margin, area.top() + metrics.ascent()),
                         QString::fromLatin1(HexRow(fReceived.Bytes(), row)));
    }
}

void TTerminalView::AppendTextLine(std::string_view text)
{
    AppendLine(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}

void TTerminalView::ReplaceWithText(std::string_view text)
{
    ReplaceText(QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size())));
}
