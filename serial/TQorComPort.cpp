#include "serial/TQorComPort.h"

#include "serial/SerialConstants.h"
#include "serial/TQorCommThread.h"
#include "serial/TTransmitQueue.h"

#include <algorithm>
#include <cerrno>
#include <system_error>

TQorComPort::TQorComPort(IMainThreadExecutor& mainThread)
    : fOwnedBackend(SystemSerialBackend()), fBackend(*fOwnedBackend),
      fNotifier(mainThread, [this](const TNotification& n) { NotifyWndProc(n); }),
      fFlowCtrl([this](uint32_t flags) { ApplyDcbFlags(flags); })
{
}

TQorComPort::TQorComPort(IMainThreadExecutor& mainThread, ISerialBackend& backend)
    : fBackend(backend),
      fNotifier(mainThread, [this](const TNotification& n) { NotifyWndProc(n); }),
      fFlowCtrl([this](uint32_t flags) { ApplyDcbFlags(flags); })
{
}

TQorComPort::~TQorComPort()
{
    if (fActive) Close(true);
}

void TQorComPort::SetActive(bool value)
{
    if (value == fActive) return;
    if (value)
        Open();
    else
        Close(false);
    fActive = value;
}

void TQorComPort::SetPort(int value)
{
    fPort = value; // takes effect at the next Open
}

void TQorComPort::SetDevicePath(int port, std::string path)
{
    fDevicePaths[port] = std::move(path);
}

std::string TQorComPort::DevicePath(int port) const
{
    if (auto it = fDevicePaths.find(port); it != fDevicePaths.end()) return it->second;
    if (port <= 0) return "COM" + std::to_string(port); // names no device
    return SystemPortPath(port);
}

template <class TChange> void TQorComPort::ApplyToOpenPort(TChange change)
{
    if (!fActive || !fDevice) return;
    TDeviceResult<TDeviceControlBlock> got = fDevice->GetState();
    if (!got) return;
    TDeviceControlBlock state = got.Value;
    change(state);
    fDevice->SetState(state); // a rejected setting is not reported; the port keeps its own
}

void TQorComPort::ApplyDcbFlags(uint32_t flags)
{
    ApplyToOpenPort([flags](TDeviceControlBlock& state) { state.Flags = flags; });
}

void TQorComPort::SetBaudrate(int value)
{
    if (value == fBaudrate) return;
    fBaudrate = value;
    ApplyToOpenPort(
        [value](TDeviceControlBlock& state) { state.BaudRate = static_cast<uint32_t>(value); });
}

void TQorComPort::SetByteSize(uint8_t value)
{
    fByteSize = value;
}

void TQorComPort::SetParity(TParity value)
{
    if (value == fParity) return;
    fParity = value;
    ApplyToOpenPort([value](TDeviceControlBlock& state) { state.Parity = value; });
}

void TQorComPort::SetStopBits(TStopBits value)
{
    if (value == fStopBits) return;
    fStopBits = value;
    ApplyToOpenPort([value](TDeviceControlBlock& state) { state.StopBits = value; });
}

void TQorComPort::SetLineEnd(std::string_view value)
{
    fReceive.SetLineEnd(value);
}

void TQorComPort::SetLineMode(bool value)
{
    if (value == LineMode()) return;
    fReceive.SetLineMode(value);
    if (!value && fActive && RxCount() > 0) fNotifier.Post({TNotificationKind::DataAvailable, 0});
    if (value && RxThresholdUse()) fReceive.SetThresholdUse(false);
}

void TQorComPort::SetPortOptions(TPortOptions value)
{
    fPortOptions = value;
}

void TQorComPort::SetRxBuffer(uint32_t value)
{
    if (value == fRxBuffer) return;
    fRxBuffer = value;
    fXoffLimit = (value / 4) * 3;
    fXonLimit = value / 2;
    ApplyToOpenPort([this](TDeviceControlBlock& state) {
        state.XoffLim = static_cast<uint16_t>(fXoffLimit);
        state.XonLim = static_cast<uint16_t>(fXonLimit);
    });
}

void TQorComPort::SetRxThresholdAmount(int value)
{
    fReceive.SetThresholdAmount(value);
}

