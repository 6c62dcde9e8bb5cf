#pragma once

#include "serial/SerialTypes.h"

#include <cstdint>
#include <functional>

// Flow-control settings of a TQorComPort, kept as the flags word the port state stores.
// Each change is written to the open port at once.
class TFlowCtrl
{
public:
    // apply writes the flags word to the owning port's state while it is open.
    explicit TFlowCtrl(std::function<void(uint32_t flags)> apply);
    TFlowCtrl(const TFlowCtrl&) = delete;
    TFlowCtrl& operator=(const TFlowCtrl&) = delete;

    bool RxDsrSensivity() const { return fRxDsrSensivity; }
    void SetRxDsrSensivity(bool value);
    TDtrControl RxDtrControl() const { return fRxDtrControl; }
    void SetRxDtrControl(TDtrControl value);
    TRtsControl RxRtsControl() const { return fRxRtsControl; }
    void SetRxRtsControl(TRtsControl value);
    bool TxContinueXoff() const { return fTxContinueXoff; }
    void SetTxContinueXoff(bool value);
    bool TxCtsFlow() const { return fTxCtsFlow; }
    void SetTxCtsFlow(bool value);
    bool TxDsrFlow() const { return fTxDsrFlow; }
    void SetTxDsrFlow(bool value);
    bool XonXoff() const { return fXonXoff; }
    void SetXonXoff(bool value);

    uint32_t DcbFlags() const { return fDcbFlags; }

private:
    void SetBits(uint32_t bits, bool on);
    // The Boolean setters: compare, store, update the bits, apply.
    void SetSwitch(bool& field, bool value, uint32_t bits);
    // The DTR and RTS control modes are two-bit fields of the flags word, numbered as the
    // enumerations count them (disable 0, enable 1, handshake 2, toggle 3).
    void SetMode(uint32_t mask, uint32_t mode);
    void ApplyFlowCtrl();

    std::function<void(uint32_t)> fApply;
    bool fRxDsrSensivity = false;
    TDtrControl fRxDtrControl = dtrEnable;
    TRtsControl fRxRtsControl = rtsEnable;
    bool fTxContinueXoff = false;
    bool fTxCtsFlow = false;
    bool fTxDsrFlow = false;
    bool fXonXoff = false;
    uint32_t fDcbFlags;
};
