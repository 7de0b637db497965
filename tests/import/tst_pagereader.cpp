// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "import/ClassicLayout.h"
#include "store/Fields.h"

#include "platform/Text.h"
#include "support/TestSupport.h"

#include <QTest>

#include <map>

namespace {

const ClassicLayout kLayout;
const QUrl kListUrl(QStringLiteral("http://127.0.0.1:8808/site/index.php?page=1"));
const QString kNbsp(QChar(0x00A0));

HtmlDocument stored(const QString& name, const QUrl& url = kListUrl)
{
    return HtmlDocument::parse(
        QString::fromUtf8(testsupport::ReadBytes(testsupport::DataFile(QStringLiteral("import/") + name))),
        url);
}

using Fields = std::map<field::Field, QString>;

// Every field of the listing: the given ones as given, all others empty.
void compareFields(const Record& r, const Fields& expected)
{
    for (field::Field k : field::AllFields) {
        const auto it = expected.find(k);
        const QString want = it == expected.end() ? QString() : it->second;
        if (r.GetRecord(k) != want)
            QFAIL(qPrintable(QStringLiteral("field %1: \"%2\", expected \"%3\"")
                                 .arg(field::Index(k))
                                 .arg(r.GetRecord(k), want)));
    }
}

// A detail page whose first table has `rows` rows, row i holding "v<i>"; the
// rows in `bare` have a single cell.
QString detailPage(int rows, const QList<int>& bare = {})
{
    QString html = QStringLiteral("<html><body><table>");
    for (int i = 0; i < rows; ++i)
        html += bare.contains(i) ? QStringLiteral("<tr><td colspan=2>v%1</td></tr>").arg(i)
                                 : QStringLiteral("<tr><td>поле</td><td>v%1</td></tr>").arg(i);
    return html + QStringLiteral("</table></body></html>");
}

} // namespace

Q_DECLARE_METATYPE(Fields)

