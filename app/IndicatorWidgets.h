#pragma once
// The window's drawn controls. The serial component and the widgets each declare a global event
// type named TNotifyEvent with different senders; inside the program the widgets' one is called
// TWidgetNotifyEvent so both can be used in one translation unit. Include the widgets only here.

#define TNotifyEvent TWidgetNotifyEvent
#include "widgets/TGauge.h"
#include "widgets/TNotifyEvent.h"
#include "widgets/TTipTrackBar.h"
#include "widgets/TpelLed.h"
#undef TNotifyEvent

#include "widgets/TBorderStyle.h"
#include "widgets/TColor.h"
