#include "serial/Win32SerialBackend.h"

#include "serial/DeviceUsers.h"
#include "serial/SerialConstants.h" // before windows.h, whose macros have the same values
#include "serial/TNetworkSerialDevice.h"
#include "system/TWakeUpEvent.h"
#include "system/TWin32Handle.h"
#include "system/Win32Error.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <filesystem>
#include <mutex>
#include <string>
#include <vector>

namespace {

// What one overlapped write hands the driver at most; the transmit queue keeps the rest.
constexpr size_t kWriteChunk = 4096;

TWin32Handle NewEvent()
{
    TWin32Handle event(::CreateEventW(nullptr, TRUE, FALSE, nullptr));
    if (!event.Valid()) throw Win32Error("CreateEvent");
    return event;
}

// The overlapped structure of one kind of operation, with its own completion event.
struct TOverlapped
{
    TWin32Handle Done = NewEvent();
    OVERLAPPED Io{};
    bool Pending = false;

    OVERLAPPED* Start()
    {
        Io = OVERLAPPED{};
        Io.hEvent = Done.Get();
        return &Io;
    }
};

DCB EmptyDcb()
{
    DCB dcb{};
    dcb.DCBlength = sizeof dcb;
    return dcb;
}

// The line-state fields the DCB and the component's block share by name and width.
template <class TFrom, class TTo> void CopyLineFields(const TFrom& from, TTo& to)
{
    to.BaudRate = from.BaudRate;
    to.XonLim = from.XonLim;
    to.XoffLim = from.XoffLim;
    to.ByteSize = from.ByteSize;
    to.Parity = from.Parity;
    to.StopBits = from.StopBits;
}

// The errno a Windows code means, in the terms the reasons are kept in; 0 when none says it.
int ErrnoFor(DWORD error)
{
    switch (error) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
        return ENOENT;
    case ERROR_ACCESS_DENIED: // what Windows says of a port another program holds
    case ERROR_SHARING_VIOLATION:
    case ERROR_BUSY:
        return EBUSY;
    case ERROR_NOT_READY:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_GEN_FAILURE:
    case ERROR_DEV_NOT_EXIST:
        return ENODEV;
    case ERROR_INVALID_FUNCTION:
    case ERROR_INVALID_HANDLE:
    case ERROR_NOT_SUPPORTED:
        return ENOTTY;
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
        return ENOMEM;
    case ERROR_OPERATION_ABORTED:
        return ECANCELED;
    default:
        return 0;
    }
}

// A Win32 call's BOOL as a result; a failure carries GetLastError.
TDeviceFailure LastFailure()
{
    return Win32DeviceFailure(::GetLastError());
}
TDeviceResult<> Done(BOOL succeeded)
{
    if (!succeeded) return LastFailure();
    return {};
}

class TWin32SerialDevice final : public ISerialDevice
{
public:
    explicit TWin32SerialDevice(TWin32Handle port) : fPort(std::move(port)) {}
    ~TWin32SerialDevice() override;

    TDeviceResult<TDeviceControlBlock> GetState() override;
    TDeviceResult<> SetState(const TDeviceControlBlock& state) override;
    TDeviceResult<> SetQueueSizes(uint32_t rxSize, uint32_t txSize) override
    {
        return Done(::SetupComm(fPort.Get(), rxSize, txSize));
    }
    TDeviceResult<> SetEventMask(uint32_t mask) override
    {
        fEmptyCompletions = 0; // a new mask ends the wait in progress with no event
        return Done(::SetCommMask(fPort.Get(), mask));
    }
    TIoResult Read(std::span<std::byte> buffer) override;
    TIoResult Write(std::span<const std::byte> data) override;
    TDeviceResult<uint32_t> BytesWaiting() override;
    TDeviceResult<uint32_t> OutputQueued() override;
    uint32_t UncountedOutputBytes() override { return AdapterFifoBytes; }
    TDeviceResult<bool> TransmitterEmpty() override { return DeviceUnsupported(); }
    TDeviceResult<> Purge(uint32_t flags) override { return Done(::PurgeComm(fPort.Get(), flags)); }
    // The driver's own latency setting rules.
    TDeviceResult<> EnterLowLatency() override { return DeviceUnsupported(); }
    void LeaveLowLatency() override {}
    TDeviceResult<uint32_t> ModemStatus() override;
    TDeviceResult<TLineErrorCounters> ErrorCounters() override;
    TDeviceResult<> WaitModemChange(uint32_t msMask, uint32_t knownStatus) override;
    void InterruptModemWait() override;
    TPortWait Wait(const TWakeUpEvent& wake, bool wantWrite, int timeoutMs) override;

private:
    TPortWait PausedWait(const TWakeUpEvent& wake, bool wantWrite, int timeoutMs);
    // ClearCommError: the queues, with the error flags it clears added to the counters.
    TDeviceResult<COMSTAT> Status();
    bool WriteDone();
    void Seen(DWORD events, TPortWait& seen);

