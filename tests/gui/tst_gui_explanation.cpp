// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "gui/ExplanationWindow.h"
#include "gui/MainForm.h"
#include "program/Program.h"
#include "search/SearchRun.h"
#include "store/Fields.h"
#include "support/Fixtures.h"
#include "support/GuiTestSupport.h"
#include "support/ProgramSetup.h"
#include "support/ScriptedPrompts.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

using fixtures::AddListing;
using guitest::TypeText;

namespace {

// A CSV reader for the round trip: quoted fields with doubled quotes, the
// separator and line breaks inside, CRLF between records.
QList<QStringList> readCsv(const QString& text, QChar separator)
{
    QList<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false;
    bool any = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == u'"' && i + 1 < text.size() && text[i + 1] == u'"') {
                field += u'"';
                ++i;
            } else if (c == u'"') {
                quoted = false;
            } else {
                field += c;
            }
        } else if (c == u'"') {
            quoted = true;
            any = true;
        } else if (c == separator) {
            row << field;
            field.clear();
        } else if (c == u'\r' && i + 1 < text.size() && text[i + 1] == u'\n') {
            row << field;
            rows << row;
            row.clear();
            field.clear();
            ++i;
            any = false;
        } else {
            field += c;
            any = true;
        }
    }
    if (any || !row.isEmpty()) rows << (row << field);
    return rows;
}

QList<ExplanationWindow*> explanationWindows()
{
    QList<ExplanationWindow*> out;
    for (QWidget* w : QApplication::topLevelWidgets())
        if (auto* x = qobject_cast<ExplanationWindow*>(w); x && x->isVisible()) out << x;
    return out;
}

} // namespace

class TestGuiExplanation : public QObject
{
    Q_OBJECT
private:
    struct Setup : testsupport::WindowSetup<MainForm>
    {
        QTreeWidget* list = nullptr;
        Setup()
        {
            KnowledgeBase& kb = program.Knowledge;
            kb.AttributeKinds[field::District] = kinds::ByValue;
            kb.AttributeValueLists[field::District].Append(QStringLiteral("Соборный"), QStringLiteral("70"));
            kb.AttributeValueLists[field::District].Append(QStringLiteral("Старый Город"),
                                                           QStringLiteral("85"));
            kb.AttributeKinds[field::Price] = kinds::Numeric;
            kb.AttributeMin[field::Price] = 1000;
            kb.AttributeMax[field::Price] = 2000;
            AddListing(program,
                       {QStringLiteral("Соборный"), QStringLiteral("2"), QStringLiteral("5"),
                        QStringLiteral("кирпичный"), QStringLiteral("ул. Мира, 1"), QStringLiteral("1500")});
            AddListing(program, {QStringLiteral("Старый Город"),
                                 QStringLiteral("3"),
                                 QStringLiteral("2"),
                                 QStringLiteral("панельный"),
                                 QStringLiteral("пр. \"Ленина\", 7"),
                                 QStringLiteral("1400"),
                                 {},
                                 {},
                                 {},
                                 {},
                                 {},
                                 {},
                                 {},
                                 QStringLiteral("Дом\tи сад"),
                                 {},
                                 QStringLiteral("Светлая, тёплая\nс ремонтом")});
            Open();
            list = form->findChild<QTreeWidget*>(QStringLiteral("List"));
        }
        void search(const QString& district, const QString& price)
        {
            form->WishBox(field::District)->setEditText(QString());
            form->WishBox(field::Price)->setEditText(QString());
            TypeText(form->WishBox(field::District)->lineEdit(), district);
            TypeText(form->WishBox(field::Price)->lineEdit(), price);
            QSignalSpy done(form.get(), &MainForm::searchFinished);
            QTest::mouseClick(form->findChild<QPushButton*>(QStringLiteral("Command1")), Qt::LeftButton);
            QVERIFY(done.wait(5000));
            QTRY_COMPARE_WITH_TIMEOUT(list->topLevelItemCount(), 2, 3000);
        }
    };

private Q_SLOTS:
    // A distance wished in metres is told as the score it stands for.
    void summaryTellsTheFormalizedWish()
    {
        Program p;
        p.InitAttributeNames();
        p.Knowledge.AttributeKinds[field::StopDistance] = kinds::ByFormula;
        p.Knowledge.AttributeFormulas[field::StopDistance] =
            QStringLiteral("100 - Расстояние до остановки / 20");
        const RecordPtr r = fixtures::AddListingWith(p, field::StopDistance, QStringLiteral("480"));
        SearchRun::Wishes w;
        w[field::StopDistance] = QStringLiteral("500");
        const Explanation x = SearchRun::Explain(p, *r, SearchRun::Prepare(p, w));
        QCOMPARE(
            ExplanationWindow::Summary(x),
            QStringLiteral("Совпадение 99.9 %. Больше всего потеряно: Расстояние до остановки (пожелание "
                           "«500» → 75 из 100; у квартиры «480» — по формуле 76)."));
    }

