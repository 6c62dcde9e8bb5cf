#pragma once
// The black terminal pane. Its text lives in a TTerminalText (one byte per character; past a
// limit, older text on disk), and the pane lays out and paints only the lines it shows, so a
// session of any length costs the same per repaint. The scroll bar counts lines; its value is the
// line shown at the bottom. Lines wrap; a line longer than ParagraphBytes is laid out in parts
// of that size, and the bottom line's parts are what the horizontal bar moves through, so the
// middle of a line of megabytes is reached without laying out more than the pane shows. The pane
// follows the end while scrolled there and stays put while the operator reads further up. Received
// bytes are stored at once, and the pane catches up at most once per FlushIntervalMs, so a flood of
// small pieces costs one repaint per interval. The bytes received since the last clear are also
// kept apart, exactly as they came, for "Save log…". Ctrl+F opens a find bar over the pane's bottom
// edge; the search runs from the event loop a slice at a time, and the pane highlights every match
// it shows, the current one more strongly.

#include "terminal/TReceivedLog.h"
#include "terminal/TTerminalText.h"
#include "terminal/TTextSearch.h"
#include "window/ITerminalSink.h"

#include <QAbstractScrollArea>
#include <QTextLayout>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string_view>
#include <utility>
#include <vector>

class QMenu;
class QPainter;
class TFindBar;

class TTerminalView : public QAbstractScrollArea, public ITerminalSink
{
    Q_OBJECT
public:
    explicit TTerminalView(QWidget* parent = nullptr);
    ~TTerminalView() override;

    void AppendReceived(std::string_view bytes) override;
    // Brings the pane up to date with what was received now.
    void FlushReceived();
    static constexpr int FlushIntervalMs = 8; // leaves a repaint within one frame

    // Empties the pane and the bytes kept for "Save log…".
    void ClearText() override;
    // The pane shows text instead (the transfer's "Send file"); the received bytes are kept.
    void ReplaceText(const QString& text);
    void AppendLine(const QString& line);
    void DeleteLine(int index) override; // does nothing for an index out of range
    // The same for UTF-8 texts of the window's rules.
    void AppendTextLine(std::string_view text) override;
    void ReplaceWithText(std::string_view text) override;
    int LineCount() const;
    QString LineText(int index) const; // empty for an index out of range
    QString Text() const;              // everything shown, '\n' between lines
    qint64 CharacterCount() const;     // of Text()
    // Every byte received since the last ClearText, exactly as it came.
    const TByteStore& ReceivedBytes() const { return fReceived.Bytes(); }
    // Writes those bytes to path, replacing the file only once the new one is whole; throws
    // std::runtime_error naming the file and the cause. While timestamps are shown, each line
    // starts with its time as the gutter shows it.
    void SaveLog(const QString& path) const;

    // What stamps received lines (tests give exact times).
    void SetClock(TTerminalText::TClock clock);
    // A gutter before each line with the time its first byte came: the local time, or the time
    // since the line before began.
    void SetShowTimestamps(bool on);
    bool ShowTimestamps() const { return fShowTimestamps; }
    void SetTimeSincePrevious(bool on);
    bool TimeSincePrevious() const { return fTimeSincePrevious; }
    // The received bytes as a hex dump (terminal/HexDump), a row per 16 bytes, instead of the
    // text; switching keeps the byte at the top of the pane at its top. Selection takes whole
    // rows and copies them as shown.
    void SetHexView(bool on);
    bool HexView() const { return fHexView; }
    // The hex row at the top of the pane, and the line at its top in the text.
    std::uint64_t TopHexRow() const;
    std::int64_t TopLine() const;
    // What the gutter shows before line index; empty while it is hidden.
    QString GutterText(int index) const;
    // Called when the operator turns one of the pane's switches.
    std::function<void()> OnSwitched;

    QString SelectedText() const;
    void SelectAll();
    // Copies at most CopyLimit characters: a selection of a days-long session would otherwise
    // be a string of gigabytes. A longer one gives its start, and ShowNotice says where the
    // rest is.
    void CopySelection() const;
    static constexpr std::uint64_t CopyLimit = std::uint64_t{64} << 20;
    void SetCopyLimit(std::uint64_t characters) { fCopyLimit = characters; }
    // Tells the operator something that needs no answer; by default a message box.
    std::function<void(const QString& text)> ShowNotice;
    // Copy, Select All and Find; the window adds its own actions.
    std::unique_ptr<QMenu> CreateContextMenu();

