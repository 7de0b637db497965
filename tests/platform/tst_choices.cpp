// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "platform/Text.h"

#include <QTest>

class TestChoices : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void sortedChoices_data()
    {
        QTest::addColumn<QStringList>("values");
        QTest::addColumn<QStringList>("offered");
        QTest::newRow("numbers by value, not as text")
            << QStringList{"2", "8", "10", "3", "-1", "2.5"} << QStringList{"-1", "2", "2.5", "3", "8", "10"};
        // Code points would put Ё before А and every capital before the small letters;
        // ё stands right after е.
        QTest::newRow("Russian alphabetical order, case aside")
            << QStringList{"Заречье", "авиагородок", "Ёлкино", "Жуково", "Березовая", "Елово"}
            << QStringList{"авиагородок", "Березовая", "Елово", "Ёлкино", "Жуково", "Заречье"};
        QTest::newRow("numbers inside a text by value")
            << QStringList{"ул. Мира, 10", "ул. Мира, 2", "ул. Лесная, 1"}
            << QStringList{"ул. Лесная, 1", "ул. Мира, 2", "ул. Мира, 10"};
        QTest::newRow("numbers before texts, units make a text")
            << QStringList{"Договорная", "1500", "60 м2", "900"}
            << QStringList{"900", "1500", "60 м2", "Договорная"};
        QTest::newRow("no blank entry, no repeat")
            << QStringList{"", "Центр", "  ", "Центр", "1", "1"} << QStringList{"1", "Центр"};
        QTest::newRow("numbers by value, no empty entry")
            << QStringList{"2", "", "1", "10", "3", " ", "4", "5", "8"}
            << QStringList{"1", "2", "3", "4", "5", "8", "10"};
        QTest::newRow("Russian order, ё beside е, case aside")
            << QStringList{"Ёлочный", "Центр", "абрикосовый", "Еловый", "Жуковка", "Берёзовый"}
            << QStringList{"абрикосовый", "Берёзовый", "Еловый", "Ёлочный", "Жуковка", "Центр"};
        QTest::newRow("house numbers by value")
            << QStringList{"ул. Мира, 10", "ул. Мира, 9", "ул. Лесная, 2"}
            << QStringList{"ул. Лесная, 2", "ул. Мира, 9", "ул. Мира, 10"};
        QTest::newRow("numbers before words, repeats once")
            << QStringList{"есть", "2", "нет", "есть", "2"} << QStringList{"2", "есть", "нет"};
    }
    void sortedChoices()
    {
        QFETCH(QStringList, values);
        QTEST(text::SortedChoices(values), "offered");
    }
};

QTEST_GUILESS_MAIN(TestChoices)
#include "tst_choices.moc"