class TestPageReader : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // The head row, rows of 9 and 11 cells and the rows of nested tables are
    // no listings; a row counting a nested table's cell among its ten is one.
    void findsListingRows()
    {
        const HtmlDocument page = stored(QStringLiteral("list.html"));
        QStringList addresses;
        for (const HtmlElement& row : kLayout.ListingRows(page))
            addresses << row.descendants(u"td").value(5).innerText();
        QCOMPARE(addresses,
                 (QStringList{kNbsp + QStringLiteral("ул. Луговая, д. 1") + kNbsp,
                              QStringLiteral("ул. Садовая, д. 2"), QStringLiteral("ул. Речная, д. 3"),
                              QStringLiteral("ул. Полевая, д. 4"), QStringLiteral("ул. Вложенная, д. 5"),
                              QStringLiteral("ул. Пустая, д. 6")}));

        // The first row of a page is never a listing, whatever it holds.
        const QString row =
            QStringLiteral("<tr>") + QStringLiteral("<td>x</td>").repeated(10) + QStringLiteral("</tr>");
        QVERIFY(kLayout
                    .ListingRows(HtmlDocument::parse(
                        QStringLiteral("<table>") + row + QStringLiteral("</table>"), kListUrl))
                    .isEmpty());
        QCOMPARE(kLayout
                     .ListingRows(HtmlDocument::parse(
                         QStringLiteral("<table>") + row + row + QStringLiteral("</table>"), kListUrl))
                     .size(),
                 1);
        QVERIFY(kLayout.ListingRows(HtmlDocument::parse(QStringLiteral("<p>нет таблиц</p>"), kListUrl))
                    .isEmpty());
    }

    void readsListingRow_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<Fields>("expected");
        QTest::newRow("three areas; a line break and a bar in the description; blanks kept")
            << 0
            << Fields{{field::Date, QStringLiteral("01.02.2026")},
                      {field::Rooms, QStringLiteral("2")},
                      {field::Floor, QStringLiteral("5/9")},
                      {field::Address, kNbsp + QStringLiteral("ул. Луговая, д. 1") + kNbsp},
                      {field::TotalArea, QStringLiteral("54")},
                      {field::LivingArea, QStringLiteral("32")},
                      {field::KitchenArea, QStringLiteral("8")},
                      {field::Description, QStringLiteral("Светлая квартира \u00A6 вид на парк")},
                      {field::Price, QStringLiteral("5210")},
                      {field::Agency, QStringLiteral("Добрый адрес")}};
        QTest::newRow("two areas fill the total only")
            << 1
            << Fields{{field::Date, QStringLiteral("04.02.2026")},
                      {field::Rooms, QStringLiteral("1")},
                      {field::Floor, QStringLiteral("3/5")},
                      {field::Address, QStringLiteral("ул. Садовая, д. 2")},
                      {field::TotalArea, QStringLiteral("54")},
                      {field::Description, QStringLiteral("Две ссылки: первая и вторая")},
                      {field::Price, QStringLiteral("4100")},
                      {field::Agency, QStringLiteral("Кварталъ")}};
        QTest::newRow("one area") << 2 << Fields{{field::Date, QStringLiteral("05.02.2026")},
                                                 {field::Rooms, QStringLiteral("3")},
                                                 {field::Floor, QStringLiteral("1/9")},
                                                 {field::Address, QStringLiteral("ул. Речная, д. 3")},
                                                 {field::TotalArea, QStringLiteral("54")},
                                                 {field::Description, QStringLiteral("ссылка на скрипт")},
                                                 {field::Price, QStringLiteral("6000")},
                                                 {field::Agency, QStringLiteral("Дом")}};
        QTest::newRow("a fourth area is ignored")
            << 3 << Fields{{field::Date, QStringLiteral("06.02.2026")},
                           {field::Rooms, QStringLiteral("2")},
                           {field::Floor, QStringLiteral("4/4")},
                           {field::Address, QStringLiteral("ул. Полевая, д. 4")},
                           {field::TotalArea, QStringLiteral("54")},
                           {field::LivingArea, QStringLiteral("32")},
                           {field::KitchenArea, QStringLiteral("8")},
                           {field::Description, QStringLiteral("без ссылки")},
                           {field::Price, QStringLiteral("5000")},
                           {field::Agency, QStringLiteral("Ключ")}};
        // The nested cell is cell 9; the cell holding the table shows both texts.
        QTest::newRow("a nested table's cell counts in document order")
            << 4 << Fields{{field::Date, QStringLiteral("07.02.2026")},
                           {field::Rooms, QStringLiteral("4")},
                           {field::Floor, QStringLiteral("9/9")},
                           {field::Address, QStringLiteral("ул. Вложенная, д. 5")},
                           {field::TotalArea, QStringLiteral("90")},
                           {field::LivingArea, QStringLiteral("60")},
                           {field::KitchenArea, QStringLiteral("12")},
                           {field::Description, QStringLiteral("ссылка на файл")},
                           {field::Price, QStringLiteral("7000 торг")},
                           {field::Agency, QStringLiteral("торг")}};
        QTest::newRow("an empty area cell fills no area")
            << 5
            << Fields{{field::Date, QStringLiteral("08.02.2026")},
                      {field::Rooms, QStringLiteral("1")},
                      {field::Floor, QStringLiteral("2/2")},
                      {field::Address, QStringLiteral("ул. Пустая, д. 6")},
                      {field::Description, QStringLiteral("полная ссылка")},
                      {field::Price, QStringLiteral("2000")},
                      {field::Agency, QStringLiteral("Угол")}};
    }
    void readsListingRow()
    {
        QFETCH(int, row);
        QFETCH(Fields, expected);
        const HtmlDocument page = stored(QStringLiteral("list.html"));
        const RecordPtr r = kLayout.ReadListingRow(kLayout.ListingRows(page).value(row));
        compareFields(*r, expected);
    }

    void findsDetailLink_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<QString>("expected");
        QTest::newRow("relative to the page's folder") << 0 << "http://127.0.0.1:8808/site/obj.php?id=1";
        QTest::newRow("the first of two links, from the site's root")
            << 1 << "http://127.0.0.1:8808/obj/2.html";
        QTest::newRow("a script is not followed") << 2 << "";
        QTest::newRow("no link") << 3 << "";
        QTest::newRow("a file is not followed") << 4 << "";
        QTest::newRow("a full address") << 5 << "http://127.0.0.1:8808/index.php?m=r3&id=12&obj=6";
    }
    void findsDetailLink()
    {
        QFETCH(int, row);
        QFETCH(QString, expected);
        const HtmlDocument page = stored(QStringLiteral("list.html"));
        QCOMPARE(kLayout.DetailLink(kLayout.ListingRows(page).value(row)).toString(), expected);
    }

    void readsDetailPage_data()
    {
        QTest::addColumn<QString>("file");
        QTest::addColumn<Fields>("expected");
        QTest::newRow("18 rows: all six fields, line breaks as blanks")
            << "detail18.html" << Fields{{field::District, QStringLiteral("Северный район")},
                                         {field::Stop, QStringLiteral("значение 2")},
                                         {field::StopDistance, QStringLiteral("значение 3")},
                                         {field::Bathroom, QStringLiteral("значение 8")},
                                         {field::HouseType, QStringLiteral("значение 9")},
                                         {field::Telephone, QStringLiteral("значение 12")}};
        QTest::newRow("17 rows: nothing") << "detail17.html" << Fields{};
        // 16 rows of its own and 2 of the nested table: read, with rows moved down.
        QTest::newRow("a nested table's rows count and shift the rest")
            << "detail_nested.html"
            << Fields{{field::District, QStringLiteral("внешняя 0")},
                      {field::Stop, QStringLiteral("остановка из вложенной")},
                      {field::StopDistance, QStringLiteral("расстояние из вложенной")},
                      {field::Bathroom, QStringLiteral("внешняя 6")},
                      {field::HouseType, QStringLiteral("внешняя 7")},
                      {field::Telephone, QStringLiteral("внешняя 10")}};
    }
    void readsDetailPage()
    {
        QFETCH(QString, file);
        QFETCH(Fields, expected);
        Record r;
        kLayout.ReadDetailPage(stored(file, QUrl(QStringLiteral("http://127.0.0.1:8808/obj.php?id=1"))), r);
        compareFields(r, expected);
    }

    // A row without a value cell, or a page without a table, leaves the
    // fields as they were.
    void detailPageKeepsWhatItCannotRead()
    {
        Record r;
        for (field::Field k : {field::District, field::HouseType, field::Stop, field::StopDistance,
                               field::Bathroom, field::Telephone})
            r.SetRecord(k, QStringLiteral("прежнее"));
        kLayout.ReadDetailPage(HtmlDocument::parse(detailPage(18, {2, 8}), kListUrl), r);
        compareFields(r, Fields{{field::District, QStringLiteral("v0")},
                                {field::Stop, QStringLiteral("прежнее")},
                                {field::StopDistance, QStringLiteral("v3")},
                                {field::Bathroom, QStringLiteral("прежнее")},
                                {field::HouseType, QStringLiteral("v9")},
                                {field::Telephone, QStringLiteral("v12")}});

        kLayout.ReadDetailPage(HtmlDocument::parse(QStringLiteral("<p>v0</p>"), kListUrl), r);
        QCOMPARE(r.GetRecord(field::District), QStringLiteral("v0"));
        QCOMPARE(r.GetRecord(field::Stop), QStringLiteral("прежнее"));
    }

    // Rows nest in the cells of tables inside one another; each row counts the
    // cells below it, but finding the rows looks at every element of the page
    // a few times only, not once for every row above it.
    void nestedRowsFoundInOneWalk()
    {
        for (int levels : {300, 600}) {
            QString html = QStringLiteral("<body>");
            for (int i = 0; i < levels; ++i)
                html += QStringLiteral("<table><tr><th>") + QStringLiteral("<span>a</span>").repeated(100);
            html += QStringLiteral("<table><tr>") + QStringLiteral("<td>1</td>").repeated(10);
            const HtmlDocument page = HtmlDocument::parse(html, kListUrl);
            const qsizetype elements = page.descendants(u"*").size();
            const qint64 before = HtmlDocument::walkSteps();
            const QList<HtmlElement> rows = kLayout.ListingRows(page);
            const qint64 steps = HtmlDocument::walkSteps() - before;
            // Every row above the ten cells has them all below it; the first is the head.
            QCOMPARE(rows.size(), levels);
            QVERIFY2(steps < 6 * elements,
                     qPrintable(QStringLiteral("%1 steps for %2 elements").arg(steps).arg(elements)));
        }
    }

    // Pages cut off anywhere (as a broken connection leaves them) are read
    // without harm.
    void cutOffPagesAreHarmless()
    {
        for (const char* name : {"list.html", "detail_nested.html"}) {
            const QString html = QString::fromUtf8(testsupport::ReadBytes(
                testsupport::DataFile(QStringLiteral("import/") + QLatin1String(name))));
            for (qsizetype cut = 0; cut < html.size(); cut += 7) {
                const HtmlDocument page = HtmlDocument::parse(html.left(cut), kListUrl);
                for (const HtmlElement& row : kLayout.ListingRows(page)) {
                    const RecordPtr r = kLayout.ReadListingRow(row);
                    QVERIFY(text::IsFileSafe(r->GetRecord(field::Description)));
                    const QUrl link = kLayout.DetailLink(row);
                    QVERIFY(link.isEmpty() || link.scheme().startsWith(QLatin1String("http")));
                }
                Record r;
                kLayout.ReadDetailPage(page, r);
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestPageReader)
#include "tst_pagereader.moc"
