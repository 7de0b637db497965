// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "editing/ExpertChecks.h"
#include "program/Program.h"
#include "support/Fixtures.h"

#include <QTest>

using fixtures::AddListing;

Q_DECLARE_METATYPE(FormalizedCheck)

class TestExpertChecks : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // The edges of the check beyond the everyday cases the editor's own test types.
    void formalizedValueCheck_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<FormalizedCheck>("expected");
        QTest::newRow("zero") << "0" << FormalizedCheck::Store;
        QTest::newRow("hundred with spaces") << "  100 " << FormalizedCheck::Store;
        QTest::newRow("minus zero is not the plain form") << "-0" << FormalizedCheck::ResetToZero;
        QTest::newRow("blank inside reads as 50 but is not plain") << "5 0" << FormalizedCheck::ResetToZero;
        QTest::newRow("tab is not trimmed") << "\t50" << FormalizedCheck::ResetToZero;
        QTest::newRow("hexadecimal") << "&H32" << FormalizedCheck::ResetToZero;
        QTest::newRow("half rounds to even, not plain") << "0.5" << FormalizedCheck::ResetToZero;
        QTest::newRow("largest 32-bit number, out of range") << "2147483647" << FormalizedCheck::Refuse;
        QTest::newRow("one past 32 bits") << "2147483648" << FormalizedCheck::Refuse;
        QTest::newRow("smallest 32-bit number") << "-2147483648" << FormalizedCheck::Refuse;
        QTest::newRow("below 32 bits") << "-2147483649" << FormalizedCheck::Refuse;
        QTest::newRow("beyond 32 bits with letters after it") << "99999999999abc" << FormalizedCheck::Refuse;
        QTest::newRow("beyond double range") << "1e999" << FormalizedCheck::Refuse;
    }
    void formalizedValueCheck()
    {
        QFETCH(QString, text);
        QFETCH(FormalizedCheck, expected);
        QCOMPARE(FormalizedValueCheck(text), expected);
    }

    void reportListsEveryAttributeAndTheValue()
    {
        Program program;
        program.InitAttributeNames();
        const RecordPtr r =
            AddListing(program, {"Центр", "2", "5", "кирпичный", "ул. Мира, 1", "1500", "54"});
        const QString text = FormulaCheckText(program.Knowledge, *r, 0.5f);
        const QStringList lines = text.split(QChar(13));
        QCOMPARE(lines.size(), 20);
        QVERIFY(!text.contains(QChar(10)));
        QCOMPARE(lines.first(), "Атрибуты:");
        QCOMPARE(lines[1], "Район: Центр");
        QCOMPARE(lines[5], "Адрес: ул. Мира, 1");
        QCOMPARE(lines[17], "Количество этажей: ");
        QCOMPARE(lines[18], "------------");
        QCOMPARE(lines[19], "Значение функции =  .5");
        QCOMPARE(FormulaCheckText(program.Knowledge, *r, -2.25f).section(QChar(13), -1),
                 "Значение функции = -2.25");
    }

    void emptyDatabaseEvaluatesAndDrawsNothing()
    {
        Program program;
        program.InitAttributeNames();
        const FormulaCheckResult none = CheckFormula(program, "1+2+3");
        QCOMPARE(none.status, FormulaCheckResult::Status::NoListings);
        QCOMPARE(none.position, 0);
        QVERIFY(none.text.isEmpty());
        // The random source was left untouched: the first real pick is a fresh source's first.
        for (int i = 1; i <= 5; ++i)
            AddListing(program, {QString::number(i)});
        RandomSource fresh;
        QCOMPARE(CheckFormula(program, "1+2+3").position, fresh.Pick(5));
    }

    void failedFormulaGivesNoReport()
    {
        Program program;
        program.InitAttributeNames();
        AddListing(program, {"Центр", "2", "5", "", "", "1500", "0"});
        const FormulaCheckResult r = CheckFormula(program, "Цена/Общая площадь");
        QCOMPARE(r.status, FormulaCheckResult::Status::Failed);
        QCOMPARE(r.position, 1);
        QVERIFY(r.text.isEmpty());
        QCOMPARE(r.reason, "Деление на ноль");
    }

    // Read without a listing: faults of writing and unknown names, with their
    // place in the formula as typed (attribute names of any length before it);
    // what only evaluating finds is no fault here.
    void formulaProblem_data()
    {
        QTest::addColumn<QString>("formula");
        QTest::addColumn<QString>("problem");
        QTest::newRow("attributes and a function") << "Цена/Общая площадь + Len(Адрес)"
                                                   << "";
        QTest::newRow("division by zero is found only by evaluating") << "Цена/0"
                                                                      << "";
        QTest::newRow("attribute in quotes") << "IIf(\"Район\" = \"Центр\", 1, 0)"
                                             << "Ошибка в позиции 1: неизвестное имя «IIf»";
        QTest::newRow("operand missing after a long name")
            << "100 - Расстояние до остановки / "
            << "Синтаксическая ошибка в конце формулы: ожидалось число или имя";
        QTest::newRow("operand missing inside")
            << "Цена * / 2"
            << "Синтаксическая ошибка в позиции 8: ожидалось число или имя";
        QTest::newRow("parenthesis not closed")
            << "(Цена + 1"
            << "Синтаксическая ошибка в конце формулы: ожидалась закрывающая скобка «)»";
        QTest::newRow("stray character") << "Этаж @ 2"
                                         << "Синтаксическая ошибка в позиции 6: недопустимый знак «@»";
        QTest::newRow("syntax wins over a name")
            << "Цна +"
            << "Синтаксическая ошибка в конце формулы: ожидалось число или имя";
        QTest::newRow("misspelt attribute")
            << "Общая площадь * Цна"
            << "Ошибка в позиции 17: неизвестное имя «Цна». Возможно, имелось в виду «Цена»?";
        QTest::newRow("function with too few arguments")
            << "Этаж + Left(Адрес)"
            << "Ошибка в позиции 8: неверное число аргументов функции Left";
        QTest::newRow("refused function") << "Eval(Цена)"
                                          << "Ошибка в позиции 1: функция Eval не разрешена в формулах";
        QTest::newRow("blank") << "  "
                               << "Формула пуста";
    }
    void formulaProblem()
    {
        QFETCH(QString, formula);
        QFETCH(QString, problem);
        Program program;
        program.InitAttributeNames();
        QCOMPARE(FormulaProblem(program.Knowledge, program.Engine(), formula), problem);
        // The button's check says the same, before it evaluates anything.
        AddListing(program, {"Центр", "2", "5", "", "", "1500", "50"});
        const FormulaCheckResult r = CheckFormula(program, formula);
        if (!problem.isEmpty()) QCOMPARE(r.reason, problem);
    }
};

QTEST_GUILESS_MAIN(TestExpertChecks)
#include "tst_expertchecks.moc"
