// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
// From nothing to the shown main window: both files loaded, the wish boxes filled.
#include "BenchData.h"

#include "gui/GuiPrompts.h"
#include "gui/MainForm.h"

#include <QApplication>
#include <QTest>

#include <benchmark/benchmark.h>

namespace {

void BM_StartUpToShownWindow(benchmark::State& state)
{
    const QString dir = benchdata::DataDir(static_cast<int>(state.range(0)));
    for (auto _ : state) {
        GuiPrompts prompts;
        Program program(dir);
        MainForm form(program, prompts);
        form.StartUp();
        form.show();
        benchmark::DoNotOptimize(QTest::qWaitForWindowExposed(&form));
        state.PauseTiming();
        form.hide();
        state.ResumeTiming();
    }
}

} // namespace

BENCHMARK(BM_StartUpToShownWindow)->Arg(100000)->Unit(benchmark::kMillisecond)->Iterations(3)->UseRealTime();

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM",
            qgetenv("QT_QPA_PLATFORM").isEmpty() ? QByteArray("offscreen") : qgetenv("QT_QPA_PLATFORM"));
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