void TQorComPort::SetRxThresholdUse(bool value)
{
    if (value == RxThresholdUse()) return;
    fReceive.SetThresholdUse(value);
    if (value && LineMode()) fReceive.SetLineMode(false);
    if (!value && fActive && RxCount() > 0) fNotifier.Post({TNotificationKind::DataAvailable, 0});
}

void TQorComPort::SetTxBuffer(uint32_t value)
{
    fTxBuffer = value;
}

void TQorComPort::SetOnDataAvailable(TNotifyEvent handler)
{
    fOnDataAvailable = std::move(handler);
    fReceive.SetHasDataHandler(static_cast<bool>(fOnDataAvailable));
}

void TQorComPort::Open()
{
    const std::string path = DevicePath(fPort);
    const std::string failure = "Cannot open port '" + path + "'";
    if (fPort <= 0 && !fDevicePaths.contains(fPort)) throw EQorComPort(failure, ENODEV);
    TDeviceResult<std::unique_ptr<ISerialDevice>> opened = fBackend.Open(path);
    if (!opened && opened.SystemError) throw EQorComPort(failure, opened.SystemError);
    if (!opened) throw EQorComPort(failure, opened.Error);
    std::unique_ptr<ISerialDevice> device = std::move(opened.Value);

    TDeviceControlBlock state = device->GetState().ValueOr({});
    state.BaudRate = static_cast<uint32_t>(fBaudrate);
    state.XoffLim = static_cast<uint16_t>(fXoffLimit);
    state.XonLim = static_cast<uint16_t>(fXonLimit);
    state.ByteSize = fByteSize;
    state.Parity = fParity;
    state.StopBits = fStopBits;
    state.Flags = fFlowCtrl.DcbFlags();
    device->SetQueueSizes(fRxBuffer, fTxBuffer);
    device->SetState(state);
    uint32_t mask = EV_RXCHAR | EV_TXEMPTY;
    if (fPortOptions.Contains(EventCtsDsr)) mask |= EV_CTS | EV_DSR;
    if (fPortOptions.Contains(EventError)) mask |= EV_ERR;
    device->SetEventMask(mask);
    device->EnterLowLatency(); // a driver without the mode is served as before

    auto transmitQueue = std::make_unique<TTransmitQueue>();
    std::unique_ptr<TQorCommThread> thread;
    try {
        thread =
            std::make_unique<TQorCommThread>(fReceive, *device, fNotifier, *transmitQueue, mask);
        fNotifier.BeginWorker();
        thread->Start();
    } catch (const std::system_error& e) {
        fNotifier.WorkerEnded();
        device->LeaveLowLatency();
        // The device closes with `device`. A Windows call's code is no errno.
        if (e.code().category() != std::generic_category()) throw EQorComPort(failure, e.code());
        throw EQorComPort(failure, e.code().value());
    }
    fDevice = std::move(device);
    fTransmitQueue = std::move(transmitQueue);
    fCommThread = std::move(thread);
}

void TQorComPort::Close(bool forced)
{
    // Give the handler what line or threshold mode still holds; an exception here keeps
    // the port open.
    if (!forced && fReceive.Buffered() && RxCount() > 0 && fOnDataAvailable) {
        const TNotifyEvent handler = fOnDataAvailable;
        handler(*this);
    }

    std::exception_ptr failure;
    if (fCommThread) {
        fCommThread->RequestStop();
        try {
            fNotifier.WaitForWorkerEnd();
        } catch (...) { // kept, so the port is closed first and the handler's error then raised
            failure = std::current_exception();
        }
        // A handler served during the wait may have closed the port already.
        if (fCommThread) fCommThread->Join();
    }
    fCommThread.reset();
    fTransmitQueue.reset();
    if (fDevice) fDevice->LeaveLowLatency();
    fDevice.reset();
    fActive = false;
    if (failure && !forced) std::rethrow_exception(failure);
}

