// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "import/PageReader.h"

#include "platform/Text.h"
#include "store/Fields.h"

namespace {

constexpr int kListingCells = 10;
constexpr int kDetailRows = 18;

// Cell of a listing row -> field of the listing; -1 for cells not read. The
// area cell (6) is split separately.
constexpr field::Field kNotRead = field::At(-1);
constexpr field::Field kCellField[kListingCells] = {
    field::Date,    kNotRead, field::Rooms,       field::Floor, kNotRead,
    field::Address, kNotRead, field::Description, field::Price, field::Agency};
constexpr int kAreaCell = 6;
constexpr int kDescriptionCell = 7;

struct DetailField
{
    int row;
    field::Field field;
};
// In the order the fields are written.
constexpr DetailField kDetailFields[] = {{0, field::District},     {2, field::Stop},
                                         {3, field::StopDistance}, {8, field::Bathroom},
                                         {9, field::HouseType},    {12, field::Telephone}};

QString cellText(const HtmlElement& cell)
{
    return text::FileSafe(cell.innerText());
}

} // namespace

QList<HtmlElement> FindListingRows(const HtmlDocument& page)
{
    QList<HtmlElement> rows;
    const QList<HtmlElement> all = page.descendants(u"tr");
    // Counted in one walk: rows nest in the cells of one another, and
    // counting below each row apart would go over the nested ones again.
    const QList<qsizetype> cells = page.descendantCounts(u"tr", u"td");
    // The document's first row is the table head, never a listing.
    for (qsizetype i = 1; i < all.size(); ++i) {
        if (cells[i] == kListingCells) rows.append(all[i]);
    }
    return rows;
}

RecordPtr ReadListingRow(const HtmlElement& row)
{
    auto listing = std::make_shared<Record>();
    const QList<HtmlElement> cells = row.descendants(u"td");
    auto cell = [&cells](int i) { return i < cells.size() ? cellText(cells[i]) : QString(); };
    // Written in the order date, rooms, floor, address, areas, description,
    // price, agency.
    for (int i : {0, 2, 3, 5})
        listing->SetRecord(kCellField[i], cell(i));

    const QString areas = cell(kAreaCell);
    if (!areas.isEmpty()) {
        const QStringList parts = areas.split(u'/');
        listing->SetRecord(field::TotalArea, parts[0]);
        if (parts.size() >= 3) {
            listing->SetRecord(field::LivingArea, parts[1]);
            listing->SetRecord(field::KitchenArea, parts[2]);
        }
    }

    for (int i : {7, 8, 9})
        listing->SetRecord(kCellField[i], cell(i));
    return listing;
}

QUrl FindDetailLink(const HtmlElement& row)
{
    const HtmlElement cell = row.descendants(u"td").value(kDescriptionCell);
    if (cell.isNull()) return {};
    const HtmlElement link = cell.descendants(u"a").value(0);
    if (link.isNull()) return {};
    const QUrl url(link.href(), QUrl::StrictMode);
    const QString scheme = url.scheme();
    if (!url.isValid() || url.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https")))
        return {};
    return url;
}

void ReadDetailPage(const HtmlDocument& page, Record& listing)
{
    const HtmlElement table = page.descendants(u"table").value(0);
    if (table.isNull()) return;
    const QList<HtmlElement> rows = table.descendants(u"tr");
    if (rows.size() < kDetailRows) return;
    for (const DetailField& d : kDetailFields) {
        const HtmlElement value = rows[d.row].descendants(u"td").value(1);
        if (!value.isNull()) listing.SetRecord(d.field, cellText(value));
    }
}
