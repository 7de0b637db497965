// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "import/ImportRun.h"
#include "import/SiteLayout.h"
#include "platform/Text.h"
#include "program/Program.h"
#include "sample/DemoSite.h"
#include "sample/ListingGenerator.h"
#include "store/Fields.h"

#include <QRegularExpression>
#include <QTest>

// A layout other than the classic one, written here and nowhere else: the
// demo site serves it from its tables and a run reads it through the layout
// object alone, so nothing else of the program has to learn of a new site.

namespace {

using sitelayout::DetailRow;
using sitelayout::ListCell;
using sitelayout::Read;
using sitelayout::Shown;

// clang-format off
constexpr ListCell kCells[] = {
    {u"Адрес",        {field::Address},             1, Read::Whole, Shown::Fields, true},
    {u"Комнат/этаж",  {field::Rooms, field::Floor}, 2, Read::SplitAtSlash},
    {u"Номер",        {},                           0, Read::Nothing, Shown::Number},
    {u"Цена",         {field::Price},               1, Read::Whole},
};
// Read by label, not by place: the rows may come in any order.
constexpr DetailRow kRows[] = {
    {u"Телефон",      {field::Telephone}, 1, true},
    {u"Номер",        {},                 0, false, Shown::Number},
    {u"Район",        {field::District},  1, true},
};
// clang-format on

constexpr sitelayout::Tables kTables{
    {u"/offers.php", u"all=1", u"sort=new&p=", u"card=", u"Объявлений в базе:"}, kCells, kRows};

class CardLayout final : public SiteLayout
{
public:
    QUrl StartPageUrl(const QString& site) const override
    {
        return address(site, kTables.addresses.startQuery);
    }
    QUrl ListPageUrl(const QString& site, qint64 page) const override
    {
        return QUrl(address(site, kTables.addresses.listQuery).toString() + QString::number(page));
    }
    qint64 AnnouncedTotal(const HtmlDocument& startPage) const override
    {
        static const QRegularExpression count(QString::fromUtf16(kTables.addresses.totalPhrase) +
                                              QStringLiteral("\\s*(\\d+)"));
        return count.match(startPage.body().innerText()).captured(1).toLongLong();
    }
    QList<HtmlElement> ListingRows(const HtmlDocument& page) const override
    {
        QList<HtmlElement> rows = page.descendants(u"table").value(0).descendants(u"tr");
        if (!rows.isEmpty()) rows.removeFirst(); // the captions
        return rows;
    }
    RecordPtr ReadListingRow(const HtmlElement& row) const override
    {
        auto listing = std::make_shared<Record>();
        const QList<HtmlElement> cells = row.descendants(u"td");
        for (qsizetype i = 0; i < cells.size() && i < qsizetype(std::size(kCells)); ++i) {
            const QStringList parts = cells[i].innerText().split(u'/');
            for (int p = 0; kCells[i].read != Read::Nothing && p < kCells[i].fieldCount && p < parts.size();
                 ++p)
                listing->SetRecord(kCells[i].fields[size_t(p)], parts[p]);
        }
        return listing;
    }
    QUrl DetailLink(const HtmlElement& row) const override
    {
        return QUrl(row.descendants(u"a").value(0).href());
    }
    void ReadDetailPage(const HtmlDocument& page, Record& listing) const override
    {
        for (const HtmlElement& tr : page.descendants(u"table").value(0).descendants(u"tr")) {
            const QList<HtmlElement> cells = tr.descendants(u"td");
            for (const DetailRow& row : kRows) {
                if (row.read && cells.size() == 2 && cells[0].innerText() == QString::fromUtf16(row.label))
                    listing.SetRecord(row.fields[0], cells[1].innerText());
            }
        }
    }
    const sitelayout::Tables& PageTables() const override { return kTables; }

private:
    static QUrl address(const QString& site, const char16_t* query)
    {
        return QUrl(site + QString::fromUtf16(kTables.addresses.path) + u'?' + QString::fromUtf16(query));
    }
};

} // namespace

class TestSiteLayout : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Seven listings over three list pages: every field the layout shows
    // arrives in its own field, and none it does not show.
    void anotherLayoutIsServedAndImported()
    {
        const auto layout = std::make_shared<const CardLayout>();
        DemoSite site({.count = 7, .pageSize = 3, .layout = layout});
        QVERIFY2(site.Listen(), qPrintable(site.ErrorText()));

        Program program;
        QStringList log;
        ImportHooks hooks;
        hooks.log = [&](const QString& line) { log << line; };
        hooks.UseEventLoop(0);
        LoaderPageSource pages(30000);
        const ImportResult result =
            SyncStart(program, site.Address(), pages, hooks, {.requestsPerSecond = 0, .layout = layout});
        QVERIFY2(result.completed, qPrintable(log.join(u'\n')));
        QCOMPARE(result.pages, 3);
        QCOMPARE(program.Records.Items.Count(), 7);

        for (int i = 0; i < 7; ++i) {
            const auto f = sample::GenerateListing(quint64(i));
            const Record& r = *program.Records.Items.at(i);
            for (field::Field k : field::AllFields) {
                const bool shown = k == field::Address || k == field::Rooms || k == field::Floor ||
                                   k == field::Price || k == field::Telephone || k == field::District;
                QCOMPARE(r.GetRecord(k), shown ? text::FileSafe(f[k]) : QString());
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestSiteLayout)
#include "tst_sitelayout.moc"
