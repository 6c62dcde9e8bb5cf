// A flood of device output reaches the terminal whole: nothing lost, doubled or reordered.
#include "tests/app/WindowTestFixture.h"

#include <thread>

namespace {

using TerminalIngest = WindowWithPeer;

TEST_F(TerminalIngest, TenMegabytesThroughAPseudoTerminal)
{
    // Numbered lines with all three line-end conventions and some 8-bit text.
    std::string sent;
    QString expected;
    const char* ends[] = {"\r\n", "\n", "\r"};
    for (int i = 0; sent.size() < 10'000'000; ++i) {
        char line[96];
        const int n = std::snprintf(line, sizeof line,
                                    "%08d caf\xe9 0123456789 abcdefghijklmnopqrstuvwxyz", i);
        sent.append(line, static_cast<std::size_t>(n));
        sent += ends[i % 3];
        expected += QString::fromLatin1(line, n) + QChar(u'\n');
    }
    Connect();

    std::thread device([&] { fPeer.Send(sent); });
    const auto shown = [&] { return fForm.reTerminal->CharacterCount(); };
    const bool complete = WaitUntil([&] { return shown() >= expected.size(); }, 240000);
    device.join();
    ASSERT_TRUE(complete) << shown() << " of " << expected.size() << " characters shown";
    WaitUntil([] { return false; }, 100); // anything extra would show up now
    const QString text = fForm.reTerminal->Text();
    ASSERT_EQ(text.size(), expected.size());
    // Find the first difference rather than printing ten megabytes.
    qsizetype firstDifference = -1;
    for (qsizetype i = 0; i < text.size(); ++i)
        if (text[i] != expected[i]) {
            firstDifference = i;
            break;
        }
    EXPECT_EQ(firstDifference, -1)
        << text.mid(std::max<qsizetype>(0, firstDifference - 40), 80).toStdString();
}

} // namespace
