#include "serial/TFlowCtrl.h"

#include "serial/SerialConstants.h"
#include <utility>

TFlowCtrl::TFlowCtrl(std::function<void(uint32_t flags)> apply)
    : fApply(std::move(apply)), fDcbFlags(DCB_fBinary | DCB_DtrControlEnable | DCB_RtsControlEnable)
{
}

void TFlowCtrl::SetBits(uint32_t bits, bool on)
{
    if (on)
        fDcbFlags |= bits;
    else
        fDcbFlags &= ~bits;
}

void TFlowCtrl::ApplyFlowCtrl()
{
    fApply(fDcbFlags);
}

void TFlowCtrl::SetRxDsrSensivity(bool value)
{
    if (value == fRxDsrSensivity) return;
    fRxDsrSensivity = value;
    SetBits(DCB_fDsrSensitivity, value);
    ApplyFlowCtrl();
}

void TFlowCtrl::SetRxDtrControl(TDtrControl value)
{
    if (value == fRxDtrControl) return;
    fRxDtrControl = value;
    fDcbFlags &= ~DCB_DtrControlMask;
    if (value == dtrEnable)
        fDcbFlags |= DCB_DtrControlEnable;
    else if (value == dtrHandshake)
        fDcbFlags |= DCB_DtrControlHandshake;
    ApplyFlowCtrl();
}

void TFlowCtrl::SetRxRtsControl(TRtsControl value)
{
    if (value == fRxRtsControl) return;
    fRxRtsControl = value;
    fDcbFlags &= ~DCB_RtsControlMask;
    if (value == rtsEnable)
        fDcbFlags |= DCB_RtsControlEnable;
    else if (value == rtsHandshake)
        fDcbFlags |= DCB_RtsControlHandshake;
    else if (value == rtsToggle)
        fDcbFlags |= DCB_RtsControlToggle;
    ApplyFlowCtrl();
}

void TFlowCtrl::SetTxContinueXoff(bool value)
{
    if (value == fTxContinueXoff) return;
    fTxContinueXoff = value;
    SetBits(DCB_fTXContinueOnXoff, value);
    ApplyFlowCtrl();
}

void TFlowCtrl::SetTxCtsFlow(bool value)
{
    if (value == fTxCtsFlow) return;
    fTxCtsFlow = value;
    SetBits(DCB_fOutxCtsFlow, value);
    ApplyFlowCtrl();
}

void TFlowCtrl::SetTxDsrFlow(bool value)
{
    if (value == fTxDsrFlow) return;
    fTxDsrFlow = value;
    SetBits(DCB_fOutxDsrFlow, value);
    ApplyFlowCtrl();
}

void TFlowCtrl::SetXonXoff(bool value)
{
    if (value == fXonXoff) return;
    fXonXoff = value;
    SetBits(DCB_fOutX | DCB_fInX, value);
    ApplyFlowCtrl();
}
