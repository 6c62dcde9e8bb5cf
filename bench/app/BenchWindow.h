#pragma once
// The window under measurement beside the pseudo-terminal that plays the device.

#include "app/TForm1.h"
#include "bench/app/BenchPty.h"

#include <QApplication>

// Chooses the offscreen platform unless the environment names one.
struct TOffscreenByDefault
{
    TOffscreenByDefault();
};

struct TBenchWindow
{
    TBenchWindow(int& argc, char** argv);

    // Shows the window and opens its port on Device as COM2; false when it did not open.
    bool ShowConnected();

    TOffscreenByDefault Platform; // first: the platform is fixed when App is made
    QApplication App;
    TBenchPty Device;
    TForm1 Form;
};
