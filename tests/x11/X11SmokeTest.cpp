// The window on a real X server with a window manager: the title the window manager shows, the
// file dialog's completion popup, a pulled device in the middle of a transfer, and finding a word
// in the terminal with the keyboard.
#include "app/TApplication.h"
#include "app/TErrorReport.h"
#include "app/TFindBar.h"
#include "app/TForm1.h"
#include "sim/SRecordGenerator.h"
#include "sim/TSimulatedDevice.h"
#include "tests/app/FlashTempDir.h"
#include "tests/app/FlashTestSupport.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QCompleter>
#include <QFileDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProcess>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include <gtest/gtest.h>

#include <ctime>
#include <sys/resource.h>

namespace {

const QString Caption = QStringLiteral("Tarvel") + QString(28, QChar(u' ')) +
                        QStringLiteral("Bidouille ======> pour KRO");

// The title as the window manager reads it from the window's properties.
QString TitleOnScreen(const QWidget& window)
{
    QProcess xprop;
    xprop.start(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(window.winId()),
                                          QStringLiteral("_NET_WM_NAME")});
    xprop.waitForFinished(10000);
    const QString out = QString::fromUtf8(xprop.readAllStandardOutput()).trimmed();
    const qsizetype start = out.indexOf(QLatin1Char('"'));
    return start < 0 ? out : out.mid(start + 1, out.lastIndexOf(QLatin1Char('"')) - start - 1);
}

QStringList OtherVisibleWindows(const QWidget& mainWindow)
{
    QStringList others;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w != &mainWindow && w->isVisible()) others << w->metaObject()->className();
    return others;
}

double ProcessCpuSeconds()
{
    rusage usage{};
    ::getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

TEST(OnX11, TitlesAreExactlyTheCaptions)
{
    TForm1 form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_EQ(TitleOnScreen(form).toStdString(), Caption.toStdString());

    // The close-refusal box keeps the toolkit's warning caption, nothing appended.
    form.FlashInProgress = true;
    QString boxTitle;
    QTimer::singleShot(0, [&] {
        FlashWaitUntil([] { return QApplication::activeModalWidget() != nullptr; }, 10000);
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            (void)QTest::qWaitForWindowExposed(box);
            boxTitle = TitleOnScreen(*box);
            box->accept();
        }
    });
    form.close();
    EXPECT_EQ(boxTitle.toStdString(), "Warning");
    EXPECT_TRUE(form.isVisible());
    form.FlashInProgress = false;
}

TEST(OnX11, NothingOfTheFileDialogOutlivesIt)
{
    FlashTempDir dir;
    const std::string path = dir.Write("firmware.s19", "S9030000FC\n");
    dir.Write("firmware-old.s19", "S9030000FC\n");
    QStringList reports;
    const auto previous = TErrorReport::SetSink([&](const QString& t) { reports << t; });
    TForm1 form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));

    bool popupWasOpen = false;
    QTimer::singleShot(0, [&] {
        FlashWaitUntil([&] { return form.OpenDialog1->isVisible(); }, 10000);
        auto* name = form.OpenDialog1->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        if (name == nullptr) return;
        (void)QTest::qWaitForWindowExposed(form.OpenDialog1);
        name->setFocus();
        // Typing the full path opens the completion list with both files in it.
        QTest::keyClicks(name, QString::fromStdString(path).chopped(4));
        FlashWaitUntil([&] { return QApplication::activePopupWidget() != nullptr; }, 5000);
        QTest::keyClicks(name, QStringLiteral(".s19"));
        // The completer refilters as the file model fills in and may hide its list meanwhile.
        FlashWaitUntil([&] { return QApplication::activePopupWidget() != nullptr; }, 5000);
        popupWasOpen = QApplication::activePopupWidget() != nullptr;
        QWidget* target =
            QApplication::activePopupWidget() ? QApplication::activePopupWidget() : name;
        QTest::keyClick(target, Qt::Key_Return);
        if (form.OpenDialog1->isVisible()) QTest::keyClick(name, Qt::Key_Return);
    });
    form.Button1->click(); // returns when the (portless) transfer has ended

    EXPECT_TRUE(popupWasOpen);
    EXPECT_EQ(form.Panel4->text(), QStringLiteral("firmware.s19"));
    QTest::qWait(200);
    EXPECT_EQ(QApplication::activePopupWidget(), nullptr);
    EXPECT_EQ(OtherVisibleWindows(form), QStringList{});
    // The next click is the window's: CHIUDI! closes it.
    QTest::mouseClick(form.Button5, Qt::LeftButton);
    EXPECT_FALSE(form.isVisible());
    TErrorReport::SetSink(previous);
}