    void doubleClickOpensTheExplanation()
    {
        Setup s;
        s.search(QStringLiteral("Соборный"), QStringLiteral("1500"));
        QCOMPARE(s.list->topLevelItem(1)->text(0), QStringLiteral("Старый Город"));
        const QRect rect = s.list->visualItemRect(s.list->topLevelItem(1));
        QTest::mouseClick(s.list->viewport(), Qt::LeftButton, {}, rect.center());
        QTest::mouseDClick(s.list->viewport(), Qt::LeftButton, {}, rect.center());
        QCOMPARE(explanationWindows().size(), 1);
        ExplanationWindow* w = explanationWindows().first();
        QCOMPARE(w->windowTitle(), QStringLiteral("пр. \"Ленина\", 7 — подробнее"));
        // 85 for the district, 90 for the price: (1500 + 175) / 17.
        QCOMPARE(w->findChild<QLabel*>(QStringLiteral("Summary"))->text(),
                 QStringLiteral(
                     "Совпадение 98.5 %. Больше всего потеряно: Район (пожелание «Соборный» — оценка 70; "
                     "у квартиры «Старый Город» — оценка 85)."));
        // The match is written as the list writes it.
        QCOMPARE(s.list->topLevelItem(1)->text(9).trimmed(), QStringLiteral("98.5"));
        auto* table = w->findChild<QTreeWidget*>(QStringLiteral("Attributes"));
        QCOMPARE(table->topLevelItemCount(), 17);
        auto row = [&](int i) {
            QTreeWidgetItem* it = table->topLevelItem(i);
            return QStringList{it->text(0), it->text(3), it->text(4), it->text(1)};
        };
        QCOMPARE(row(0), (QStringList{"Район", "Соборный → 70", "Старый Город → 85", "85"}));
        QCOMPARE(row(1), (QStringList{"Цена", "1500", "1400", "90"}));
        // Without a wish: attribute order, greyed.
        QCOMPARE(row(2), (QStringList{"Количество комнат", "", "3", "100"}));
        QCOMPARE(row(16).first(), QStringLiteral("Количество этажей"));
        QVERIFY(table->topLevelItem(2)->foreground(0).color() !=
                table->topLevelItem(0)->foreground(0).color());
        // The fields in full, line breaks kept.
        QCOMPARE(w->findChild<QLabel*>(QStringLiteral("Field15"))->text(),
                 QStringLiteral("Светлая, тёплая\nс ремонтом"));

        // Enter on the same row brings the same window forward.
        s.list->setCurrentItem(s.list->topLevelItem(1));
        QTest::keyClick(s.list, Qt::Key_Return);
        QCOMPARE(explanationWindows(), QList<ExplanationWindow*>{w});

        // A new search leaves the window as it was opened.
        s.search(QStringLiteral("Старый Город"), QString());
        QCOMPARE(row(0), (QStringList{"Район", "Соборный → 70", "Старый Город → 85", "85"}));
        QVERIFY(w->findChild<QLabel*>(QStringLiteral("Summary"))->text().startsWith("Совпадение 98.5 %."));
        // Another row gets a window of its own, for the search it was opened from.
        s.list->setCurrentItem(s.list->topLevelItem(1));
        QTest::keyClick(s.list, Qt::Key_Enter);
        QCOMPARE(explanationWindows().size(), 2);
        // Escape closes the window it is pressed in.
        ExplanationWindow* second =
            explanationWindows().first() == w ? explanationWindows().last() : explanationWindows().first();
        second->activateWindow();
        QTRY_VERIFY(second->isActiveWindow());
        QTest::keyClick(second, Qt::Key_Escape);
        QTRY_COMPARE(explanationWindows(), QList<ExplanationWindow*>{w});

        // They close with the main window.
        QPointer<ExplanationWindow> first = w;
        s.form->close();
        QTRY_VERIFY(first.isNull());
        QVERIFY(explanationWindows().isEmpty());
    }

