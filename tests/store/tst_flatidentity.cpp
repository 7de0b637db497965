// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "store/Fields.h"
#include "store/FlatIdentity.h"

#include <QTest>

namespace {

// A listing with address, floor, storeys, total area and rooms; `rest` fills field 0.
RecordPtr flat(const QString& address, const QString& floor, const QString& area, const QString& storeys = {},
               const QString& rest = {}, const QString& rooms = QStringLiteral("2"))
{
    auto r = std::make_shared<Record>();
    r->SetRecord(field::Rooms, rooms);
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
    // Each listing is given as address | floor | storeys | area [| rooms, "2" when not given].
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
        QTest::newRow("rooms with letter case and blanks")
            << QStringList{"ул. Мира, 1, кв. 5", "5", "9", "54", " 2К"}
            << QStringList{"ул. Мира, 1, кв. 5", "5", "9", "54", "2к "} << true;
        QTest::newRow("another number of rooms")
            << QStringList{"ул. Мира, 1, кв. 5", "5", "9", "54", "1"}
            << QStringList{"ул. Мира, 1, кв. 5", "5", "9", "54", "3"} << false;
        QTest::newRow("rooms given on one only")
            << mira << QStringList{"ул. Мира, 1, кв. 5", "5", "9", "54", ""} << false;
        QTest::newRow("no floor and no area names no flat")
            << QStringList{"ул. Мира, 1", "", "", ""} << QStringList{"ул. мира, 1", "", "", ""} << false;
        QTest::newRow("no floor names no flat")
            << QStringList{"ул. Мира, 1", " ", "", "54"} << QStringList{"ул. Мира, 1", "", "", "54"} << false;
        QTest::newRow("floor of a bare \"/9\" names no flat")
            << QStringList{"ул. Мира, 1", "/9", "", "54"} << QStringList{"ул. Мира, 1", "/9", "", "54"}
            << false;
        QTest::newRow("no area names no flat")
            << QStringList{"ул. Мира, 1", "5", "", " "} << QStringList{"ул. Мира, 1", "5", "", ""} << false;
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
        const RecordPtr ra =
            flat(a[0], a[1], a[3], a[2], QStringLiteral("первое"), a.value(4, QStringLiteral("2")));
        const RecordPtr rb =
            flat(b[0], b[1], b[3], b[2], QStringLiteral("второе"), b.value(4, QStringLiteral("2")));
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

    // The clean-up keeps the newest listing of each flat (by date, then the
    // last), fills its empty fields from the copies, newest first, and leaves
    // the order of what stays.
    void copiesFoundAndRemoved()
    {
        const auto dated = [](RecordPtr r, const QString& date, const QString& price = {},
                              const QString& description = {}) {
            r->SetRecord(field::Date, date);
            r->SetRecord(field::Price, price);
            r->SetRecord(field::Description, description);
            return r;
        };
        const RecordPtr a =
            dated(flat("ул. Мира, 1", "5", "54", "9", "первая"), "01.10.2026", "3000", "старое");
        const RecordPtr b = flat("ул. Лесная, 2", "1", "31");
        const RecordPtr a2 =
            dated(flat("ул. мира, 1", "5/9", "54", "", "вторая, новее"), " 01.11.2026", "2800");
        const RecordPtr noArea1 = flat("ул. Лесная, 3", "1", "");
        const RecordPtr noArea2 = flat("ул. Лесная, 3", "1", "");
        const RecordPtr b2 = flat(" ул. Лесная, 2", "1", "31");
        const RecordPtr a3 =
            dated(flat("ул. Мира, 1", "5", "54"), "дата не читается", "", "самое позднее место");
        const RecordPtr c = flat("ул. Мира, 1", "6", "54");
        Records records;
        for (const RecordPtr& r : {a, b, a2, noArea1, noArea2, b2, a3, c})
            records.Items.Add(r);

        const QList<FlatCopy> copies = FindCopies(records.Items);
        QList<std::pair<int, int>> pairs;
        for (const FlatCopy& copy : copies)
            pairs.append({copy.position, copy.original});
        QCOMPARE(pairs, (QList<std::pair<int, int>>{{1, 3}, {2, 6}, {7, 3}}));
        QCOMPARE(DifferingFields(*a, *a2),
                 (QList<field::Field>{field::District, field::Floor, field::Address, field::Price,
                                      field::Date, field::Description, field::Storeys}));

        RemoveCopies(records, copies);
        const QList<RecordPtr> kept{a2, noArea1, noArea2, b2, c};
        QCOMPARE(records.Items.Count(), kept.size());
        for (int i = 0; i < kept.size(); ++i)
            QCOMPARE(records.Items.at(i), kept[i]);
        // Its own fields stay; the empty ones come from the newest copy that
        // has them (the undated one is older than any dated one).
        QCOMPARE(a2->GetRecord(field::Price), QStringLiteral("2800"));
        QCOMPARE(a2->GetRecord(field::District), QStringLiteral("вторая, новее"));
        QCOMPARE(a2->GetRecord(field::Description), QStringLiteral("старое"));
        QVERIFY(FindCopies(records.Items).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestFlatIdentity)
#include "tst_flatidentity.moc"
