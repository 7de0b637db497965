// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include <QWidget>

class QLabel;
class QTextBrowser;

// The program's help: Russian HTML pages shipped inside the program.
class HelpWindow : public QWidget
{
    Q_OBJECT
public:
    explicit HelpWindow(QWidget* parent = nullptr);
    void ShowTopic(const QString& page = QStringLiteral("index.html"));
    // The folder whose data files this run uses, shown under the pages beside the version.
    void SetDataFolder(const QString& path);

private:
    QTextBrowser* m_browser;
    QLabel* m_about;
};
