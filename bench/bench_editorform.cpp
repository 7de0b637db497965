// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
// Opening the database editor on generated listings: constructing the window,
// filling the list and showing it, offscreen.

#include "BenchListings.h"
#include "gui/EditorForm.h"
#include "gui/GuiPrompts.h"

#include <QApplication>
#include <QDir>

#include <benchmark/benchmark.h>

#include <memory>

namespace {

void BM_OpenEditor(benchmark::State& state)
{
    GuiPrompts prompts;
    Program program(QDir::tempPath());
    bench::FillRecords(program, static_cast<int>(state.range(0)));
    for (auto _ : state) {
        auto form = std::make_unique<EditorForm>(program, prompts);
        form->RefreshData();
        form->show();
        QCoreApplication::processEvents(); // layout and the first paint
        state.PauseTiming();
        form.reset();
        QCoreApplication::processEvents();
        state.ResumeTiming();
    }
}

} // namespace

BENCHMARK(BM_OpenEditor)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    benchmark::Initialize(&argc, argv);
    QApplication app(argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
