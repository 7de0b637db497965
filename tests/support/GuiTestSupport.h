// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include <QString>
#include <QTest>
#include <QWidget>

// Helpers for the tests that drive real windows.
namespace guitest {

// Types text key by key, Cyrillic included (QTest::keyClicks knows only ASCII).
inline void TypeText(QWidget* w, const QString& text)
{
    for (QChar c : text)
        QTest::sendKeyEvent(QTest::Click, w, Qt::Key_unknown, QString(c), Qt::NoModifier);
}

} // namespace guitest
