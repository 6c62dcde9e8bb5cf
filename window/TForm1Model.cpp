#include "window/TForm1Model.h"

#include "serial/ComPortNames.h"
#include "serial/SerialConstants.h"
#include "serial/SerialPortList.h"
#include "serial/TRfc2217Codec.h"
#include "session/OpenFailureReason.h"
#include "window/CodePage1252.h"

#include <utility>

namespace {

// The component's port number for a device chosen by its path rather than as Com1 or Com2.
constexpr int ChosenDevice = 0;
constexpr int ComPortItems = 2; // "Com1" and "Com2" lead the port box
// The transfer shows the device's latest answer on the terminal's third line.
constexpr int ThirdLine = 2;

std::string Trimmed(std::string_view text)
{
    const auto first = text.find_first_not_of(" \t\r\n");
    if (first == std::string_view::npos) return {};
    const auto last = text.find_last_not_of(" \t\r\n");
    return std::string(text.substr(first, last - first + 1));
}

std::string Latin1ToUtf8(std::string_view bytes)
{
    std::string text;
    text.reserve(bytes.size());
    for (const char c : bytes)
        AppendUtf8(text, static_cast<unsigned char>(c));
    return text;
}

} // namespace

TForm1Model::TForm1Model(IForm1View& view, IMainThreadExecutor& executor, ISerialBackend& backend)
    : ComPort(executor, backend), Session(ComPort, *this, *this),
      fView(view), fPortItems{{"Com1", ""}, {"Com2", ""}}
{
    // Port settings: 115200 8N1, DTR and RTS on, no handshake, plain mode.
    ComPort.SetBaudrate(115200);
    ComPort.SetByteSize(8);
    ComPort.SetParity(ptNone);
    ComPort.SetStopBits(sbOne);
    ComPort.SetPort(2);
    ComPort.FlowCtrl().SetRxDsrSensivity(false);
    ComPort.FlowCtrl().SetRxDtrControl(dtrEnable);
    ComPort.FlowCtrl().SetRxRtsControl(rtsEnable);
    ComPort.FlowCtrl().SetTxContinueXoff(false);
    ComPort.FlowCtrl().SetTxCtsFlow(false);
    ComPort.FlowCtrl().SetTxDsrFlow(false);
    ComPort.FlowCtrl().SetXonXoff(false);
    ComPort.SetLineEnd("\r\n");
    ComPort.SetLineMode(false);
    ComPort.SetPortOptions({});
    ComPort.SetRxBuffer(8192);
    ComPort.SetRxThresholdAmount(0);
    ComPort.SetRxThresholdUse(false);
    ComPort.SetTxBuffer(8192);

    // The session reads what arrives (it is the port's subscriber); errors of that handler stay
    // with the component, which drops them.
    ComPort.SetOnError([this](TQorComPort&, std::uint32_t error) {
        try {
            ComPortError(error);
        } catch (const std::exception& failure) {
            fView.ShowError(failure.what());
        }
    });
}

TForm1Model::~TForm1Model()
{
    // The port closes before the view its handlers report to goes away.
    ComPort.SetOnError(nullptr);
    try {
        ComPort.SetActive(false);
    } catch (const std::exception&) {
        // Nothing useful can be done about a failing close while the window goes away.
    }
}

void TForm1Model::Click(TControl control)
{
    using THandler = void (TForm1Model::*)();
    static const std::pair<TControl, THandler> handlers[] = {
        {TControl::SpeedButton1, &TForm1Model::SpeedButton1Click},
        {TControl::SpeedButton2, &TForm1Model::SpeedButton2Click},
        {TControl::SpeedButton3, &TForm1Model::SpeedButton3Click},
        {TControl::SpeedButton4, &TForm1Model::SpeedButton4Click},
        {TControl::SpeedButton5, &TForm1Model::SpeedButton5Click},
        {TControl::Button_Send, &TForm1Model::Button_SendClick},
        {TControl::Button3, &TForm1Model::Button3Click},
        {TControl::Button1, &TForm1Model::Button1Click},
        {TControl::Button2, &TForm1Model::Button2Click},
        {TControl::Button4, &TForm1Model::Button4Click},
        {TControl::Button5, &TForm1Model::Button5Click},
        {TControl::Button_Open, &TForm1Model::Button_OpenClick}};
    for (const auto& [id, handler] : handlers)
        if (id == control) (this->*handler)();
}

void TForm1Model::FormCreate()
{
    TipTrackBar1Change(LayoutOf(TControl::TipTrackBar1).Position);
}

void TForm1Model::TipTrackBar1Change(int position)
{
    fView.SetText(TControl::TipTrackBar1, std::to_string(position));
}