    TWin32Handle fPort;

    TOverlapped fEvent; // WaitCommEvent; the communication thread's only
    DWORD fEventWord = 0;
    // Event waits in a row that ended with no event (or aborted). Some drivers never wait (Wine's
    // on a pseudo-terminal aborts each at once); past EmptyCompletionsTrusted the wait looks at the queues after a pause
    // instead, growing while nothing comes, so that it neither spins nor keeps bytes waiting long.
    static constexpr int EmptyCompletionsTrusted = 8;
    static constexpr DWORD LongestPauseMs = 32;
    std::atomic<int> fEmptyCompletions = 0; // also reset by SetEventMask, from the owner
    DWORD fPauseMs = 1;

    std::mutex fReadMutex;
    TOverlapped fRead;

    std::mutex fWriteMutex;
    TOverlapped fWrite;
    std::vector<std::byte> fWriting; // what the pending write sends

    std::mutex fErrorMutex;
    TLineErrorCounters fCounters; // Windows reports errors once; the component wants totals

    // The communication thread's wait sees CTS/DSR events; the modem watcher waits for them.
    std::mutex fModemMutex;
    std::condition_variable fModemChanged;
    uint64_t fModemGeneration = 0;
    bool fModemInterrupted = false;
};

TWin32SerialDevice::~TWin32SerialDevice()
{
    InterruptModemWait();
    // The system may still write into the overlapped structures until their operations end.
    ::SetCommMask(fPort.Get(), 0);
    ::CancelIo(fPort.Get());
    DWORD ignored = 0;
    for (TOverlapped* op : {&fEvent, &fWrite})
        if (op->Pending) ::GetOverlappedResult(fPort.Get(), &op->Io, &ignored, TRUE);
}

TDeviceResult<TDeviceControlBlock> TWin32SerialDevice::GetState()
{
    DCB dcb = EmptyDcb();
    if (!::GetCommState(fPort.Get(), &dcb)) return LastFailure();
    TDeviceControlBlock state;
    CopyLineFields(dcb, state);
    uint32_t flags = 0;
    if (dcb.fBinary) flags |= DCB_fBinary;
    if (dcb.fParity) flags |= DCB_fParity;
    if (dcb.fOutxCtsFlow) flags |= DCB_fOutxCtsFlow;
    if (dcb.fOutxDsrFlow) flags |= DCB_fOutxDsrFlow;
    flags |= (dcb.fDtrControl << 4) & DCB_DtrControlMask;
    if (dcb.fDsrSensitivity) flags |= DCB_fDsrSensitivity;
    if (dcb.fTXContinueOnXoff) flags |= DCB_fTXContinueOnXoff;
    if (dcb.fOutX) flags |= DCB_fOutX;
    if (dcb.fInX) flags |= DCB_fInX;
    flags |= (dcb.fRtsControl << 12) & DCB_RtsControlMask;
    state.Flags = flags;
    return state;
}