int TQorComPort::Write(std::span<const std::byte> data)
{
    if (!fActive) throw EQorComPort("Port not open");
    // Taking bytes for a device that is gone would report as sent what nobody receives.
    if (fTransmitQueue->Discarded()) throw EQorComPort("Port not open", ENODEV);
    const auto result = fTransmitQueue->Write(*fDevice, data);
    if (result.WakeWorker) fCommThread->Wake();
    return static_cast<int>(result.Immediate);
}

int TQorComPort::WriteString(std::string_view s)
{
    return Write(std::as_bytes(std::span(s.data(), s.size())));
}

uint32_t TQorComPort::OutputPending() const
{
    if (!fActive || !fDevice) return 0;
    uint32_t pending = static_cast<uint32_t>(fTransmitQueue->QueuedBytes());
    pending += fDevice->OutputQueued().ValueOr(0);
    if (pending == 0) {
        if (const TDeviceResult<bool> empty = fDevice->TransmitterEmpty(); empty && !*empty)
            pending = 1;
    }
    return pending;
}

uint32_t TQorComPort::UncountedOutputBytes() const
{
    return fActive && fDevice ? fDevice->UncountedOutputBytes() : 0;
}

void TQorComPort::PurgeTx()
{
    if (!fActive || !fDevice) return;
    fTransmitQueue->Purge();
    fDevice->Purge(PURGE_TXABORT | PURGE_TXCLEAR);
}

bool TQorComPort::DeviceLost() const
{
    return fActive && fTransmitQueue && fTransmitQueue->Discarded();
}

std::string TQorComPort::ThreadFailure() const
{
    return fCommThread ? fCommThread->Failure() : std::string();
}

int TQorComPort::RxCount() const
{
    return fCommThread ? static_cast<int>(fCommThread->Pending()) : 0;
}

int TQorComPort::Read(std::span<std::byte> buffer)
{
    if (buffer.empty() || !fCommThread) return 0;
    const size_t count = std::min(buffer.size(), static_cast<size_t>(fCommThread->Pending()));
    if (count == 0) return 0;
    const auto target = buffer.first(count);
    size_t taken = 0;
    // Bytes left in the receive buffer by line or threshold mode come first, also after a
    // switch to plain mode; otherwise they would be lost and the count would not match.
    taken = fCommThread->Buffer().Read(target);
    if (!fReceive.Buffered() && taken < count) {
        const TIoResult io = fDevice->Read(target.subspan(taken));
        if (io.Status == TIoStatus::Failed && taken == 0) {
            fCommThread->DropPending(); // the bytes went with the device
            return 0;
        }
        taken += io.Value;
    }
    fCommThread->Consumed(static_cast<uint32_t>(taken));
    return static_cast<int>(taken);
}

std::string TQorComPort::ReadString()
{
    std::string result(static_cast<size_t>(RxCount()), '\0');
    const int n = Read(std::as_writable_bytes(std::span(result.data(), result.size())));
    result.resize(static_cast<size_t>(n));
    return result;
}

void TQorComPort::PurgeRx()
{
    if (fDevice) fDevice->Purge(PURGE_RXABORT | PURGE_RXCLEAR);
}

template <class THandler, class... TArgs>
void TQorComPort::Guarded(const THandler& handler, TArgs... args)
{
    if (!handler) return;
    // A copy, so the handler may replace itself while it runs.
    const THandler call = handler;
    try {
        call(*this, args...);
    } catch (const std::exception& e) {
        if (const TPortExceptionEvent onBG = fOnBGException) {
            try {
                onBG(*this, e);
            } catch (...) { // an error of the error handler has nowhere left to go
            }
        }
    }
}

void TQorComPort::NotifyWndProc(const TNotification& notification)
{
    switch (notification.Kind) {
    case TNotificationKind::DataAvailable:
        Guarded(fOnDataAvailable);
        break;
    case TNotificationKind::DataSent:
        Guarded(fOnDataSent);
        break;
    case TNotificationKind::CtsChanged:
        Guarded(fOnCtsChanged, (notification.Param & MS_CTS_ON) != 0);
        break;
    case TNotificationKind::DsrChanged:
        Guarded(fOnDsrChanged, (notification.Param & MS_DSR_ON) != 0);
        break;
    case TNotificationKind::Error:
        Guarded(fOnError, notification.Param);
        break;
    }
}
