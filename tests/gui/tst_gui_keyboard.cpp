// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "gui/AccessForm.h"
#include "gui/HelpWindow.h"
#include "gui/MainForm.h"
#include "program/Program.h"
#include "store/Fields.h"
#include "support/ScriptedPrompts.h"

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QPointer>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

namespace {

HelpWindow* shownHelp()
{
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* h = qobject_cast<HelpWindow*>(w); h && h->isVisible()) return h;
    return nullptr;
}

// Whether the keyboard focus is in `w` (an editable box passes it to its line edit).
bool focusIn(const QWidget* w)
{
    const QWidget* f = QApplication::focusWidget();
    return f && (f == w || w->isAncestorOf(f));
}

// For a failure message: where the focus is.
QString focusName()
{
    const QWidget* f = QApplication::focusWidget();
    return f ? f->objectName() + u' ' + QString::fromLatin1(f->metaObject()->className())
             : QStringLiteral("none");
}

} // namespace

// The main window's links and windows without a mouse.
class TestKeyboard : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void mainWindowLinksAndWindows()
    {
        QTemporaryDir dir;
        ScriptedPrompts prompts;
        Program program(dir.path());
        MainForm form(program, prompts);
        form.StartUp();
        form.show();
        form.activateWindow();
        QTRY_VERIFY(form.isActiveWindow());

        // The focus starts in the first wish box; Tab from the result list reaches the links.
        QTRY_VERIFY2(focusIn(form.WishBox(field::District)), qPrintable(focusName()));
        auto* list = form.findChild<QTreeWidget*>(QStringLiteral("List"));
        list->setFocus();
        QTRY_VERIFY(list->hasFocus());
        QStringList chain;
        for (int i = 0; i < 3; ++i) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
            chain << QApplication::focusWidget()->objectName();
        }
        QCOMPARE(chain, (QStringList{"Label19", "Label21", "Label15"}));
        for (const QString& name : chain)
            QVERIFY(form.findChild<QLabel*>(name)->toolTip().contains(u'('));

        // Enter on "Справка" opens the help; Escape closes it; F1 opens it again.
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
        QPointer<HelpWindow> help = shownHelp();
        QVERIFY(help);
        help->activateWindow();
        QTRY_VERIFY(help->isActiveWindow());
        QTest::keyClick(help, Qt::Key_Escape);
        QTRY_VERIFY(!shownHelp());
        form.activateWindow();
        QTRY_VERIFY(form.isActiveWindow());
        QTest::keyClick(&form, Qt::Key_F1);
        QVERIFY(shownHelp());
        shownHelp()->close();
        form.activateWindow();
        QTRY_VERIFY(form.isActiveWindow());

        // F2 opens the access dialog, with the focus in the login box.
        bool accessShown = false;
        bool loginFocused = false;
        QTimer poll;
        poll.setInterval(5);
        connect(&poll, &QTimer::timeout, this, [&] {
            auto* access = qobject_cast<AccessForm*>(QApplication::activeModalWidget());
            if (!access) return;
            accessShown = true;
            const auto* login = access->findChild<QLineEdit*>(QStringLiteral("Text1"));
            if (!login->hasFocus()) return; // not yet active
            loginFocused = true;
            poll.stop();
            access->reject();
        });
        poll.start();
        QTimer giveUp; // a dialog that never takes the focus is closed all the same
        giveUp.setSingleShot(true);
        connect(&giveUp, &QTimer::timeout, this, [&] {
            if (auto* access = qobject_cast<AccessForm*>(QApplication::activeModalWidget())) access->reject();
        });
        giveUp.start(3000);
        QTest::keyClick(&form, Qt::Key_F2);
        QVERIFY(accessShown);
        QVERIFY(loginFocused);
        poll.stop();
        giveUp.stop();

        // Ctrl+Q is "Выход".
        form.activateWindow();
        QTRY_VERIFY(form.isActiveWindow());
        QSignalSpy shutDown(&form, &MainForm::shutDown);
        QTest::keyClick(&form, Qt::Key_Q, Qt::ControlModifier);
        QCOMPARE(shutDown.count(), 1);
        QVERIFY(!form.isVisible());
    }
};

QTEST_MAIN(TestKeyboard)
#include "tst_gui_keyboard.moc"
