#pragma once

#include "serial/EQorComPort.h"
#include "serial/IMainThreadExecutor.h"
#include "serial/ISerialBackend.h"
#include "serial/SerialTypes.h"
#include "serial/TFlowCtrl.h"
#include "serial/TMainThreadNotifier.h"
#include "serial/TNotification.h"
#include "serial/TReceivePolicy.h"

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <string_view>

class TQorCommThread;
class TTransmitQueue;

// Owns one serial port: its settings, opening and closing, sending, and a communication
// thread that waits for port events and raises the component's events on the main thread.
// Every member is to be called on the main thread.
class TQorComPort
{
public:
    explicit TQorComPort(IMainThreadExecutor& mainThread);
    TQorComPort(IMainThreadExecutor& mainThread, ISerialBackend& backend);
    ~TQorComPort();
    TQorComPort(const TQorComPort&) = delete;
    TQorComPort& operator=(const TQorComPort&) = delete;

    bool Active() const { return fActive; }
    void SetActive(bool value);

    int Port() const { return fPort; }
    void SetPort(int value);
    // Port number -> device; without an entry port n is /dev/ttyS<n-1>.
    void SetDevicePath(int port, std::string path);
    std::string DevicePath(int port) const;

    int Baudrate() const { return fBaudrate; }
    void SetBaudrate(int value);
    uint8_t ByteSize() const { return fByteSize; }
    void SetByteSize(uint8_t value);
    TParity Parity() const { return fParity; }
    void SetParity(TParity value);
    TStopBits StopBits() const { return fStopBits; }
    void SetStopBits(TStopBits value);
    TFlowCtrl& FlowCtrl() { return fFlowCtrl; }
    const TFlowCtrl& FlowCtrl() const { return fFlowCtrl; }
    std::string LineEnd() const { return fReceive.LineEnd(); }
    void SetLineEnd(std::string_view value);
    bool LineMode() const { return fReceive.LineMode(); }
    void SetLineMode(bool value);
    TPortOptions PortOptions() const { return fPortOptions; }
    void SetPortOptions(TPortOptions value);
    uint32_t RxBuffer() const { return fRxBuffer; }
    void SetRxBuffer(uint32_t value);
    int RxThresholdAmount() const { return fReceive.ThresholdAmount(); }
    void SetRxThresholdAmount(int value);
    bool RxThresholdUse() const { return fReceive.ThresholdUse(); }
    void SetRxThresholdUse(bool value);
    uint32_t TxBuffer() const { return fTxBuffer; }
    void SetTxBuffer(uint32_t value);
    std::string Version() const { return "1.12"; }
    void SetVersion(std::string_view) {} // the version is the component's own
    uint32_t XonLimit() const { return fXonLimit; }
    uint32_t XoffLimit() const { return fXoffLimit; }

    // Sends without waiting for the line; returns the bytes the driver took during the call
    // (the rest follows in order). The caller may reuse its buffer at once.
    // Throws "Port not open" while closed, and also once the device has gone away.
    int Write(std::span<const std::byte> data);
    int WriteString(std::string_view s);
    // Bytes written that have not left yet: those the component still queues plus those the
    // driver reports holding (and one more while the transmitter is still shifting out the
    // last character, where the driver tells). 0 while closed.
    uint32_t OutputPending() const;
    // What may still be on its way past OutputPending, uncounted (a pseudo-terminal's buffer,
    // an adapter's FIFO): an upper bound, 0 while closed.
    uint32_t UncountedOutputBytes() const;
    // Drops every byte written that has not left yet: the component's queue and the driver's
    // output queue (tcflush TCOFLUSH).
    void PurgeTx();
    // The device has gone away (adapter pulled, line hung up) and the port is still open:
    // nothing written reaches it any more, and the OnError notification is on its way.
    bool DeviceLost() const;
    // Why the communication thread had to end on its own, empty while it runs or ended normally.
    std::string ThreadFailure() const;
    // Received bytes the reader may take now; meant for the OnDataAvailable handler.
    int RxCount() const;
    int Read(std::span<std::byte> buffer);
    std::string ReadString();
    void PurgeRx();

    const TPortExceptionEvent& OnBGException() const { return fOnBGException; }
    void SetOnBGException(TPortExceptionEvent handler) { fOnBGException = std::move(handler); }
    const TNotifyEvent& OnDataAvailable() const { return fOnDataAvailable; }
    void SetOnDataAvailable(TNotifyEvent handler);
    const TNotifyEvent& OnDataSent() const { return fOnDataSent; }
    void SetOnDataSent(TNotifyEvent handler)
    {
        fOnDataSent = std::move(handler);
        fReceive.SetHasSentHandler(static_cast<bool>(fOnDataSent));
    }
    const TPortLineEvent& OnCtsChanged() const { return fOnCtsChanged; }
    void SetOnCtsChanged(TPortLineEvent handler) { fOnCtsChanged = std::move(handler); }
    const TPortLineEvent& OnDsrChanged() const { return fOnDsrChanged; }
    void SetOnDsrChanged(TPortLineEvent handler) { fOnDsrChanged = std::move(handler); }
    const TPortErrEvent& OnError() const { return fOnError; }
    void SetOnError(TPortErrEvent handler) { fOnError = std::move(handler); }

    // Runs one notification's event handler, guarded: an exception derived from
    // std::exception goes to OnBGException or is dropped.
    void NotifyWndProc(const TNotification& notification);

private:
    void Open();
    // forced: called while destroying; skips the last offer to the handler and never throws.
    void Close(bool forced);
    template <class TChange> void ApplyToOpenPort(TChange change);
    void ApplyDcbFlags(uint32_t flags);
    template <class THandler, class... TArgs> void Guarded(const THandler& handler, TArgs... args);

    std::unique_ptr<ISerialBackend> fOwnedBackend;
    ISerialBackend& fBackend;
    TMainThreadNotifier fNotifier;
    TFlowCtrl fFlowCtrl;

    bool fActive = false;
    int fPort = 0;
    std::map<int, std::string> fDevicePaths;
    int fBaudrate = 9600;
    uint8_t fByteSize = 8;
    TParity fParity = ptNone;
    TStopBits fStopBits = sbOne;
    TPortOptions fPortOptions;
    uint32_t fRxBuffer = 8192;
    uint32_t fTxBuffer = 8192;
    uint32_t fXoffLimit = 4096;
    uint32_t fXonLimit = 6144;

    TReceivePolicy fReceive; // read by the communication thread too

    TPortExceptionEvent fOnBGException;
    TNotifyEvent fOnDataAvailable;
    TNotifyEvent fOnDataSent;
    TPortLineEvent fOnCtsChanged;
    TPortLineEvent fOnDsrChanged;
    TPortErrEvent fOnError;

    // While open.
    std::unique_ptr<ISerialDevice> fDevice;
    std::unique_ptr<TTransmitQueue> fTransmitQueue;
    std::unique_ptr<TQorCommThread> fCommThread;
};