    // Opens the find bar with the selection, if short, as the word.
    void OpenFind();
    void CloseFind();
    // The match after or before the current one (without one, from what is shown), going round
    // at the end; without a word, opens the bar.
    void FindNext();
    void FindPrevious();
    TFindBar* FindBar() const { return fFindBar; }
    std::optional<std::uint64_t> CurrentMatch() const { return fCurrentMatch; }
    static QColor MatchBackground();
    static QColor CurrentMatchBackground();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    bool focusNextPrevChild(bool next) override;

private:
    struct TPlacedParagraph
    {
        std::uint64_t Start; // of its bytes in the text
        std::int64_t Line;
        std::unique_ptr<QTextLayout> Layout;
        qreal Top;
        std::optional<qreal> PaintedAt; // where the same layout was painted last, if it was
    };
    static constexpr std::uint64_t ParagraphBytes = 4096; // a longer line is laid out in parts
    static constexpr qreal Margin = 4;

    // The text changed from changedFrom on; shortened if lines went away.
    void TextChanged(std::uint64_t changedFrom, bool shortened);
    void UpdateScrollRange();
    // The horizontal bar's parts are those of the line now at the bottom; toEnd shows its last.
    void UpdateLineParts(bool toEnd);
    void RepaintChangedParagraphs();
    // Calls take(line, start, end) for each paragraph from the first line down, while it
    // returns true.
    void ForEachParagraphFromTheTop(
        const std::function<bool(std::int64_t, std::uint64_t, std::uint64_t)>& take) const;
    std::int64_t TopAnchor() const;
    const std::vector<TPlacedParagraph>& Placed() const;
    std::unique_ptr<QTextLayout> LayOut(std::uint64_t start, std::uint64_t end) const;
    QString Shown(std::uint64_t start, std::uint64_t end) const;
    qreal TextLeft() const; // where the text starts, after the gutter
    void UpdateHexScrollRange();
    void PaintHex(QPainter& painter, const QRect& dirty);
    int HexRowsShown() const;
    std::uint64_t HexRowAtY(qreal y) const;
    void MoveHexSelectionEnd(std::uint64_t row, bool keepAnchor);
    QString HexRows(std::uint64_t from, std::uint64_t to) const; // [from, to], '\n' between
    QFont HexFont() const;
    void LayOutAgain();
    std::uint64_t OffsetAt(QPointF point) const;
    void MoveSelectionEnd(std::uint64_t offset, bool keepAnchor);
    void SayWhatWentWrongWithTheFiles();
    void FindWord(const QString& word, bool matchCase);
    void StartSearch(TTextSearch::TDirection direction, std::uint64_t from);
    void SearchStep();
    // The bytes whose lines are wholly shown, the find bar's place excepted.
    std::pair<std::uint64_t, std::uint64_t> ShownRange() const;
    void ScrollToMatch(std::uint64_t offset);
    void PlaceFindBar();

    TTerminalText fText;
    TReceivedLog fReceived;
    TTerminalText::TClock fClock = TTerminalText::Now;
    bool fShowTimestamps = false;
    bool fTimeSincePrevious = false;
    bool fHexView = false;
    std::optional<std::pair<std::uint64_t, std::uint64_t>> fHexSelection; // anchor, end row
    QTimer fFlushTimer;
    std::uint64_t fSelectionAnchor = 0;
    std::uint64_t fSelectionEnd = 0;
    bool fSelecting = false;
    bool fCatchingUp = false; // FlushReceived decides what to repaint
    mutable std::int64_t fTopAnchor =
        0; // the lowest bottom line with which the text fills the pane
    mutable bool fTopAnchorFills = false; // if not, it is worked out again
    mutable std::vector<TPlacedParagraph> fPlaced;
    mutable bool fPlacedValid = false;
    // Bytes before it are as they were when fPlaced was laid out.
    mutable std::uint64_t fUnchangedBefore = 0;
    std::uint64_t fCopyLimit = CopyLimit;
    TFindBar* fFindBar;
    TTextSearch fSearch{fText.Bytes()};
    QTimer fSearchTimer;
    std::optional<std::uint64_t> fCurrentMatch;
};
