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

void TFlowCtrl::SetSwitch(bool& field, bool value, uint32_t bits)
{
    if (value == field) return;
    field = value;
    SetBits(bits, value);
    ApplyFlowCtrl();
}

void TFlowCtrl::SetMode(uint32_t mask, uint32_t mode)
{
    const uint32_t lowestBit = mask & (~mask + 1);
    fDcbFlags = (fDcbFlags & ~mask) | ((mode * lowestBit) & mask);
    ApplyFlowCtrl();
}

void TFlowCtrl::ApplyFlowCtrl()
{
    fApply(fDcbFlags);
}

void TFlowCtrl::SetRxDsrSensivity(bool value)
{
    SetSwitch(fRxDsrSensivity, value, DCB_fDsrSensitivity);
}

void TFlowCtrl::SetRxDtrControl(TDtrControl value)
{
    if (value == fRxDtrControl) return;
    fRxDtrControl = value;
    SetMode(DCB_DtrControlMask, value);
}

void TFlowCtrl::SetRxRtsControl(TRtsControl value)
{
    if (value == fRxRtsControl) return;
    fRxRtsControl = value;
    SetMode(DCB_RtsControlMask, value);
}

void TFlowCtrl::SetTxContinueXoff(bool value)
{
    SetSwitch(fTxContinueXoff, value, DCB_fTXContinueOnXoff);
}

void TFlowCtrl::SetTxCtsFlow(bool value)
{
    SetSwitch(fTxCtsFlow, value, DCB_fOutxCtsFlow);
}

void TFlowCtrl::SetTxDsrFlow(bool value)
{
    SetSwitch(fTxDsrFlow, value, DCB_fOutxDsrFlow);
}

void TFlowCtrl::SetXonXoff(bool value)
{
    SetSwitch(fXonXoff, value, DCB_fOutX | DCB_fInX);
}
