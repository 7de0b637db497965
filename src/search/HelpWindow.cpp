#include "search/HelpWindow.h"

#include <QHBoxLayout>
#include <QPushButton>
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
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(bar);
    layout->addWidget(m_browser);
}

void HelpWindow::ShowTopic(const QString& page)
{
    m_browser->setSource(QUrl(QStringLiteral("qrc:/help/") + page));
}
