// tarvel.exe's window under Wine on the simulated device at 115200 baud that Wine's COM2 is linked
// to (window-under-wine.sh starts both): the transfer's time beside the time its bytes take on the
// wire, then the process's CPU while it sits connected and idle for 10 s.
// Usage: tarvel_bench_win32_window.exe IMAGE.s19
#include "windows/TWin32EventLoop.h"
#include "windows/TWin32Form1.h"

#include <commctrl.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <string>

namespace {

double ProcessCpuSeconds()
{
    FILETIME created, ended, kernel, user;
    ::GetProcessTimes(::GetCurrentProcess(), &created, &ended, &kernel, &user);
    const auto seconds = [](FILETIME t) {
        return static_cast<double>((std::uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

std::uint32_t Tick()
{
    return static_cast<std::uint32_t>(::GetTickCount());
}

bool RunUntil(const std::function<bool()>& done, std::uint32_t ms)
{
    const std::uint32_t start = Tick();
    while (!done()) {
        if (Tick() - start > ms) return false;
        TWin32EventLoop::Delay(10, Tick);
    }
    return true;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: tarvel_bench_win32_window IMAGE.s19\n");
        return 2;
    }
    std::ifstream in(argv[1], std::ios::binary);
    const std::string text{std::istreambuf_iterator<char>(in), {}};
    std::size_t sent = 0;
    for (const char c : text)
        sent += c != '\n'; // CR LF goes out as CR
    const double wireSeconds = static_cast<double>(sent) * 10.0 / 115200.0;

    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_BAR_CLASSES | ICC_STANDARD_CLASSES};
    ::InitCommonControlsEx(&controls);
    ::timeBeginPeriod(1);
    TWin32Form1 form;
    std::string error;
    form.ReportError = [&](const std::string& text) { error = text; };
    form.ChooseFirmwareFile = [&]() -> std::optional<std::string> { return argv[1]; };
    form.Show(SW_SHOWNORMAL);
    ::SendMessageW(form.Control(TControl::Button_Open), BM_CLICK, 0, 0);
    ::SendMessageW(form.Control(TControl::Button4), BM_CLICK, 0, 0);
    if (!form.Model.ComPort.Active() ||
        !RunUntil([&] { return form.Model.Session.Armed; }, 20000)) {
        std::fprintf(stderr, "the device did not come to its loader: %s\n", error.c_str());
        return 1;
    }
    const auto start = std::chrono::steady_clock::now();
    const double cpuBefore = ProcessCpuSeconds();
    ::SendMessageW(form.Control(TControl::Button1), BM_CLICK, 0, 0);
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    const double cpu = ProcessCpuSeconds() - cpuBefore;
    std::printf(
        "tarvel.exe (Wine)   %8.2f s for %8.2f s of wire time: ratio %.4f, %.2f %% of a core\n",
        seconds, wireSeconds, seconds / wireSeconds, 100.0 * cpu / seconds);
    TWin32EventLoop::Delay(2000, Tick); // the device's menu after the end record, shown
    const double idleBefore = ProcessCpuSeconds();
    TWin32EventLoop::Delay(10000, Tick);
    std::printf("tarvel.exe connected and idle for 10 s: %.3f s of CPU\n",
                ProcessCpuSeconds() - idleBefore);
    ::timeEndPeriod(1);
    return error.empty() ? 0 : 1;
}
