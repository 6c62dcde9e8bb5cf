// The window's rules without a display: a fake port and a view that keeps what each control
// shows, starting from the layout.
#include "window/TForm1Model.h"
#include "serial/EQorComPort.h"
#include "serial/SerialConstants.h"
#include "tests/app/FlashTempDir.h"
#include "tests/serial/FakeSerialBackend.h"
#include "tests/serial/TestMainThread.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <map>
#include <string>
#include <system_error>
#include <vector>

namespace {

class TRecordingView final : public IForm1View, public ITerminalSink
{
public:
    TRecordingView()
    {
        for (const TControlLayout& row : Form1Layout()) {
            Enabled[row.Id] = row.Enabled;
            Index[row.Id] = row.Selected;
        }
    }
    void SetText(TControl control, std::string_view text) override { Texts[control] = text; }
    void SetEnabled(TControl control, bool enabled) override { Enabled[control] = enabled; }
    void SetLedOn(TControl lamp, bool on) override { Lit[lamp] = on; }
    void SetProgress(int percent) override { Progress = percent; }
    std::string Text(TControl control) const override
    {
        return Typed.count(control) ? Typed.at(control) : "";
    }
    int ItemIndex(TControl control) const override { return Index.at(control); }
    bool Checked(TControl control) const override
    {
        return Ticked.count(control) && Ticked.at(control);
    }
    void ShowPortItems(std::span<const TPortItem> items, int chosen) override
    {
        PortItems.assign(items.begin(), items.end());
        Index[TControl::ComboBox1] = chosen;
    }
    ITerminalSink& Terminal() override { return *this; }
    void AppendReceived(std::string_view bytes) override { Shown += bytes; }
    void AppendTextLine(std::string_view text) override { Shown += std::string(text) + "\n"; }
    void DeleteLine(int) override {}
    void ReplaceWithText(std::string_view text) override { Shown = text; }
    void ClearText() override { Shown.clear(); }
    void ShowWarningBox(std::string_view text) override { Warnings.emplace_back(text); }
    void ShowError(std::string_view message) override { Errors.emplace_back(message); }
    std::optional<std::string> AskForFirmwareFile() override { return FirmwareFile; }
    void Close() override { CloseAsked = true; }
    std::string TimeOfDayText(int h, int m, int s) const override
    {
        return std::to_string(h) + ":" + std::to_string(m) + ":" + std::to_string(s);
    }
    void Delay(std::uint32_t) override {}
    void HandleEventsUntil(const std::function<bool()>&) override {}
    void WatchForDevices(std::span<const std::string> paths) override
    {
        Watched.assign(paths.begin(), paths.end());
    }
    void CallDevicesChangedAfter(std::uint32_t ms) override { RetryMs.push_back(ms); }

    std::map<TControl, std::string> Texts, Typed;
    std::map<TControl, bool> Enabled, Lit, Ticked;
    std::map<TControl, int> Index;
    std::vector<TPortItem> PortItems;
    std::vector<std::string> Warnings, Errors, Watched;
    std::vector<std::uint32_t> RetryMs;
    std::string Shown; // the terminal
    std::optional<std::string> FirmwareFile;
    int Progress = -1;
    bool CloseAsked = false;
};

class Form1Model : public ::testing::Test
{
protected:
    Form1Model() { fModel.ComPort.SetDevicePath(2, fDevicePath); }

    void DeviceSays(const std::string& text)
    {
        fDevice.Receive(text);
        ASSERT_TRUE(fMainThread.PumpUntil([&] { return fDevice.BytesWaiting() == 0; }));
    }
    // Button1 (Flash), Button4 (Init), slConnexion.
    std::vector<bool> Controls()
    {
        return {fView.Enabled[TControl::Button1], fView.Enabled[TControl::Button4],
                fView.Lit[TControl::slConnexion]};
    }