TDeviceResult<> TWin32SerialDevice::SetState(const TDeviceControlBlock& state)
{
    DCB dcb = EmptyDcb();
    if (!::GetCommState(fPort.Get(), &dcb)) return LastFailure();
    CopyLineFields(state, dcb);
    const uint32_t flags = state.Flags;
    dcb.fBinary = (flags & DCB_fBinary) != 0;
    dcb.fParity = (flags & DCB_fParity) != 0;
    dcb.fOutxCtsFlow = (flags & DCB_fOutxCtsFlow) != 0;
    dcb.fOutxDsrFlow = (flags & DCB_fOutxDsrFlow) != 0;
    dcb.fDtrControl = (flags & DCB_DtrControlMask) >> 4;
    dcb.fDsrSensitivity = (flags & DCB_fDsrSensitivity) != 0;
    dcb.fTXContinueOnXoff = (flags & DCB_fTXContinueOnXoff) != 0;
    dcb.fOutX = (flags & DCB_fOutX) != 0;
    dcb.fInX = (flags & DCB_fInX) != 0;
    dcb.fRtsControl = (flags & DCB_RtsControlMask) >> 12;
    dcb.fErrorChar = FALSE;
    dcb.fNull = FALSE;
    dcb.fAbortOnError = FALSE; // an error must not stop every later read and write
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    return Done(::SetCommState(fPort.Get(), &dcb));
}

TIoResult TWin32SerialDevice::Read(std::span<std::byte> buffer)
{
    std::lock_guard lock(fReadMutex);
    DWORD count = 0;
    // The time-outs set at open make a read return at once with what the driver holds.
    if (!::ReadFile(fPort.Get(), buffer.data(), static_cast<DWORD>(buffer.size()), &count,
                    fRead.Start())) {
        if (::GetLastError() != ERROR_IO_PENDING ||
            !::GetOverlappedResult(fPort.Get(), &fRead.Io, &count, TRUE))
            return LastFailure();
    }
    if (count == 0 && !buffer.empty()) return DeviceWouldBlock();
    return size_t{count};
}

TIoResult TWin32SerialDevice::Write(std::span<const std::byte> data)
{
    std::lock_guard lock(fWriteMutex);
    if (fWrite.Pending) {
        DWORD done = 0;
        if (!::GetOverlappedResult(fPort.Get(), &fWrite.Io, &done, FALSE)) {
            const DWORD error = ::GetLastError();
            if (error == ERROR_IO_INCOMPLETE) return DeviceWouldBlock();
            if (error != ERROR_OPERATION_ABORTED) return Win32DeviceFailure(error); // not a purge
        }
        fWrite.Pending = false;
    }
    if (data.empty()) return {};
    // The system reads the bytes after WriteFile returns, so they are kept here until it is done.
    fWriting.assign(data.begin(), data.begin() + std::min(data.size(), kWriteChunk));
    const DWORD size = static_cast<DWORD>(fWriting.size());
    if (::WriteFile(fPort.Get(), fWriting.data(), size, nullptr, fWrite.Start()))
        return size_t{size};
    if (::GetLastError() != ERROR_IO_PENDING) return LastFailure();
    fWrite.Pending = true;
    return size_t{size};
}

bool TWin32SerialDevice::WriteDone()
{
    std::lock_guard lock(fWriteMutex);
    return !fWrite.Pending || HasOverlappedIoCompleted(&fWrite.Io);
}

TDeviceResult<COMSTAT> TWin32SerialDevice::Status()
{
    DWORD errors = 0;
    COMSTAT status{};
    if (!::ClearCommError(fPort.Get(), &errors, &status)) return LastFailure();
    if (errors != 0) {
        std::lock_guard lock(fErrorMutex);
        if (errors & CE_RXOVER) ++fCounters.BufferOverrun;
        if (errors & CE_OVERRUN) ++fCounters.Overrun;
        if (errors & CE_RXPARITY) ++fCounters.Parity;
        if (errors & CE_FRAME) ++fCounters.Frame;
        if (errors & CE_BREAK) ++fCounters.Break;
    }
    return status;
}

TDeviceResult<uint32_t> TWin32SerialDevice::BytesWaiting()
{
    const auto status = Status();
    if (!status) return status.Failure();
    return uint32_t{status->cbInQue};
}

