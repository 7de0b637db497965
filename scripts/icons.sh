#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# SPDX-FileCopyrightText: 2026 Vestrana developers
# Renders the program icon resources/vestrana.svg into the PNG sizes that the
# menu entry and the window use. Run after changing the SVG and commit the PNGs:
# the build itself then needs no SVG renderer, and the window icon can be
# compiled into the program.
set -euo pipefail
cd "$(dirname "$0")/.."
command -v rsvg-convert >/dev/null || apt-get install -y -qq --no-install-recommends librsvg2-bin
for size in 16 22 24 32 48 64 128 256; do
    mkdir -p "resources/icons/${size}x${size}"
    rsvg-convert -w "$size" -h "$size" resources/vestrana.svg -o "resources/icons/${size}x${size}/vestrana.png"
done