// --- the port box

void TForm1Model::ComboBox1Change(int index)
{
    // Typed text (-1) takes effect with Return.
    if (!ChoosePortItem(index)) return;
    if (RememberPort)
        RememberPort(index < ComPortItems ? fPortItems[index].Text : fPortItems[index].Path);
}

bool TForm1Model::ChoosePortItem(int index)
{
    // Only the choice changes; an open port stays on the device it was opened with.
    if (index < 0 || index >= static_cast<int>(fPortItems.size())) return false;
    StopWaitingForDevice(); // another port is wanted now
    if (index < ComPortItems) {
        ComPort.SetPort(index + 1);
    } else {
        ComPort.SetDevicePath(ChosenDevice, fPortItems[index].Path);
        ComPort.SetPort(ChosenDevice);
    }
    return true;
}

void TForm1Model::PortTyped(std::string_view text)
{
    const std::string path = Trimmed(text);
    if (fView.ItemIndex(TControl::ComboBox1) >= 0 || path.empty()) return;
    SelectPort(path);
    if (RememberPort) RememberPort(path); // the path, whatever the item shows
}

void TForm1Model::RefreshPortList()
{
    ShowPortListing(Ports.Describe());
}

void TForm1Model::RefreshPortList(const std::string& devDir, const std::string& sysClassTty)
{
    ShowPortListing(DescribeSerialPorts(devDir, sysClassTty));
}

void TForm1Model::ShowPortListing(const std::vector<TPortListing>& ports)
{
    const int current = fView.ItemIndex(TControl::ComboBox1);
    const std::string chosen = current >= ComPortItems ? fPortItems[current].Path : std::string();
    fPortItems.resize(ComPortItems);
    for (const TPortListing& port : ports)
        fPortItems.push_back({port.Description, port.Path});
    int show = current < ComPortItems ? current : -1;
    if (!chosen.empty()) {
        show = -1;
        for (std::size_t i = ComPortItems; i < fPortItems.size(); ++i)
            if (SamePortName(fPortItems[i].Path, chosen)) show = static_cast<int>(i);
        if (show < 0) { // gone for now: it stays chosen, by its path
            fPortItems.push_back({chosen, chosen});
            show = static_cast<int>(fPortItems.size()) - 1;
        }
    }
    fView.ShowPortItems(fPortItems, show);
}

void TForm1Model::SelectPort(std::string_view path)
{
    int at = -1;
    const std::string named(path);
    for (int i = 0; i < ComPortItems; ++i)
        if (fPortItems[i].Text == path ||
            (ComPortNumber(named) && SamePortName(ComPort.DevicePath(i + 1), named)))
            at = i; // "Com1", or the COM port it opens under any of its names
    for (std::size_t i = ComPortItems; at < 0 && i < fPortItems.size(); ++i)
        if (SamePortName(fPortItems[i].Path, named)) at = static_cast<int>(i);
    if (at < 0) {
        fPortItems.push_back({std::string(path), std::string(path)});
        at = static_cast<int>(fPortItems.size()) - 1;
    }
    fView.ShowPortItems(fPortItems, at);
    ChoosePortItem(at);
}

// --- connecting

void TForm1Model::ShowDisconnected()
{
    SessionLog.Disconnected();
    fView.SetEnabled(TControl::Button1, false);
    fView.SetEnabled(TControl::Button4, false);
    fView.SetLedOn(TControl::slConnexion, false);
}

void TForm1Model::ShowConnected(const std::string& path)
{
    fConnectedDevicePath = path;
    SaySessionLogStopped(SessionLog.Connected(path));
    const auto usb = Ports.Identity(path);
    fConnectedSerial = usb ? usb->Serial : std::string();
    fView.SetEnabled(TControl::Button4, true);
    fView.SetLedOn(TControl::slConnexion, true);
}

void TForm1Model::Button_OpenClick()
{
    Session.Armed = false;
    StopWaitingForDevice(); // the user decides now
    if (ComPort.Active()) {
        ComPort.SetActive(false);
        fConnectedDevicePath.clear();
        ShowDisconnected();
        return;
    }
    const std::string path = ComPort.DevicePath(ComPort.Port());
    try {
        ComPort.SetActive(true);
    } catch (const EQorComPort& failure) {
        const std::string reason = OpenFailureReason(path, failure.ErrorCode());
        if (reason.empty()) throw;
        throw EQorComPort(std::string(failure.what()) + "\n" + reason, failure.ErrorCode());
    }
    ShowConnected(path);
}