TDeviceResult<uint32_t> TWin32SerialDevice::OutputQueued()
{
    const auto status = Status();
    if (!status) return status.Failure();
    std::lock_guard lock(fWriteMutex);
    const bool writing = fWrite.Pending && !HasOverlappedIoCompleted(&fWrite.Io);
    return std::max<uint32_t>(status->cbOutQue, writing ? fWriting.size() : 0);
}

TDeviceResult<uint32_t> TWin32SerialDevice::ModemStatus()
{
    DWORD status = 0;
    if (!::GetCommModemStatus(fPort.Get(), &status)) return LastFailure();
    return uint32_t{status};
}

TDeviceResult<TLineErrorCounters> TWin32SerialDevice::ErrorCounters()
{
    if (const auto status = Status(); !status) return status.Failure();
    std::lock_guard lock(fErrorMutex);
    return fCounters;
}

TDeviceResult<> TWin32SerialDevice::WaitModemChange(uint32_t msMask, uint32_t knownStatus)
{
    std::unique_lock lock(fModemMutex);
    for (;;) {
        if (fModemInterrupted) return Win32DeviceFailure(ERROR_OPERATION_ABORTED);
        const auto now = ModemStatus();
        if (!now) return now.Failure();
        if ((*now ^ knownStatus) & msMask) return {};
        const uint64_t generation = fModemGeneration;
        fModemChanged.wait(lock,
                           [&] { return fModemInterrupted || fModemGeneration != generation; });
    }
}

void TWin32SerialDevice::InterruptModemWait()
{
    std::lock_guard lock(fModemMutex);
    fModemInterrupted = true;
    fModemChanged.notify_all();
}

void TWin32SerialDevice::Seen(DWORD events, TPortWait& seen)
{
    if (events & (EV_RXCHAR | EV_ERR)) seen.Readable = true; // errors are asked for with the count
    if (events & (EV_CTS | EV_DSR)) {
        std::lock_guard lock(fModemMutex);
        ++fModemGeneration;
        fModemChanged.notify_all();
    }
}

TPortWait TWin32SerialDevice::Wait(const TWakeUpEvent& wake, bool wantWrite, int timeoutMs)
{
    const auto raised = [&wake] {
        return ::WaitForSingleObject(wake.Handle(), 0) == WAIT_OBJECT_0;
    };
    TPortWait seen;
    if (fEmptyCompletions >= EmptyCompletionsTrusted) return PausedWait(wake, wantWrite, timeoutMs);
    if (!fEvent.Pending) {
        fEventWord = 0;
        if (::WaitCommEvent(fPort.Get(), &fEventWord, fEvent.Start())) {
            fEmptyCompletions = fEventWord == 0 ? fEmptyCompletions + 1 : 0;
            Seen(fEventWord, seen);
        } else if (::GetLastError() == ERROR_IO_PENDING) {
            fEvent.Pending = true;
        } else if (::GetLastError() != ERROR_OPERATION_ABORTED) {
            seen.Lost = true; // the adapter was pulled
            return seen;
        } else {
            ++fEmptyCompletions;
        }
    }
    // Like poll(): bytes still waiting are reported whether or not a new one came.
    const auto status = Status();
    if (!status) return {.Lost = true};
    if (status->cbInQue > 0) seen.Readable = true;
    const bool writable = wantWrite && WriteDone();
    if (seen.Readable || writable) {
        seen.Writable = writable;
        seen.Woken = raised();
        return seen;
    }

    const HANDLE handles[] = {wake.Handle(), fEvent.Done.Get(), fWrite.Done.Get()};
    const DWORD count = wantWrite ? 3 : 2; // the write event only while a write is pending
    const DWORD limit = timeoutMs < 0 ? INFINITE : static_cast<DWORD>(timeoutMs);
    if (::WaitForMultipleObjects(count, handles, FALSE, limit) == WAIT_FAILED)
        throw Win32Error("WaitForMultipleObjects");
    seen.Woken = raised();
    DWORD ignored = 0;
    if (::GetOverlappedResult(fPort.Get(), &fEvent.Io, &ignored, FALSE)) {
        fEvent.Pending = false;
        fEmptyCompletions = fEventWord == 0 ? fEmptyCompletions + 1 : 0;
        Seen(fEventWord, seen);
    } else if (const DWORD error = ::GetLastError(); error != ERROR_IO_INCOMPLETE) {
        fEvent.Pending = false;
        // A purge or a new mask ends the wait early; that is no reason to give up the port.
        seen.Lost = error != ERROR_OPERATION_ABORTED;
        if (!seen.Lost) ++fEmptyCompletions;
    }
    if (wantWrite) seen.Writable = WriteDone();
    return seen;
}

