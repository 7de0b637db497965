// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

class QWidget;

// Registers the pictures and the help pages compiled into the GUI library
// (a static library's resources are not registered on their own).
void InitGuiResources();

// Gives a window the program's look: Tahoma, as every window of the program.
void ApplyWindowFont(QWidget* window);

// Pixels of a length given in twips at 96 dots per inch.
constexpr int Twips(int t)
{
    return t / 15;
}
