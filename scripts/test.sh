#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Vestrana developers
# Installs what is missing, checks the formatting, builds, and runs every
# test: a normal build with warnings as errors (and its install and Debian
# package checked), the core built without widgets, a build under
# AddressSanitizer and UndefinedBehaviorSanitizer, and a short run of every
# fuzzer (FUZZ_SECONDS each, 30 by default), so that a new crash fails; an
# input that takes longer than FUZZ_TIMEOUT seconds (6) fails as a hang.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh

echo "== Форматирование"
bash scripts/check-format.sh

echo "== Сборка и тесты"
cmake -S . -B build-test -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVESTRANA_WERROR=ON >/dev/null
cmake --build build-test -j2
ctest --test-dir build-test --output-on-failure -j2

echo "== Установка и пакет Debian"
bash scripts/check-install.sh build-test

echo "== Ядро без виджетов"
cmake -S . -B build-core -DVESTRANA_BUILD_GUI=OFF -DVESTRANA_BUILD_TESTS=OFF -DVESTRANA_WERROR=ON >/dev/null
cmake --build build-core -j2 --target vestrana_core vestrana-cli

echo "== Тесты под санитайзерами"
cmake -S . -B build-asan -DCMAKE_BUILD_TYPE=Debug -DVESTRANA_SANITIZE=ON -DVESTRANA_WERROR=ON >/dev/null
cmake --build build-asan -j2
# Leaks fail the run; scripts/lsan.supp names the libraries' own (Qt's
# plugins, fontconfig, glib), never ours.
ASAN_OPTIONS=detect_leaks=1 LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp:print_suppressions=0" \
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
    ctest --test-dir build-asan --output-on-failure -j2

echo "== Фаззинг, ${FUZZ_SECONDS:-30} с на каждую цель"
FUZZ_TIMEOUT="${FUZZ_TIMEOUT:-6}" bash scripts/fuzz.sh "${FUZZ_SECONDS:-30}"