// Key presses from the X server itself (XTEST), as a person at the keyboard makes them.
void TypeOnX(const QString& text, const QString& key)
{
    QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("type"), QStringLiteral("--delay"),
                                                  QStringLiteral("20"), text});
    QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), key});
}

TEST(OnX11, ReturnInThePortBoxChoosesThePathAndNothingElse)
{
    QStringList reports;
    const auto previous = TErrorReport::SetSink([&](const QString& t) { reports << t; });
    TForm1 form;
    QStringList remembered;
    form.RememberPort = [&](const QString& path) { remembered << path; };
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.activateWindow();
    ASSERT_TRUE(FlashWaitUntil([&] { return form.isActiveWindow(); }, 10000));
    form.ComboBox1->lineEdit()->selectAll();
    form.ComboBox1->setFocus();
    ASSERT_TRUE(FlashWaitUntil([&] { return form.ComboBox1->hasFocus(); }, 10000));

    TypeOnX(QStringLiteral("/dev/ttyTYPED9"), QStringLiteral("Return"));
    ASSERT_TRUE(FlashWaitUntil([&] { return !remembered.isEmpty(); }, 10000));
    QTest::qWait(300); // any click the Return would have made has happened by now
    EXPECT_EQ(remembered, QStringList{QStringLiteral("/dev/ttyTYPED9")});
    EXPECT_EQ(form.ComPort.DevicePath(form.ComPort.Port()), "/dev/ttyTYPED9");
    // "Invia linea" was not clicked: no "Port not open." box waits for the next click.
    EXPECT_EQ(reports, QStringList{});
    EXPECT_EQ(QApplication::activeModalWidget(), nullptr);

    // The default button still answers Return from the typed-line field.
    form.Edit_Data->setFocus();
    ASSERT_TRUE(FlashWaitUntil([&] { return form.Edit_Data->hasFocus(); }, 10000));
    TypeOnX(QStringLiteral("x"), QStringLiteral("Return"));
    EXPECT_TRUE(FlashWaitUntil([&] { return !reports.isEmpty(); }, 10000));
    EXPECT_EQ(reports, QStringList{QStringLiteral("Port not open.")});
    TErrorReport::SetSink(previous);
}

// Where the pixels of one colour are in the terminal's pane as the screen shows it.
QRect Painted(const TForm1& form, const QColor& colour)
{
    QWidget* pane = form.reTerminal->viewport();
    const QPoint at = pane->mapTo(&form, QPoint(0, 0));
    const QImage shown =
        QGuiApplication::primaryScreen()
            ->grabWindow(form.winId(), at.x(), at.y(), pane->width(), pane->height())
            .toImage();
    QRect where;
    for (int y = 0; y < shown.height(); ++y)
        for (int x = 0; x < shown.width(); ++x)
            if (shown.pixelColor(x, y) == colour) where |= QRect(x, y, 1, 1);
    return where;
}

