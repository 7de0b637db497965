// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "store/Fields.h"
#include "store/FlatIdentity.h"

#include <QTest>

namespace {

// A listing with address, floor, storeys and total area; `rest` fills field 0.
RecordPtr flat(const QString& address, const QString& floor, const QString& area, const QString& storeys = {},
               const QString& rest = {})
{
    auto r = std::make_shared<Record>();
    r->SetRecord(field::Address, address);
    r->SetRecord(field::Floor, floor);
    r->SetRecord(field::TotalArea, area);
    r->SetRecord(field::Storeys, storeys);
    r->SetRecord(field::District, rest);
    return r;
}

RecordList listOf(const QList<RecordPtr>& records)
{
    RecordList l;
    for (const RecordPtr& r : records)
        l.Add(r);
    return l;
}

} // namespace

class TestFlatIdentity : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Each listing is given as address | floor | storeys | area.
    void sameFlat_data()
    {
        QTest::addColumn<QStringList>("a");
        QTest::addColumn<QStringList>("b");
        QTest::addColumn<bool>("same");
        const QStringList mira{"ул. Мира, 1, кв. 5", "5", "9", "54"};
        QTest::newRow("identical") << mira << mira << true;
        QTest::newRow("letter case, Cyrillic included")
            << mira << QStringList{"УЛ. МИРА, 1, КВ. 5", "5", "9", "54"} << true;
        QTest::newRow("letter case of Ё and Latin letters")
            << QStringList{"Ёлочная ул., 7B", "5", "", "54"} << QStringList{"ёЛОЧНАЯ УЛ., 7b", "5", "", "54"}
            << true;
        QTest::newRow("surrounding blanks")
            << mira << QStringList{"  ул. Мира, 1, кв. 5 ", " 5 ", "9", " 54"} << true;
        QTest::newRow("5/9 against 5 with storeys 9")
            << QStringList{"ул. Мира, 1, кв. 5", "5/9", "", "54"} << mira << true;
        QTest::newRow("5 / 9 against 5")
            << QStringList{"ул. Мира, 1, кв. 5", "5 / 9", "", "54"} << mira << true;
        QTest::newRow("storeys are no part of the flat")
            << mira << QStringList{"ул. Мира, 1, кв. 5", "5", "12", "54"} << true;
        QTest::newRow("line break cleaned as the import does")
            << QStringList{"ул. Мира,\r\n1, кв. 5", "5", "", "54"}
            << QStringList{"ул. Мира, 1, кв. 5", "5", "", "54"} << true;
        QTest::newRow("bar cleaned as the import does")
            << QStringList{"ул. Мира|1", "5", "", "54"} << QStringList{"ул. Мира¦1", "5", "", "54"} << true;
        QTest::newRow("no floor and no area on both")
            << QStringList{"ул. Мира, 1", "", "", ""} << QStringList{"ул. мира, 1", "", "", ""} << true;
        QTest::newRow("another flat number in the address")
            << mira << QStringList{"ул. Мира, 1, кв. 6", "5", "9", "54"} << false;
        QTest::newRow("another area") << mira << QStringList{"ул. Мира, 1, кв. 5", "5", "9", "54.5"} << false;
        QTest::newRow("area compared as text")
            << mira << QStringList{"ул. Мира, 1, кв. 5", "5", "9", "54.0"} << false;
        QTest::newRow("another floor") << mira << QStringList{"ул. Мира, 1, кв. 5", "6/9", "", "54"} << false;
        QTest::newRow("blanks inside count")
            << mira << QStringList{"ул. Мира,  1, кв. 5", "5", "9", "54"} << false;
        QTest::newRow("no address names no flat")
            << QStringList{"", "5", "9", "54"} << QStringList{"  ", "5", "9", "54"} << false;
    }
    void sameFlat()
    {
        QFETCH(QStringList, a);
        QFETCH(QStringList, b);
        QFETCH(bool, same);
        const RecordPtr ra = flat(a[0], a[1], a[3], a[2], QStringLiteral("первое"));
        const RecordPtr rb = flat(b[0], b[1], b[3], b[2], QStringLiteral("второе"));
        QCOMPARE(SameFlat(*ra, *rb), same);
        QCOMPARE(SameFlat(*rb, *ra), same);
        // The index finds exactly the same flats as the rule.
        const RecordList items = listOf({ra});
        const FlatIndex index(items);
        QCOMPARE(index.Find(*rb), same ? 0 : -1);
    }

    // An index that grows with its list (as an import appends) finds the
    // first listing of every flat, however many came before it.
    void indexGrowsWithItsList()
    {
        RecordList items;
        FlatIndex index(items);
        constexpr int kFlats = 5000;
        for (int i = 0; i < kFlats; ++i) {
            items.Add(flat(QStringLiteral("ул. Тестовая, %1").arg(i / 10), QString::number(i % 10), "40"));
            QCOMPARE(index.Insert(items.Count() - 1), i);
        }
        for (int i = 0; i < kFlats; i += 7) {
            const RecordPtr copy = flat(QStringLiteral("УЛ. ТЕСТОВАЯ, %1 ").arg(i / 10),
                                        QString::number(i % 10) + QStringLiteral("/12"), "40");
            QCOMPARE(index.Find(*copy), i);
            items.Add(copy);
            QCOMPARE(index.Insert(items.Count() - 1), i); // a copy is not indexed again
        }
        QCOMPARE(index.Find(*flat("ул. Тестовая, 1", "0", "41")), -1);
        items.Add(flat("", "1", "40"));
        QCOMPARE(index.Insert(items.Count() - 1), -1);
        // Built at once over the whole list: the same answers.
        const FlatIndex built(items);
        for (int i = 0; i < items.Count(); i += 13)
            QCOMPARE(built.Find(*items.at(i)), index.Find(*items.at(i)));
    }

    // The clean-up keeps the first listing of each flat as it is, in order.
    void copiesFoundAndRemoved()
    {
        const RecordPtr a = flat("ул. Мира, 1", "5", "54", "9", "первая");
        const RecordPtr b = flat("ул. Лесная, 2", "1", "31");
        const RecordPtr a2 = flat("ул. мира, 1", "5/9", "54", "", "вторая, новее");
        const RecordPtr noAddress1 = flat("", "1", "31");
        const RecordPtr noAddress2 = flat("", "1", "31");
        const RecordPtr b2 = flat(" ул. Лесная, 2", "1", "31");
        const RecordPtr a3 = flat("ул. Мира, 1", "5", "54");
        const RecordPtr c = flat("ул. Мира, 1", "6", "54");
        Records records;
        for (const RecordPtr& r : {a, b, a2, noAddress1, noAddress2, b2, a3, c})
            records.Items.Add(r);

        const QList<FlatCopy> copies = FindCopies(records.Items);
        QList<std::pair<int, int>> pairs;
        for (const FlatCopy& copy : copies)
            pairs.append({copy.position, copy.original});
        QCOMPARE(pairs, (QList<std::pair<int, int>>{{3, 1}, {6, 2}, {7, 1}}));

        RemoveCopies(records, copies);
        QCOMPARE(records.Items.Count(), 5);
        const QList<RecordPtr> kept{a, b, noAddress1, noAddress2, c};
        for (int i = 0; i < kept.size(); ++i)
            QCOMPARE(records.Items.at(i), kept[i]);
        QCOMPARE(a->GetRecord(field::District), QStringLiteral("первая"));
        QVERIFY(FindCopies(records.Items).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestFlatIdentity)
#include "tst_flatidentity.moc"
