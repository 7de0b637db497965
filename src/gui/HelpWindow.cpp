// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "gui/HelpWindow.h"

#include "platform/Version.h"

#include <QDir>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QShortcut>
#include <QTextBrowser>
#include <QUrl>
#include <QVBoxLayout>

HelpWindow::HelpWindow(QWidget* parent) : QWidget(parent, Qt::Window)
{
    setObjectName(QStringLiteral("HelpWindow"));
    setWindowTitle(QStringLiteral("Справка"));
    resize(760, 560);
    m_browser = new QTextBrowser(this);
    m_browser->setObjectName(QStringLiteral("HelpBrowser"));
    m_browser->setOpenExternalLinks(false);
    m_browser->setSearchPaths({QStringLiteral(":/help")});

    auto* back = new QPushButton(QStringLiteral("Назад"), this);
    auto* home = new QPushButton(QStringLiteral("Содержание"), this);
    connect(back, &QPushButton::clicked, m_browser, &QTextBrowser::backward);
    connect(m_browser, &QTextBrowser::backwardAvailable, back, &QPushButton::setEnabled);
    back->setEnabled(false);
    connect(home, &QPushButton::clicked, this, [this] { ShowTopic(); });

    auto* bar = new QHBoxLayout;
    bar->addWidget(back);
    bar->addWidget(home);
    bar->addStretch();
    m_about = new QLabel(this);
    m_about->setObjectName(QStringLiteral("HelpAbout"));
    m_about->setTextInteractionFlags(Qt::TextSelectableByMouse);
    SetDataFolder(QString());

    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(m_browser);
    layout->addWidget(m_about);

    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    connect(escape, &QShortcut::activated, this, &QWidget::close);
}

void HelpWindow::SetDataFolder(const QString& path)
{
    QString text = QStringLiteral("Vestrana, версия ") + ProgramVersion();
    if (!path.isEmpty()) text += QStringLiteral(". Папка данных: ") + QDir::toNativeSeparators(path);
    m_about->setText(text);
}

void HelpWindow::ShowTopic(const QString& page)
{
    m_browser->setSource(QUrl(QStringLiteral("qrc:/help/") + page));
}
