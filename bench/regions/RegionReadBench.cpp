// Reads shape blocks of N rectangles into a button: 1 x 1 rectangles
// scattered over 4000 x 4000 pixels in random order, and the same
// rectangles sorted by rows, then columns. Reports bytes per second and fits
// the growth to N; run with --benchmark_repetitions=3 for medians.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QtEndian>
#include <algorithm>
#include <random>

#include "widgets/skImgBtn.h"

namespace {

QByteArray Block(const std::vector<QRect>& rects)
{
    QByteArray out;
    auto put = [&out](std::int32_t v) {
        char b[4];
        qToLittleEndian(v, b);
        out.append(b, 4);
    };
    const auto n = std::int32_t(rects.size());
    put(32 + 16 * n);
    put(32);
    put(1);
    put(n);
    put(16 * n);
    for (int i = 0; i < 4; ++i)
        put(0);
    for (const QRect& r : rects) {
        put(r.left());
        put(r.top());
        put(r.right() + 1);
        put(r.bottom() + 1);
    }
    return out;
}

std::vector<QRect> Scattered(std::int64_t n)
{
    std::mt19937 random(29);
    std::uniform_int_distribution<int> at(0, 3999);
    std::vector<QRect> rects;
    rects.reserve(std::size_t(n));
    for (std::int64_t i = 0; i < n; ++i)
        rects.emplace_back(at(random), at(random), 1, 1);
    return rects;
}

void Read(benchmark::State& state, const QByteArray& block)
{
    TskImageBtn button;
    for (auto _ : state) {
        bool read = button.ReadRegionData(false, block);
        benchmark::DoNotOptimize(read);
    }
    state.SetBytesProcessed(std::int64_t(state.iterations()) * block.size());
    state.SetComplexityN(state.range(0));
}

void ScatteredRects(benchmark::State& state)
{
    Read(state, Block(Scattered(state.range(0))));
}

void SortedRects(benchmark::State& state)
{
    std::vector<QRect> rects = Scattered(state.range(0));
    auto rowsThenColumns = [](const QRect& a, const QRect& b) {
        return a.top() != b.top() ? a.top() < b.top() : a.left() < b.left();
    };
    std::sort(rects.begin(), rects.end(), rowsThenColumns);
    rects.erase(std::unique(rects.begin(), rects.end()), rects.end());
    Read(state, Block(rects));
}

BENCHMARK(ScatteredRects)->Arg(8000)->Arg(32000)->Arg(100000)->Unit(benchmark::kMillisecond)->Complexity();
BENCHMARK(SortedRects)->Arg(8000)->Arg(32000)->Arg(80000)->Unit(benchmark::kMillisecond)->Complexity();

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