    // A score below zero is shown as it is, in the warning colour, and leads the table.
    void negativeScoreIsShownAsSuch()
    {
        Setup s;
        s.search(QStringLiteral("Соборный"), QStringLiteral("9000"));
        QVERIFY(s.form->OpenExplanation(0));
        ExplanationWindow* w = explanationWindows().first();
        auto* table = w->findChild<QTreeWidget*>(QStringLiteral("Attributes"));
        QTreeWidgetItem* top = table->topLevelItem(0);
        // 1500 against 9000 over 1000..2000.
        QCOMPARE(top->text(0), QStringLiteral("Цена"));
        QCOMPARE(top->text(1), QStringLiteral("-650"));
        QCOMPARE(top->data(2, Qt::UserRole + 1).toFloat(), -650.f);
        QVERIFY(top->foreground(1).color() != table->topLevelItem(1)->foreground(1).color());
        QVERIFY(w->findChild<QLabel*>(QStringLiteral("Summary"))
                    ->text()
                    .endsWith(QStringLiteral(
                        "Больше всего потеряно: Цена (пожелание «9000»; у квартиры «1500»).")));
    }

    void copyAndSaveTakeTheResultsAway()
    {
        Setup s;
        s.search(QStringLiteral("Соборный"), QStringLiteral("1500"));
        s.list->selectAll();
        QTest::keyClick(s.list, Qt::Key_C, Qt::ControlModifier);
        const QStringList lines = QApplication::clipboard()->text().split(u'\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 3);
        QCOMPARE(lines[0], SearchRun::ResultHeaders().join(u'\t'));
        QCOMPARE(lines[1].split(u'\t').size(), 10);
        QVERIFY(lines[2].startsWith(QStringLiteral("Старый Город\t3\t2/\tпанельный\tпр. \"Ленина\", 7\t")));
        QVERIFY(lines[2].contains(QStringLiteral("\tСветлая, тёплая с ремонтом\t")));
        QVERIFY(lines[2].contains(QStringLiteral("\tДом и сад\t")));

        // ";" offered first, "," the other choice: the same cells either way.
        QStringList header;
        for (field::Field k : field::AttributeFields)
            header << s.program.Knowledge.AttributeNames[k];
        header << "% совпадения";
        for (const QChar separator : {QChar(u';'), QChar(u',')}) {
            const QString path = s.dir.filePath("выгрузка.csv");
            QString suggested;
            QChar offered;
            s.form->SetSaveFileChooser([&](const QString& name, QChar& chosen) {
                suggested = name;
                offered = chosen;
                chosen = separator;
                return path;
            });
            s.form->SaveResults();
            QVERIFY(suggested.endsWith(".csv"));
            QCOMPARE(offered, QChar(u';'));
            QVERIFY(s.prompts.messages.isEmpty());
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadOnly));
            const QByteArray bytes = f.readAll();
            QVERIFY(bytes.startsWith("\xEF\xBB\xBF"));
            QVERIFY(
                bytes.mid(3).startsWith(QByteArray(header.first().toUtf8() + QString(separator).toUtf8())));
            const QList<QStringList> rows = readCsv(QString::fromUtf8(bytes.mid(3)), separator);
            QCOMPARE(rows.size(), 3);
            QCOMPARE(rows[0], header);
            for (int i = 0; i < 2; ++i) {
                QStringList expected;
                for (field::Field k : field::AttributeFields)
                    expected << s.program.FoundList[i]->GetRecord(k);
                expected << SearchRun::ScoreText(s.program.FoundList[i]->So).trimmed();
                QCOMPARE(rows[i + 1], expected);
            }
            QCOMPARE(rows[2][field::Index(field::Description)],
                     QStringLiteral("Светлая, тёплая\nс ремонтом"));
            QCOMPARE(rows[2][field::Index(field::Address)], QStringLiteral("пр. \"Ленина\", 7"));
        }

        // A file that cannot be written is said so; a cancelled dialog writes nothing.
        s.form->SetSaveFileChooser(
            [&](const QString&, QChar&) { return s.dir.filePath("нет/такой/папки.csv"); });
        s.form->SaveResults();
        QCOMPARE(s.prompts.messages.size(), 1);
        QVERIFY(s.prompts.messages[0].text.startsWith("Не удалось сохранить результаты"));
        s.form->SetSaveFileChooser([&](const QString&, QChar&) { return QString(); });
        s.form->SaveResults();
        QCOMPARE(s.prompts.messages.size(), 1);
    }
};

QTEST_MAIN(TestGuiExplanation)
#include "tst_gui_explanation.moc"
