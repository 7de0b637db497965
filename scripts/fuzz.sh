#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Vestrana developers
# Builds the libFuzzer targets with clang and runs each for SECONDS (default 60),
# one after another. The stored corpus (fuzz/corpus/<target>) seeds every run and
# is replayed first, so an input that once crashed fails again at once. New
# inputs go to build-fuzz/corpus/<target>; a crash is saved in build-fuzz/crashes
# and makes the script fail. Extra arguments go to every fuzzer.
#   bash scripts/fuzz.sh [SECONDS] [libFuzzer options]
#   FUZZ_TARGETS="knowledge page" bash scripts/fuzz.sh 600
set -euo pipefail
cd "$(dirname "$0")/.."

seconds="${1:-60}"
shift || true
targets=(${FUZZ_TARGETS:-database knowledge formula page})

cxx="${CXX_FUZZ:-clang++-14}"
cmake -S . -B build-fuzz -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER="$cxx" \
      -DVESTRANA_FUZZ=ON -DVESTRANA_BUILD_GUI=OFF -DVESTRANA_BUILD_TESTS=OFF -DVESTRANA_WERROR=ON >/dev/null
cmake --build build-fuzz -j2 --target $(printf 'fuzz_%s ' "${targets[@]}")

mkdir -p build-fuzz/crashes
failed=()
for t in "${targets[@]}"; do
    echo "== fuzz_$t: $seconds с"
    mkdir -p "build-fuzz/corpus/$t"
    dict=()
    [[ -f "fuzz/$t.dict" ]] && dict=(-dict="fuzz/$t.dict")
    # -timeout: one input that takes seconds is a fault too (a hang for the user).
    # The slowest stored input, a page of stray end tags under 512 open elements,
    # cut at the parser's work bound, takes 2-4 s in this instrumented build on a
    # busy two-core machine, so 3 s flaked there and 6 s holds with room;
    # -rss_limit_mb: memory beyond this for one input is a fault.
    # Leaks count as faults too (an input that leaks leaks on every load of such a file).
    if ! ASAN_OPTIONS=detect_leaks=1:allocator_may_return_null=1 \
         LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0" \
         UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
         "build-fuzz/fuzz/fuzz_$t" "build-fuzz/corpus/$t" "fuzz/corpus/$t" \
            -max_total_time="$seconds" -timeout="${FUZZ_TIMEOUT:-6}" -rss_limit_mb=2048 -print_final_stats=1 \
            -artifact_prefix="build-fuzz/crashes/$t-" "${dict[@]}" "$@" 2>"build-fuzz/fuzz_$t.log"; then
        failed+=("$t")
        tail -n 60 "build-fuzz/fuzz_$t.log"
    fi
    grep -E '^stat::number_of_executed_units|^stat::average_exec_per_sec|^stat::peak_rss_mb' "build-fuzz/fuzz_$t.log" || true
done

if ((${#failed[@]})); then
    echo "Найдены сбои: ${failed[*]}; входы в build-fuzz/crashes, журналы build-fuzz/fuzz_*.log"
    exit 1
fi
echo "Сбоев не найдено."