TEST(OnX11, CtrlFFindsTheWordTheKeyboardTypesAndF3GoesOn)
{
    QStringList reports;
    const auto previous = TErrorReport::SetSink([&](const QString& t) { reports << t; });
    TForm1 form;
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.activateWindow();
    ASSERT_TRUE(FlashWaitUntil([&] { return form.isActiveWindow(); }, 10000));
    TTerminalView& terminal = *form.reTerminal;
    terminal.AppendReceived("boot ok\r\nfirst needle here\r\nplain\r\nsecond Needle there\r\n");
    terminal.FlushReceived();
    terminal.setFocus();
    ASSERT_TRUE(FlashWaitUntil([&] { return terminal.hasFocus(); }, 10000));
    const QRect pane = terminal.viewport()->geometry();

    QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("ctrl+f")});
    ASSERT_TRUE(FlashWaitUntil([&] { return terminal.FindBar()->Edit()->hasFocus(); }, 10000));
    // Over the pane's bottom edge, the window's controls where they were.
    EXPECT_EQ(terminal.FindBar()->geometry().bottom(), pane.bottom());
    EXPECT_EQ(terminal.geometry(), QRect(6, 6, 381, 289));

    const std::uint64_t first = std::string_view("boot ok\nfirst ").size();
    const std::uint64_t second =
        std::string_view("boot ok\nfirst needle here\nplain\nsecond ").size();
    const QFontMetrics metrics(terminal.font());
    const auto width = [&](const char* text) {
        return metrics.horizontalAdvance(QString::fromLatin1(text));
    };
    const auto expectShown = [&](std::uint64_t current) {
        ASSERT_TRUE(FlashWaitUntil([&] { return terminal.CurrentMatch() == current; }, 10000));
        QTest::qWait(100); // repainted on the screen
        const QRect strong = Painted(form, TTerminalView::CurrentMatchBackground());
        const QRect weak = Painted(form, TTerminalView::MatchBackground());
        ASSERT_FALSE(strong.isEmpty());
        ASSERT_FALSE(weak.isEmpty());
        // Each box where its word is: after the words before it on its line, one word wide.
        const QRect& upper = current == first ? strong : weak;
        const QRect& lower = current == first ? weak : strong;
        EXPECT_LT(upper.bottom(), lower.top());
        EXPECT_NEAR(upper.left(), 4 + width("first "), 2);
        EXPECT_NEAR(upper.width(), width("needle"), 2);
        EXPECT_NEAR(lower.left(), 4 + width("second "), 2);
        EXPECT_NEAR(lower.width(), width("Needle"), 2);
    };

    // Without case, as it opens: "Needle" matches too. Typing finds from the top.
    QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("type"), QStringLiteral("--delay"),
                                                  QStringLiteral("20"), QStringLiteral("needle")});
    expectShown(first);
    QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Return")});
    expectShown(second);
    QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("F3")});
    expectShown(first); // round past the end
    QProcess::execute(QStringLiteral("xdotool"),
                      {QStringLiteral("key"), QStringLiteral("shift+F3")});
    expectShown(second);
    // Return in the bar went no further: "Invia linea" would have said the port is not open.
    EXPECT_EQ(reports, QStringList{});

    QProcess::execute(QStringLiteral("xdotool"), {QStringLiteral("key"), QStringLiteral("Escape")});
    ASSERT_TRUE(FlashWaitUntil([&] { return !terminal.FindBar()->isVisible(); }, 10000));
    QTest::qWait(100);
    EXPECT_TRUE(Painted(form, TTerminalView::CurrentMatchBackground()).isEmpty());
    EXPECT_TRUE(Painted(form, TTerminalView::MatchBackground()).isEmpty());
    EXPECT_TRUE(terminal.hasFocus());
    TErrorReport::SetSink(previous);
}

TEST(OnX11, PulledDeviceEndsTheTransferAndTheWindowCanBeClosed)
{
    TSimulatedDeviceOptions options;
    options.Baudrate = 0;
    options.HangUpAtRecord = 300;
    TSimulatedDevice device(options);
    FlashTempDir dir;
    const std::string path = dir.Write(
        "pulled.s19", GenerateSRecordFile(GenerateFirmwareBytes(64 * 1024, 7), 0x00400000));

    TForm1 form;
    form.ComPort.SetDevicePath(2, device.DevicePath());
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    form.Button_Open->click();
    ASSERT_TRUE(form.ComPort.Active());
    form.Button4->click();
    ASSERT_TRUE(FlashWaitUntil([&] {
        return form.Button1->isEnabled() && device.RecordsReceived() == 0 &&
               form.reTerminal->Text().contains("Ready.");
    }));

    // The operator dismisses the lost-device box when it comes.
    QTimer dismiss;
    QString boxText;
    QObject::connect(&dismiss, &QTimer::timeout, [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            boxText = box->text();
            box->accept();
        }
    });
    dismiss.start(100);
    EXPECT_FALSE(FlashRunStoppedByWatchdog(form, path));
    FlashWaitUntil([&] { return !boxText.isEmpty(); }, 5000);
    dismiss.stop();

    EXPECT_TRUE(boxText.contains(QStringLiteral("scollegato"))) << boxText.toStdString();
    EXPECT_FALSE(form.FlashInProgress);
    QTest::mouseClick(form.Button5, Qt::LeftButton);
    EXPECT_FALSE(form.isVisible());

    // Nothing runs on afterwards.
    const double before = ProcessCpuSeconds();
    QTest::qWait(1000);
    EXPECT_LT(ProcessCpuSeconds() - before, 0.1);
}

} // namespace

int main(int argc, char** argv)
{
    testing::InitGoogleTest(&argc, argv);
    TApplication app(argc, argv);
    return RUN_ALL_TESTS();
}
