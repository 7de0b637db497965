#pragma once

#include <QWidget>

class QTextBrowser;

// The program's help: Russian HTML pages shipped inside the program.
class HelpWindow : public QWidget
{
    Q_OBJECT
public:
    explicit HelpWindow(QWidget* parent = nullptr);
    void ShowTopic(const QString& page = QStringLiteral("index.html"));

private:
    QTextBrowser* m_browser;
};