void TForm1Model::ComPortError(std::uint32_t Error)
{
    if ((Error & CE_DEVICE_LOST) == 0 || !ComPort.Active()) return;
    const std::string path = fConnectedDevicePath;
    const std::string failure = ComPort.ThreadFailure();
    Session.Armed = false;
    Session.DeviceLost();
    ComPort.SetActive(false);
    fConnectedDevicePath.clear();
    ShowDisconnected();
    if (fWindowClosing) return;
    if (fReconnect) {
        // A board that resets takes its port away for a moment: a line, not a box each time.
        fView.Terminal().AppendTextLine("[Dispositivo '" + path +
                                        "' scollegato: si attende che ritorni]");
        WaitForDevice(path);
        return;
    }
    if (!failure.empty())
        fView.ShowError("Porta '" + path + "' chiusa: " + failure);
    else
        fView.ShowError("Dispositivo '" + path + "' scollegato: porta chiusa");
}

// --- the log of every connection

void TForm1Model::SetLogEverySession(bool on)
{
    if (on == SessionLog.Enabled()) return;
    SaySessionLogStopped(SessionLog.SetEnabled(on));
    if (RememberLogEverySession) RememberLogEverySession(on);
}

void TForm1Model::SaySessionLogStopped(const std::optional<std::string>& why)
{
    if (why) fView.Terminal().AppendTextLine("[Log di sessione interrotto: " + *why + "]");
}

void TForm1Model::ChunkReceived(std::string_view bytes)
{
    // Every chunk, the transfer's too, which the terminal does not show as it came.
    SaySessionLogStopped(SessionLog.Write(bytes));
}

// --- reconnecting

void TForm1Model::SetReconnectAutomatically(bool value)
{
    if (value == fReconnect) return;
    fReconnect = value;
    if (!value) StopWaitingForDevice();
    if (RememberReconnect) RememberReconnect(value);
}

namespace {

// A server that dropped the connection is tried again after a second, then less and less often:
// a server down for the night costs a try every half minute, not a loop.
constexpr std::uint32_t FirstRetryMs = 1000;
constexpr std::uint32_t LongestRetryMs = 30000;

} // namespace

void TForm1Model::WaitForDevice(const std::string& path)
{
    fAwaitedPath = path;
    fAwaitedSerial = fConnectedSerial;
    fWaiting = true;
    if (ParseNetworkPort(path)) {
        fRetryMs = FirstRetryMs;
        fView.CallDevicesChangedAfter(fRetryMs);
        return;
    }
    std::vector<std::string> places{path};
    if (!fAwaitedSerial.empty()) places.emplace_back("/dev/ttyUSB0"); // it may come back renamed
    fView.WatchForDevices(places);
    ReconnectIfBack();
}

void TForm1Model::StopWaitingForDevice()
{
    if (!fWaiting) return;
    fWaiting = false;
    if (fRetryMs != 0) fView.CallDevicesChangedAfter(0);
    fRetryMs = 0;
    fView.WatchForDevices({});
}

void TForm1Model::DevicesChanged()
{
    if (fWaiting) ReconnectIfBack();
}

void TForm1Model::ReconnectIfBack()
{
    const bool network = ParseNetworkPort(fAwaitedPath).has_value();
    std::string found = network || Ports.Present(fAwaitedPath) ? fAwaitedPath : std::string();
    if (found.empty() && !fAwaitedSerial.empty()) {
        for (const std::string& candidate : Ports.List()) {
            const auto usb = Ports.Identity(candidate);
            if (usb && usb->Serial == fAwaitedSerial) {
                found = candidate;
                break;
            }
        }
    }
    if (found.empty() || ComPort.Active()) return;
    const int port = ComPort.Port();
    const std::string before = ComPort.DevicePath(port);
    ComPort.SetDevicePath(port, found);
    try {
        ComPort.SetActive(true); // the settings are the component's, unchanged since the loss
    } catch (const EQorComPort&) {
        ComPort.SetDevicePath(port, before);
        if (network) {
            fRetryMs = std::min(2 * fRetryMs, LongestRetryMs);
            fView.CallDevicesChangedAfter(fRetryMs);
        }
        return; // not usable yet (its permissions come a moment later): the watch goes on
    }
    StopWaitingForDevice();
    ShowConnected(found);
    fView.Terminal().AppendTextLine("[Dispositivo '" + found + "' ricollegato]");
}

// --- closing

void TForm1Model::Button5Click()
{
    fView.Close();
}

void TForm1Model::FormCloseQuery(bool& CanClose)
{
    if (Session.FlashInProgress) {
        fView.ShowWarningBox("Flash in corso, impossibile fermare. !!!");
        CanClose = false;
    }
}

