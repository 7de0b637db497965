#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Vestrana developers
# Installs what building and testing Vestrana needs on Debian 12, only when
# something is missing. Run as root.
set -euo pipefail

packages=(cmake g++ make pkg-config qt6-base-dev qt6-base-dev-tools libgl-dev libgumbo-dev
          locales fonts-dejavu-core qt6-translations-l10n
          desktop-file-utils appstream dpkg-dev file lintian man-db # scripts/check-install.sh
          clang-14 libclang-rt-14-dev # the fuzzers (scripts/fuzz.sh) are part of the test run
          clang-format-14) # scripts/check-format.sh
if [[ "${1:-}" == "--bench" ]]; then
    packages+=(libbenchmark-dev libsqlite3-dev)
fi

missing=()
for p in "${packages[@]}"; do
    dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if ((${#missing[@]})); then
    echo "Устанавливаю пакеты: ${missing[*]}"
    apt-get update -qq
    DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The tests run under a Russian locale, whose decimal separator is a comma.
if ! locale -a 2>/dev/null | grep -qi '^ru_RU\.utf-\?8$'; then
    localedef -i ru_RU -f UTF-8 ru_RU.UTF-8
fi
