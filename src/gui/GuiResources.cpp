// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "gui/GuiResources.h"

#include <QFont>
#include <QWidget>
#include <QtCore/qresource.h>

void InitGuiResources()
{
    static const bool done = [] {
        Q_INIT_RESOURCE(vestrana);
        Q_INIT_RESOURCE(help);
        return true;
    }();
    (void)done;
}

void ApplyWindowFont(QWidget* window)
{
    QFont f(QStringLiteral("Tahoma"));
    f.setPointSize(9);
    window->setFont(f);
}
