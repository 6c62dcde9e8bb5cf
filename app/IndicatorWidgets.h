#pragma once
// The window's drawn controls, gathered for the files that lay out or test the window.

#include "widgets/TBorderStyle.h"
#include "widgets/TColor.h"
#include "widgets/TGauge.h"
#include "widgets/TNotifyEvent.h"
#include "widgets/TTipTrackBar.h"
#include "widgets/TpelLed.h"