bool TForm1Model::WindowCloseRequested()
{
    bool canClose = true;
    FormCloseQuery(canClose);
    if (!canClose) return false;
    fWindowClosing = true;
    // Release the device as soon as the window is closed, not only when it is destroyed; a
    // transfer still ending (after Stop Flash) keeps it until its loop is done.
    if (!Session.TransferRunning) CloseForClosingWindow();
    return true;
}

void TForm1Model::WindowShown()
{
    fWindowClosing = false;
}

void TForm1Model::CloseForClosingWindow()
{
    SessionLog.Disconnected();
    try {
        ComPort.PurgeTx();
        ComPort.SetActive(false);
    } catch (const std::exception&) {
        // Nobody is left to tell; the port closes for good when the window is destroyed.
    }
}

// --- the terminal and the responder

void TForm1Model::Button_SendClick()
{
    // The terminal's code page, so what is typed is what the device would show back.
    std::string line = EncodeTyped(fView.Text(TControl::Edit_Data));
    if (fView.Checked(TControl::NewLine_CB)) line += "\r\n";
    Session.SendTyped(line);
}

void TForm1Model::SpeedButtonClick(char digit)
{
    Session.SendTyped(std::string_view(&digit, 1));
}

void TForm1Model::Button4Click()
{
    Session.Init();
}

void TForm1Model::Button3Click()
{
    fView.Terminal().ClearText();
}

void TForm1Model::rgAutoClick(int index)
{
    Session.AutoAnswer = index == 0;
}

void TForm1Model::cbbTypeFlashChange(int index)
{
    Session.FlashType = index;
}

// --- the transfer

void TForm1Model::Button1Click()
{
    if (Session.TransferRunning) return; // the session ignores it too; the window must not close
    try {
        Session.Flash([this] { return fView.AskForFirmwareFile(); });
    } catch (const std::exception&) {
        // A window that is closing reports nothing; the port it kept open for the transfer
        // closes now.
        if (!fWindowClosing) throw;
    }
    if (fWindowClosing) CloseForClosingWindow();
}

void TForm1Model::Button2Click()
{
    Session.Stop();
}

std::string TForm1Model::ElapsedTimeText(std::int64_t seconds) const
{
    constexpr std::int64_t secondsPerDay = 24 * 60 * 60;
    seconds %= secondsPerDay;
    if (seconds < 0) seconds = 0;
    return fView.TimeOfDayText(static_cast<int>(seconds / 3600),
                               static_cast<int>(seconds / 60 % 60), static_cast<int>(seconds % 60));
}

// --- the session's reports

void TForm1Model::Delay(std::uint32_t ms)
{
    fView.Delay(ms);
}

void TForm1Model::WaitUntil(const std::function<bool()>& done, std::uint32_t /*pollMs*/)
{
    // The window runs every event itself, so it sleeps until one comes instead of looking
    // again every millisecond.
    fView.HandleEventsUntil(done);
}

void TForm1Model::ShowLamps(bool sending, bool receiving)
{
    fView.SetLedOn(TControl::pelLed1, sending);
    fView.SetLedOn(TControl::pelLed2, receiving);
}

void TForm1Model::ShowStatus(std::string_view text)
{
    fView.SetText(TControl::Panel1, text);
}

void TForm1Model::ShowElapsedSeconds(std::int64_t seconds)
{
    fView.SetText(TControl::Panel2, ElapsedTimeText(seconds));
}

void TForm1Model::ShowLineCount(std::int32_t lines)
{
    fView.SetText(TControl::Panel3, std::to_string(lines));
}

void TForm1Model::ShowFileName(std::string_view name)
{
    fView.SetText(TControl::Panel4, name);
}

void TForm1Model::ShowProgress(int percent)
{
    fView.SetProgress(percent);
}

void TForm1Model::EnableFlash()
{
    fView.SetEnabled(TControl::Button1, true);
}

void TForm1Model::ShowReceived(std::string_view bytes)
{
    fView.Terminal().AppendReceived(bytes);
}

void TForm1Model::ReplaceTerminal(std::string_view text)
{
    fView.Terminal().ReplaceWithText(text);
}

void TForm1Model::ShowLatestAnswer(std::string_view firstBytes)
{
    fView.Terminal().DeleteLine(ThirdLine);
    // Byte for character, line ends shown as symbols: the line stays one line.
    fView.Terminal().AppendTextLine(DisplayText(firstBytes));
}

void TForm1Model::ShowCollectedAnswer(std::string_view answer)
{
    fView.SetText(TControl::Edit1, DisplayText(answer));
}

void TForm1Model::ShowChunkLog(std::string_view log)
{
    fView.SetText(TControl::Memo1, Latin1ToUtf8(log));
}
