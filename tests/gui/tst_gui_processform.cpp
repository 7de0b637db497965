// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "gui/ProcessForm.h"
#include "program/Program.h"
#include "store/Fields.h"
#include "support/ScriptedPrompts.h"

#include <QApplication>
#include <QDir>
#include <QLabel>
#include <QPointer>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

ProcessForm* shownProgressWindow()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* f = qobject_cast<ProcessForm*>(w); f && f->isVisible()) return f;
    return nullptr;
}

enum class Cancel { Button, ButtonTwice, Frame, Escape };

} // namespace

Q_DECLARE_METATYPE(Cancel)

class TestProcessForm : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void cancelStopsTheRunAndTheNextRunCompletes_data()
    {
        QTest::addColumn<Cancel>("how");
        QTest::newRow("Отмена") << Cancel::Button;
        QTest::newRow("Отмена twice") << Cancel::ButtonTwice;
        QTest::newRow("closing by the frame") << Cancel::Frame;
        QTest::newRow("Escape") << Cancel::Escape;
    }

    void cancelStopsTheRunAndTheNextRunCompletes()
    {
        QFETCH(Cancel, how);
        Program program(QDir::tempPath());
        // Enough listings that the run lets events run many times.
        const int n = 200000;
        program.Records.Items.Reserve(n);
        for (int i = 0; i < n; ++i) {
            auto r = std::make_shared<Record>();
            r->SetRecord(field::Address, QString::number(i));
            program.Records.Items.Add(r);
        }

        QPointer<ProcessForm> seen;
        QString comment;
        bool openAfterCancel = false;
        QTimer poll;
        poll.setInterval(1);
        connect(&poll, &QTimer::timeout, [&] {
            ProcessForm* form = shownProgressWindow();
            if (!form || seen || form->Progress->value() == 0) return;
            seen = form;
            comment = form->Comment->text();
            switch (how) {
            case Cancel::Button:
                QTest::mouseClick(form->Command1, Qt::LeftButton);
                break;
            case Cancel::ButtonTwice:
                QTest::mouseClick(form->Command1, Qt::LeftButton);
                QTest::mouseClick(form->Command1, Qt::LeftButton);
                break;
            case Cancel::Frame:
                form->close();
                break;
            case Cancel::Escape:
                QTest::keyClick(form, Qt::Key_Escape);
                break;
            }
            openAfterCancel = form->isVisible();
        });
        poll.start();

        QVERIFY(!RunReindex(program));

        QVERIFY(seen.isNull()); // the window is gone with the run
        QCOMPARE(comment, QStringLiteral("Индексирование базы данных..."));
        QVERIFY(openAfterCancel);
        QCOMPARE(program.ProcessState, 3);
        QVERIFY(!program.Busy());
        QVERIFY(program.Knowledge.AttributeValueLists[field::Address].Count() < n);

        poll.stop();
        QVERIFY(RunReindex(program));
        QCOMPARE(program.ProcessState, 2);
        QCOMPARE(program.Knowledge.AttributeValueLists[field::Address].Count(), n);
        QCOMPARE(program.Knowledge.AttributeValueLists[field::Storeys].Count(), 1);
        QVERIFY(!shownProgressWindow());
    }
};

QTEST_MAIN(TestProcessForm)
#include "tst_gui_processform.moc"
