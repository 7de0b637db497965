#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Vestrana developers
# Installs what is missing, builds, and starts Vestrana on the sample data.
set -euo pipefail
cd "$(dirname "$0")/.."

bash scripts/deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DVESTRANA_BUILD_TESTS=OFF >/dev/null
cmake --build build -j2

if [[ -z "${DISPLAY:-}" && -z "${WAYLAND_DISPLAY:-}" ]]; then
    cat <<MSG

Программа собрана, но экрана нет (переменные DISPLAY и WAYLAND_DISPLAY пусты),
поэтому окно открыть нельзя. Без экрана работает консольная версия, например:

  build/vestrana-cli info          # число записей и атрибуты базы знаний
  build/vestrana-cli --help        # все команды

Чтобы открыть окно без монитора, можно запустить виртуальный экран:
  apt-get install -y xvfb && xvfb-run build/vestrana
MSG
    exit 0
fi
exec build/vestrana