    TTestMainThread fMainThread;
    TFakeSerialBackend fBackend;
    std::string fDevicePath = SystemPortPath(2);
    TFakePort& fDevice = fBackend.AddPort(fDevicePath);
    TRecordingView fView;
    TForm1Model fModel{fView, fMainThread, fBackend};
};

TEST_F(Form1Model, TheControlsFollowTheStateTable)
{
    EXPECT_EQ(Controls(), (std::vector<bool>{true, false, false})) << "at start";
    fModel.Button_OpenClick();
    EXPECT_EQ(Controls(), (std::vector<bool>{true, true, true})) << "after connecting";
    fModel.Button_OpenClick();
    EXPECT_EQ(Controls(), (std::vector<bool>{false, false, false})) << "after disconnecting";
    fModel.Button_OpenClick();
    DeviceSays("Send file\r\n");
    EXPECT_EQ(Controls(), (std::vector<bool>{true, true, true})) << "after \"Send\"";
    EXPECT_FALSE(fModel.Session.Armed);
}

TEST_F(Form1Model, AFailedConnectLeavesEverythingAsItWasAndTheNextClickTriesAgain)
{
    fModel.Session.Armed = true;
    fModel.ComPort.SetDevicePath(2, "/dev/no-such-device");
    EXPECT_THROW(fModel.Button_OpenClick(), EQorComPort);
    EXPECT_FALSE(fModel.Session.Armed);
    EXPECT_EQ(Controls(), (std::vector<bool>{true, false, false}));
    fModel.ComPort.SetDevicePath(2, fDevicePath);
    fModel.Button_OpenClick();
    EXPECT_TRUE(fModel.ComPort.Active());
}

TEST_F(Form1Model, APortChosenWhileConnectedIsUsedAtTheNextConnect)
{
    std::vector<std::string> remembered;
    fModel.RememberPort = [&](const std::string& path) { remembered.push_back(path); };
    fModel.Button_OpenClick();
    fView.Index[TControl::ComboBox1] = 0;
    fModel.ComboBox1Change(0);
    EXPECT_TRUE(fModel.ComPort.Active());
    EXPECT_EQ(fModel.ComPort.Port(), 1);
    fModel.ComboBox1Change(-1); // text being typed changes nothing
    EXPECT_EQ(fModel.ComPort.Port(), 1);

    // A typed path is chosen with Return, added to the box, and remembered as typed.
    fView.Index[TControl::ComboBox1] = -1;
    fModel.PortTyped("  /dev/ttyACM7 ");
    EXPECT_EQ(fModel.ComPort.DevicePath(fModel.ComPort.Port()), "/dev/ttyACM7");
    ASSERT_EQ(fView.PortItems.size(), 3u);
    EXPECT_EQ(fView.PortItems[2], (TPortItem{"/dev/ttyACM7", "/dev/ttyACM7"}));
    EXPECT_EQ(fView.Index[TControl::ComboBox1], 2);
    EXPECT_EQ(remembered, (std::vector<std::string>{"Com1", "/dev/ttyACM7"}));

    // "Com2" typed is the item, not a device of that name.
    fView.Index[TControl::ComboBox1] = -1;
    fModel.PortTyped("Com2");
    EXPECT_EQ(fModel.ComPort.Port(), 2);
    EXPECT_EQ(fView.PortItems.size(), 3u);
}

TEST_F(Form1Model, ClosingIsRefusedWhileAFlashRunsAndReleasesThePortOtherwise)
{
    fModel.Button_OpenClick();
    fModel.Session.FlashInProgress = true;
    EXPECT_FALSE(fModel.WindowCloseRequested());
    EXPECT_EQ(fView.Warnings,
              (std::vector<std::string>{"Flash in corso, impossibile fermare. !!!"}));
    EXPECT_TRUE(fModel.ComPort.Active());
    fModel.Session.FlashInProgress = false;
    EXPECT_TRUE(fModel.WindowCloseRequested());
    EXPECT_FALSE(fModel.ComPort.Active());
    EXPECT_TRUE(fModel.WindowClosing());
    fModel.Button5Click();
    EXPECT_TRUE(fView.CloseAsked);
}

TEST_F(Form1Model, ALostDeviceIsSaidInABoxOrWaitedForWhenReconnecting)
{
    for (const bool reconnect : {false, true}) {
        // A port of its own each time: a hung-up fake stays hung up.
        const std::string path = reconnect ? "/dev/fake-reconnect" : fDevicePath;
        TFakePort& device = reconnect ? fBackend.AddPort(path) : fDevice;
        fModel.ComPort.SetDevicePath(2, path);
        fModel.SetReconnectAutomatically(reconnect);
        fModel.Button_OpenClick();
        device.HangUp();
        ASSERT_TRUE(fMainThread.PumpUntil([&] { return !fModel.ComPort.Active(); }));
        EXPECT_EQ(Controls(), (std::vector<bool>{false, false, false}));
        if (reconnect) {
            EXPECT_TRUE(fView.Errors.empty());
            EXPECT_NE(
                fView.Shown.find("[Dispositivo '" + path + "' scollegato: si attende che ritorni]"),
                std::string::npos);
            EXPECT_TRUE(fModel.WaitingForDevice());
            ASSERT_FALSE(fView.Watched.empty());
            EXPECT_EQ(fView.Watched.front(), path);
            fModel.SetReconnectAutomatically(false); // switched off: the wait ends
            EXPECT_FALSE(fModel.WaitingForDevice());
            EXPECT_TRUE(fView.Watched.empty());
        } else {
            ASSERT_EQ(fView.Errors.size(), 1u);
            EXPECT_EQ(fView.Errors[0].rfind("Dispositivo '" + path + "' scollegato", 0), 0u)
                << fView.Errors[0];
            fView.Errors.clear();
        }
    }
}

// A port across the network that drops: nothing on this machine tells when its server is back,
// so it is tried again, less and less often, until it answers.
TEST_F(Form1Model, ADroppedNetworkPortIsTriedAgainBackingOff)
{
    const std::string url = "rfc2217://rig-3:2001";
    TFakePort& device = fBackend.AddPort(url);
    fModel.ComPort.SetDevicePath(2, url);
    fModel.SetReconnectAutomatically(true);
    fModel.Button_OpenClick();
    device.HangUp();
    ASSERT_TRUE(fMainThread.PumpUntil([&] { return !fModel.ComPort.Active(); }));
    EXPECT_TRUE(fView.Watched.empty()); // no file to watch
    for (int i = 0; i < 7; ++i)
        fModel.DevicesChanged(); // the server still refuses
    EXPECT_EQ(fView.RetryMs,
              (std::vector<std::uint32_t>{1000, 2000, 4000, 8000, 16000, 30000, 30000, 30000}));
    device.ComeBack();
    fModel.DevicesChanged();
    EXPECT_TRUE(fModel.ComPort.Active());
    EXPECT_FALSE(fModel.WaitingForDevice());
    EXPECT_EQ(fView.RetryMs.back(), 0u); // no more tries
    EXPECT_NE(fView.Shown.find("[Dispositivo '" + url + "' ricollegato]"), std::string::npos);
}

// An adapter that comes back under another name (a reset that outlasts the port's number, another
// USB socket) is found again by its USB serial number.
TEST_F(Form1Model, ALostAdapterIsReconnectedUnderAnotherNameByItsSerialNumber)
{
    const std::string first = "COM12", second = "COM15";
    TFakePort& device = fBackend.AddPort(first);
    fBackend.AddPort(second);
    std::vector<std::string> present{first};
    fModel.Ports.List = [&] { return present; };
    fModel.Ports.Present = [&](const std::string& path) {
        return std::find(present.begin(), present.end(), path) != present.end();
    };
    fModel.Ports.Identity = [&](const std::string& path) -> std::optional<TUsbIdentity> {
        if (path == fDevicePath) return std::nullopt;
        return TUsbIdentity{.Vendor = "0403", .Product = "6001", .Serial = "A50285BI"};
    };
    fModel.ComPort.SetDevicePath(2, first);
    fModel.SetReconnectAutomatically(true);
    fModel.Button_OpenClick();
    device.HangUp();
    present.clear();
    ASSERT_TRUE(fMainThread.PumpUntil([&] { return !fModel.ComPort.Active(); }));
    present = {fDevicePath}; // another port, without a serial number: not it
    fModel.DevicesChanged();
    EXPECT_FALSE(fModel.ComPort.Active());
    present = {fDevicePath, second};
    fModel.DevicesChanged();
    ASSERT_TRUE(fModel.ComPort.Active());
    EXPECT_EQ(fModel.ComPort.DevicePath(fModel.ComPort.Port()), second);
    EXPECT_NE(fView.Shown.find("[Dispositivo '" + second + "' ricollegato]"), std::string::npos);
}

#ifdef _WIN32
// The port box on Windows: the COM ports listed, and a COM port typed in any of its spellings is
// the item already there, not another one.
TEST_F(Form1Model, ATypedComPortIsTheListedOneWhateverItsSpelling)
{
    fModel.Ports.Describe = [] {
        return std::vector<TPortListing>{{"COM3", "COM3 \u2014 Communications Port"},
                                         {"COM12", "COM12 \u2014 USB Serial Port (FTDI) A50285BI"}};
    };
    fModel.RefreshPortList();
    ASSERT_EQ(fView.PortItems.size(), 4u);
    EXPECT_EQ(fView.PortItems[3],
              (TPortItem{"COM12 \u2014 USB Serial Port (FTDI) A50285BI", "COM12"}));
    for (const char* typed : {"COM12", "com12", R"(\\.\COM12)", " \\\\.\\com12 "}) {
        fView.Index[TControl::ComboBox1] = -1;
        fModel.PortTyped(typed);
        EXPECT_EQ(fView.PortItems.size(), 4u) << typed;
        EXPECT_EQ(fView.Index[TControl::ComboBox1], 3) << typed;
        EXPECT_EQ(fModel.ComPort.DevicePath(fModel.ComPort.Port()), "COM12") << typed;
    }
    fView.Index[TControl::ComboBox1] = -1;
    fModel.PortTyped("com1"); // the first item opens COM1
    EXPECT_EQ(fView.Index[TControl::ComboBox1], 0);
    EXPECT_EQ(fModel.ComPort.Port(), 1);
}
#endif

TEST_F(Form1Model, TheTypedLineGoesInTheCodePageAndTheDigitsAsTheyAre)
{
    fModel.Button_OpenClick();
    const struct
    {
        std::string Typed;
        bool NewLine;
        std::string Sent;
    } cases[] = {{"help me", false, "help me"},
                 {"5\u20ac", true, "5\x80\r\n"},
                 {"\u4e2d", false, "?"},
                 {"\U0001F600", false, "??"}};
    std::string expected;
    for (const auto& c : cases) {
        fView.Typed[TControl::Edit_Data] = c.Typed;
        fView.Ticked[TControl::NewLine_CB] = c.NewLine;
        fModel.Button_SendClick();
        expected += c.Sent;
    }
    fModel.SpeedButton3Click();
    fModel.SpeedButton5Click();
    expected += "35";
    ASSERT_TRUE(fMainThread.PumpUntil([&] { return fDevice.Written() == expected; }));
    EXPECT_TRUE(fModel.Session.Armed);
}

TEST_F(Form1Model, TheMenuIsAnsweredAsTheRadioGroupAndTheFlashTypeSay)
{
    fModel.Button_OpenClick();
    const struct
    {
        int Auto, FlashType;
        std::string Answer;
    } cases[] = {{0, 0, "2"}, {0, 1, "1"}, {1, 0, ""}, {-1, 0, ""}};
    std::string expected;
    for (const auto& c : cases) {
        fModel.rgAutoClick(c.Auto);
        fModel.cbbTypeFlashChange(c.FlashType);
        DeviceSays("menu >");
        expected += c.Answer;
        ASSERT_TRUE(fMainThread.PumpUntil([&] { return fDevice.Written() == expected; }));
    }
}

TEST_F(Form1Model, TheElapsedTimeWrapsLikeAClockAndNeverGoesBelowZero)
{
    const std::pair<std::int64_t, std::string> cases[] = {
        {0, "0:0:0"}, {3725, "1:2:5"}, {24 * 3600 + 5, "0:0:5"}, {-3, "0:0:0"}};
    for (const auto& [seconds, text] : cases)
        EXPECT_EQ(fModel.ElapsedTimeText(seconds), text) << seconds;
}

TEST_F(Form1Model, TheTrackBarShowsItsPositionAsItsHint)
{
    fModel.FormCreate();
    EXPECT_EQ(fView.Texts[TControl::TipTrackBar1], "10");
    fModel.TipTrackBar1Change(3);
    EXPECT_EQ(fView.Texts[TControl::TipTrackBar1], "3");
}

TEST(Form1Layout, EveryControlOnceAndEveryTabStopInItsOwnPlace)
{
    std::map<TControl, int> seen;
    std::map<int, int> tabs;
    for (const TControlLayout& row : Form1Layout()) {
        ++seen[row.Id];
        if (row.TabOrder >= 0) ++tabs[row.TabOrder];
        EXPECT_EQ(&LayoutOf(row.Id), &row);
    }
    EXPECT_EQ(seen.size(), static_cast<std::size_t>(TControl::pelLed2) + 1);
    for (const auto& [control, count] : seen)
        EXPECT_EQ(count, 1) << LayoutOf(control).Name;
    EXPECT_EQ(tabs.size(), 20u); // 0 to 19, none twice
    EXPECT_EQ(tabs.begin()->first, 0);
    EXPECT_EQ(tabs.rbegin()->first, 19);
}

} // namespace

