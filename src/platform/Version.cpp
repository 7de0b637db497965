// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "platform/Version.h"

QString ProgramVersion()
{
    return QStringLiteral(VESTRANA_VERSION);
}
