// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "gui/AccessForm.h"
#include "gui/EditorForm.h"
#include "gui/ExpertForm.h"
#include "program/Program.h"
#include "support/ScriptedPrompts.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

namespace {

QList<QWidget*> windowsOf(const char* className)
{
    QList<QWidget*> out;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->inherits(className) && w->isVisible()) out << w;
    return out;
}

void closeAll()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->isVisible()) w->close();
}

} // namespace

class TestAccessForm : public QObject
{
    Q_OBJECT
private:
    QTemporaryDir m_dir;
    ScriptedPrompts m_prompts;
    std::unique_ptr<Program> m_program;

    // Fills the dialog and presses "&Вход"; an opened knowledge-base editor
    // (modal) is noted and closed at once.
    bool enter(AccessForm& form, bool knowledge, const QString& login, const QString& password)
    {
        form.show();
        form.findChild<QRadioButton*>(knowledge ? "Option2" : "Option1")->setChecked(true);
        form.findChild<QLineEdit*>("Text1")->setText(login);
        form.findChild<QLineEdit*>("Text2")->setText(password);
        bool expertShown = false;
        QTimer closer; // local, so that it never fires after this call
        closer.setSingleShot(true);
        connect(&closer, &QTimer::timeout, [&] {
            if (auto* expert = qobject_cast<ExpertForm*>(QApplication::activeModalWidget())) {
                expertShown = !form.isVisible(); // the dialog is gone before the editor shows
                expert->close();
            }
        });
        closer.start(0);
        QTest::mouseClick(form.findChild<QPushButton*>("Command1"), Qt::LeftButton);
        return expertShown;
    }

private Q_SLOTS:
    void init()
    {
        m_prompts.messages.clear();
        m_program = std::make_unique<Program>(m_dir.path());
        m_program->InitAttributeNames();
    }
    void cleanup() { closeAll(); }

    void startsInItsDesignState()
    {
        AccessForm form(*m_program, m_prompts);
        QCOMPARE(form.windowTitle(), QStringLiteral("Доступ"));
        QVERIFY(form.findChild<QRadioButton*>("Option1")->isChecked());
        QVERIFY(!form.findChild<QRadioButton*>("Option2")->isChecked());
        QCOMPARE(form.findChild<QLineEdit*>("Text2")->echoMode(), QLineEdit::Password);
        QCOMPARE(form.findChild<QPushButton*>("Command1")->text(), QStringLiteral("&Вход"));
        QCOMPARE(form.findChild<QPushButton*>("Command2")->text(), QStringLiteral("&Отмена"));
    }

    void emptyEntryOpensTheDatabaseEditor()
    {
        AccessForm form(*m_program, m_prompts);
        enter(form, false, QString(), QString());
        QVERIFY(!form.isVisible());
        QCOMPARE(windowsOf("EditorForm").size(), 1);
        QVERIFY(m_prompts.messages.isEmpty());
        // A second entry gives a second editor beside the first.
        AccessForm again(*m_program, m_prompts);
        enter(again, false, QString(), QString());
        QCOMPARE(windowsOf("EditorForm").size(), 2);
    }

    void emptyEntryOpensTheKnowledgeEditor()
    {
        AccessForm form(*m_program, m_prompts);
        QVERIFY(enter(form, true, QString(), QString()));
        QVERIFY(!form.isVisible());
        QVERIFY(windowsOf("EditorForm").isEmpty());
    }

    void anyTextIsRefused_data()
    {
        QTest::addColumn<bool>("knowledge");
        QTest::addColumn<QString>("login");
        QTest::addColumn<QString>("password");
        QTest::newRow("database, login") << false << "admin"
                                         << "";
        QTest::newRow("database, password") << false << ""
                                            << "secret";
        QTest::newRow("database, both") << false << "admin"
                                        << "secret";
        QTest::newRow("database, password of one space") << false << ""
                                                         << " ";
        QTest::newRow("knowledge, login") << true << "admin"
                                          << "";
        QTest::newRow("knowledge, login of one space") << true << " "
                                                       << "";
    }
    void anyTextIsRefused()
    {
        QFETCH(bool, knowledge);
        QFETCH(QString, login);
        QFETCH(QString, password);
        AccessForm form(*m_program, m_prompts);
        QVERIFY(!enter(form, knowledge, login, password));
        QCOMPARE(m_prompts.messages.size(), 1);
        QCOMPARE(m_prompts.messages[0].text, QStringLiteral("Доступ запрещён"));
        QCOMPARE(m_prompts.messages[0].title, QStringLiteral("Ошибка учётной записи"));
        QCOMPARE(m_prompts.messages[0].buttons, int(Prompts::Ok));
        QVERIFY(!form.isVisible());
        QVERIFY(windowsOf("EditorForm").isEmpty());
    }

    void cancelOpensNothing()
    {
        AccessForm form(*m_program, m_prompts);
        form.show();
        form.findChild<QLineEdit*>("Text1")->setText("admin");
        QTest::mouseClick(form.findChild<QPushButton*>("Command2"), Qt::LeftButton);
        QVERIFY(!form.isVisible());
        QVERIFY(windowsOf("EditorForm").isEmpty());
        QVERIFY(m_prompts.messages.isEmpty());
    }

    // While a search reads the knowledge base, its editor does not open.
    void knowledgeEditorWaitsForARun()
    {
        Program::BusyScope busy(*m_program);
        AccessForm form(*m_program, m_prompts);
        QVERIFY(!enter(form, true, QString(), QString()));
        QCOMPARE(m_prompts.messages.size(), 1);
        QVERIFY(m_prompts.messages[0].text.contains(QStringLiteral("поиск")));
    }
};

QTEST_MAIN(TestAccessForm)
#include "tst_gui_accessform.moc"