// A HEX file goes out as S-records, and the terminal says so under the transfer's first line.
TEST_F(Form1Model, AHexFileIsSentConvertedAndTheTerminalSaysSo)
{
    FlashTempDir dir;
    // 4 bytes at 0x08000000 (an 04 record for the upper half), the entry point in an 05 record.
    fView.FirmwareFile = dir.Write(
        "app.hex",
        ":020000040800F2\r\n:0400000001020304F2\r\n:0400000508000000EF\r\n:00000001FF\r\n");
    fModel.Button_OpenClick();
    fModel.Button1Click();
    EXPECT_TRUE(fView.Errors.empty()) << fView.Errors.front();
    EXPECT_EQ(
        fView.Shown.rfind(
            "Send file\n[Intel HEX convertito in 3 S-record: 4 byte a 0x08000000-0x08000003]\n", 0),
        0u)
        << fView.Shown;
    EXPECT_NE(fDevice.Written().find("S3090800000001020304E4\r"), std::string::npos)
        << fDevice.Written();
    EXPECT_EQ(fView.Texts[TControl::Panel4], "app.hex");
}

namespace {

// Every connection, a reconnect's too, logs what arrives in a file of its own; a log that
// fails is said on the terminal once, and reception goes on.
TEST_F(Form1Model, EveryConnectionIsLoggedAndAFailedLogIsSaidOnce)
{
    class TRecordedFile final : public ISessionLogFile
    {
    public:
        TRecordedFile(std::string& bytes, int& writesLeft) : fBytes(bytes), fWritesLeft(writesLeft)
        {
        }
        void Write(std::string_view bytes) override
        {
            if (fWritesLeft-- <= 0)
                throw std::system_error(ENOSPC, std::generic_category(), "write");
            fBytes += bytes;
        }

    private:
        std::string& fBytes;
        int& fWritesLeft;
    };
    FlashTempDir scratch;
    std::map<std::string, std::string> files; // by path, in the order of their names
    std::vector<std::string> made;
    int writesLeft = 100;
    fModel.SessionLog = TSessionLog([&](const std::filesystem::path& path) {
        if (files.count(path.string()))
            throw std::system_error(EEXIST, std::generic_category(), "open");
        made.push_back(path.string());
        return std::make_unique<TRecordedFile>(files[path.string()], writesLeft);
    });
    fModel.SessionLog.SetFolder(scratch.Path("logs"));
    std::vector<bool> remembered;
    fModel.RememberLogEverySession = [&](bool on) { remembered.push_back(on); };
    fModel.SetLogEverySession(true);
    EXPECT_EQ(remembered, std::vector<bool>{true});

    const std::string url = "rfc2217://rig-4:2001";
    TFakePort& device = fBackend.AddPort(url);
    fModel.ComPort.SetDevicePath(2, url);
    fModel.SetReconnectAutomatically(true);
    fModel.Button_OpenClick();
    device.Receive("Boot\r\n");
    ASSERT_TRUE(fMainThread.PumpUntil([&] { return device.BytesWaiting() == 0; }));
    device.HangUp();
    ASSERT_TRUE(fMainThread.PumpUntil([&] { return !fModel.ComPort.Active(); }));
    device.ComeBack();
    fModel.DevicesChanged();
    ASSERT_TRUE(fModel.ComPort.Active());
    writesLeft = 1;
    for (const char* chunk : {"one\r\n", "two\r\n", "three\r\n"}) {
        device.Receive(chunk);
        ASSERT_TRUE(fMainThread.PumpUntil([&] { return device.BytesWaiting() == 0; }));
    }

    ASSERT_EQ(made.size(), 2u);
    EXPECT_EQ(std::filesystem::path(made[0]).filename().string().rfind("rfc2217_rig-4_2001-", 0),
              0u)
        << made[0];
    EXPECT_EQ(files[made[0]], "Boot\r\n");
    EXPECT_EQ(files[made[1]], "one\r\n");
    for (const char* chunk : {"one\r\n", "two\r\n", "three\r\n"})
        EXPECT_NE(fView.Shown.find(chunk), std::string::npos) << chunk;
    const std::string said = "[Log di sessione interrotto: ";
    const auto at = fView.Shown.find(said);
    ASSERT_NE(at, std::string::npos) << fView.Shown;
    EXPECT_EQ(fView.Shown.find(said, at + 1), std::string::npos) << fView.Shown;
    EXPECT_NE(fView.Shown.find(std::error_code(ENOSPC, std::generic_category()).message(), at),
              std::string::npos)
        << fView.Shown;

    fModel.Button_OpenClick(); // disconnected: nothing more is logged
    EXPECT_TRUE(fModel.SessionLog.CurrentFile().empty());
}

} // namespace
