#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Vestrana developers
# Fails when a C++ file of ours differs from what clang-format makes of it
# (.clang-format). `scripts/check-format.sh --fix` formats them in place.
set -euo pipefail
cd "$(dirname "$0")/.."

format=clang-format-14
command -v "$format" >/dev/null || format=clang-format
mapfile -t files < <(git ls-files -- 'src/*.cpp' 'src/*.h' 'tests/*.cpp' 'tests/*.h' \
    'bench/*.cpp' 'bench/*.h' 'fuzz/*.cpp' 'fuzz/*.h')

if [[ "${1:-}" == "--fix" ]]; then
    "$format" -i "${files[@]}"
    exit 0
fi
bad=()
for f in "${files[@]}"; do
    "$format" --dry-run -Werror "$f" >/dev/null 2>&1 || bad+=("$f")
done
if ((${#bad[@]})); then
    echo "Не отформатированы (исправить: bash scripts/check-format.sh --fix):" >&2
    printf '  %s\n' "${bad[@]}" >&2
    exit 1
fi
echo "Форматирование в порядке: ${#files[@]} файлов"
