// Cost of composing gauge and LED pictures: a transfer repaints the gauge up to 100 times,
// and the three lamps switch on every received chunk.
#include "widgets/GaugePercent.h"
#include "widgets/GaugeRenderer.h"
#include "widgets/TpelLed.h"

#include <QApplication>
#include <QImage>
#include <QPainter>
#include <benchmark/benchmark.h>

namespace {

void BM_RenderGauge(benchmark::State& state)
{
    TGaugePicture g;
    g.Size = QSize(static_cast<int>(state.range(1)), static_cast<int>(state.range(2)));
    g.Kind = static_cast<TGaugeKind>(state.range(0));
    g.Color = Qt::lightGray;
    int percent = 0;
    for (auto _ : state) {
        g.Percent = percent;
        percent = (percent + 1) % 101;
        benchmark::DoNotOptimize(RenderGauge(g));
    }
}
// The main window's gauge (409 x 21) in every kind, and a large pie and needle.
BENCHMARK(BM_RenderGauge)
    ->ArgNames({"kind", "w", "h"})
    ->Args({gkText, 409, 21})
    ->Args({gkHorizontalBar, 409, 21})
    ->Args({gkVerticalBar, 409, 21})
    ->Args({gkPie, 409, 21})
    ->Args({gkNeedle, 409, 21})
    ->Args({gkPie, 200, 200})
    ->Args({gkNeedle, 200, 100})
    ->Unit(benchmark::kMicrosecond);

void BM_DrawLed(benchmark::State& state)
{
    const int size = static_cast<int>(state.range(0));
    QImage image(size, size, QImage::Format_RGB32);
    for (auto _ : state) {
        QPainter p(&image);
        TpelLed::DrawLed(p, size, size, Qt::red);
    }
}
BENCHMARK(BM_DrawLed)->Arg(15)->Arg(24)->Unit(benchmark::kMicrosecond);

void BM_ScalePercent(benchmark::State& state)
{
    int w = 1;
    for (auto _ : state) {
        for (int p = 0; p <= 100; ++p)
            benchmark::DoNotOptimize(ScalePercent(p, w));
        w = w * 7 % 100003 + 1;
    }
    state.SetItemsProcessed(state.iterations() * 101);
}
BENCHMARK(BM_ScalePercent);

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv); // text metrics need a GUI application
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