TPortWait TWin32SerialDevice::PausedWait(const TWakeUpEvent& wake, bool wantWrite, int timeoutMs)
{
    TPortWait seen;
    const auto status = Status();
    if (!status) return {.Lost = true};
    seen.Readable = status->cbInQue > 0;
    seen.Writable = wantWrite && WriteDone();
    if (!seen.Readable && !seen.Writable) {
        const HANDLE handles[] = {wake.Handle(), fWrite.Done.Get()};
        DWORD pause = fPauseMs;
        if (timeoutMs >= 0) pause = std::min<DWORD>(pause, static_cast<DWORD>(timeoutMs));
        if (::WaitForMultipleObjects(wantWrite ? 2 : 1, handles, FALSE, pause) == WAIT_FAILED)
            throw Win32Error("WaitForMultipleObjects");
        fPauseMs = std::min(2 * fPauseMs, LongestPauseMs);
        const auto after = Status();
        if (!after) return {.Lost = true};
        seen.Readable = after->cbInQue > 0;
        if (wantWrite) seen.Writable = WriteDone();
    }
    if (seen.Readable) fPauseMs = 1; // a device that talks is looked at often
    seen.Woken = ::WaitForSingleObject(wake.Handle(), 0) == WAIT_OBJECT_0;
    return seen;
}

} // namespace

TDeviceResult<std::unique_ptr<ISerialDevice>> TWin32SerialBackend::Open(const std::string& path)
{
    if (const auto address = ParseNetworkPort(path)) return TNetworkSerialDevice::Open(*address);
    // Above COM9 only the device namespace finds a port; below it the prefix does no harm.
    const std::string name = path.rfind(R"(\\.\)", 0) == 0 ? path : R"(\\.\)" + path;
    TWin32Handle port(::CreateFileW(
        std::filesystem::path(std::u8string(name.begin(), name.end())).c_str(),
        GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr));
    if (!port.Valid()) return Win32DeviceFailure(::GetLastError());

    DCB dcb = EmptyDcb();
    if (!::GetCommState(port.Get(), &dcb))
        return Win32DeviceFailure(ERROR_INVALID_FUNCTION); // not a port
    // Reads return at once with what has arrived; writes wait as long as the line needs.
    COMMTIMEOUTS timeouts{};
    timeouts.ReadIntervalTimeout = MAXDWORD;
    if (!::SetCommTimeouts(port.Get(), &timeouts)) return Win32DeviceFailure(::GetLastError());
    try {
        return std::unique_ptr<ISerialDevice>(
            std::make_unique<TWin32SerialDevice>(std::move(port)));
    } catch (const std::system_error& e) {
        return Win32DeviceFailure(static_cast<DWORD>(e.code().value()));
    }
}

TDeviceFailure Win32DeviceFailure(unsigned long code)
{
    if (const int error = ErrnoFor(code); error != 0) return DeviceFailed(error);
    return {TIoStatus::Failed, 0, std::error_code(static_cast<int>(code), Win32Category())};
}

std::unique_ptr<ISerialBackend> SystemSerialBackend()
{
    return std::make_unique<TWin32SerialBackend>();
}

std::string SystemPortPath(int port)
{
    return "COM" + std::to_string(port);
}

std::optional<std::string> DeviceGroupName(const std::string&)
{
    return std::nullopt; // COM ports have no owning group; the in-use reason needs none
}

std::optional<TDeviceHolder> FindDeviceHolder(const std::string&)
{
    return std::nullopt;
}
