// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "gui/EditorForm.h"
#include "gui/ExpertForm.h"
#include "gui/GuiPrompts.h"
#include "gui/SyncForm.h"
#include "program/Program.h"
#include "store/Fields.h"
#include "support/Fixtures.h"

#include <QApplication>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QTreeView>

// Every question whose "Да" deletes something is asked in a real message box
// here, and answered with Enter: "Нет" is the default, nothing is deleted.
class TestDeleteQuestions : public QObject
{
    Q_OBJECT
private:
    GuiPrompts m_boxes;
    QStringList m_asked;
    QTimer m_enter;

    // Presses Enter in the next message box that comes up.
    void pressEnterInNextBox()
    {
        m_enter.setInterval(5);
        m_enter.disconnect();
        connect(&m_enter, &QTimer::timeout, this, [this] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                m_enter.stop();
                m_asked << box->text();
                QTest::keyClick(box, Qt::Key_Return);
            }
        });
        m_enter.start();
    }

    void setUp(Program& p)
    {
        p.InitAttributeNames();
        for (int i = 1; i <= 3; ++i)
            fixtures::AddListing(p, {QStringLiteral("Центр"), QStringLiteral("%1").arg(i)});
        p.Knowledge.AttributeValueLists[field::District].Append(QStringLiteral("Центр"),
                                                                QStringLiteral("90"));
        m_asked.clear();
        pressEnterInNextBox();
    }

private Q_SLOTS:
    void deleteListing()
    {
        Program p;
        setUp(p);
        EditorForm editor(p, m_boxes);
        editor.RefreshData();
        editor.show();
        editor.List->setCurrentIndex(editor.List->model()->index(1, 0));
        QTest::mouseClick(editor.Command2, Qt::LeftButton);
        QCOMPARE(m_asked, QStringList{QStringLiteral("Вы дейсвительно хотите удалить запись?")});
        QCOMPARE(p.Records.Items.Count(), 3);
    }

    void deleteAcceptedValue()
    {
        Program p;
        setUp(p);
        ExpertForm expert(p, m_boxes);
        expert.show();
        auto* values = expert.findChild<QTreeView*>(QStringLiteral("ListView1"));
        values->setFocus();
        QTest::keyClick(values, Qt::Key_Delete);
        QCOMPARE(m_asked,
                 QStringList{QStringLiteral("Вы дейсвительно хотите удалить одно из значений аттрибута?")});
        QCOMPARE(p.Knowledge.AttributeValueLists[field::District].Count(), 1);
    }

    void deleteAllBeforeImport()
    {
        Program p;
        setUp(p);
        // Nothing listens there: the run only logs failed pages until stopped.
        SyncForm sync(p, m_boxes, nullptr, QStringLiteral("http://127.0.0.1:9"));
        sync.show();
        int countWhenRunning = -1;
        QTimer stop;
        stop.setInterval(5);
        connect(&stop, &QTimer::timeout, this, [&] {
            if (sync.Running() && countWhenRunning < 0) {
                countWhenRunning = p.Records.Items.Count();
                QTest::mouseClick(sync.Command1, Qt::LeftButton);
            }
        });
        stop.start();
        QTest::mouseClick(sync.Command1, Qt::LeftButton);
        QCOMPARE(m_asked, QStringList{QStringLiteral("Вы хотите удалить все записи в БД?")});
        QCOMPARE(countWhenRunning, 3);
        QCOMPARE(p.Records.Items.Count(), 3);
    }

    // A question that deletes nothing keeps "Да" as its default.
    void otherQuestionsKeepYes()
    {
        m_asked.clear();
        pressEnterInNextBox();
        QCOMPARE(
            m_boxes.Message(QStringLiteral("Выполнить?"), QStringLiteral("?"), Prompts::Yes | Prompts::No),
            Prompts::Yes);
        pressEnterInNextBox();
        QCOMPARE(m_boxes.Message(QStringLiteral("Удалить?"), QStringLiteral("?"),
                                 Prompts::Yes | Prompts::No | Prompts::DefaultNo),
                 Prompts::No);
    }
};

QTEST_MAIN(TestDeleteQuestions)
#include "tst_gui_deletequestions.moc"
