// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "import/ClassicLayout.h"

#include "platform/Text.h"

#include <cmath>
#include <limits>

namespace {

using sitelayout::DetailRow;
using sitelayout::ListCell;
using sitelayout::Read;
using sitelayout::Shown;

// clang-format off
constexpr ListCell kListCells[] = {
    {u"Дата",            {field::Date},        1, Read::Whole},
    {u"Фото",            {},                   0, Read::Nothing, Shown::Photo},
    {u"Комнат",          {field::Rooms},       1, Read::Whole},
    // Read whole: the listing splits "5/9" itself, as loading does.
    {u"Этаж",            {field::Floor, field::Storeys}, 2, Read::Whole},
    // The detail page's house type is the one taken.
    {u"Тип дома",        {field::HouseType},   1, Read::Nothing},
    {u"Адрес",           {field::Address},     1, Read::Whole},
    {u"Площадь",         {field::TotalArea, field::LivingArea, field::KitchenArea}, 3, Read::SplitAtSlash},
    {u"Описание",        {field::Description}, 1, Read::Whole, Shown::Fields, true},
    {u"Цена, тыс. руб.", {field::Price},       1, Read::Whole},
    {u"Агентство",       {field::Agency},      1, Read::Whole},
};

// In the order the fields are written.
constexpr DetailRow kDetailRows[] = {
    {u"Район",                      {field::District},     1, true},
    {u"Адрес",                      {field::Address},      1, false},
    {u"Ближайшая остановка",        {field::Stop},         1, true},
    {u"До остановки, м",            {field::StopDistance}, 1, true},
    {u"Комнат",                     {field::Rooms},        1, false},
    {u"Этаж",                       {field::Floor, field::Storeys}, 2, false},
    {u"Площадь: общая/жилая/кухня", {field::TotalArea, field::LivingArea, field::KitchenArea}, 3, false},
    {u"Цена, тыс. руб.",            {field::Price},        1, false},
    {u"Санузел",                    {field::Bathroom},     1, true},
    {u"Тип дома",                   {field::HouseType},    1, true},
    {u"Этажность",                  {field::Storeys},      1, false},
    {u"Агентство",                  {field::Agency},       1, false},
    {u"Телефон",                    {field::Telephone},    1, true},
    {u"Дата подачи",                {field::Date},         1, false},
    {u"Описание",                   {field::Description},  1, false},
    {u"Номер объявления",           {},                    0, false, Shown::Number},
    {u"Продавец",                   {},                    0, false, Shown::Seller},
    {u"Просмотров",                 {},                    0, false, Shown::Views},
};
// clang-format on

constexpr sitelayout::Tables kTables{
    {u"/index.php", u"m=r3&id=12", u"razdel=12&priceb=0&pricee=0&dist=0&kom=0&street=&m=r3&id=12&s=&a=&page=",
     u"m=r3&id=12&obj=", u"Всего предложений:"},
    kListCells,
    kDetailRows};

constexpr int kListingCells = int(std::size(kListCells));
constexpr int kDetailLinkCell = [] {
    for (int i = 0; i < kListingCells; ++i)
        if (kListCells[i].detailLink) return i;
    return -1;
}();
static_assert(kDetailLinkCell >= 0, "a listing row carries its detail link");

QString cellText(const HtmlElement& cell)
{
    return text::FileSafe(cell.innerText());
}

QString pageAddress(const QString& site, const char16_t* query)
{
    return site + QString::fromUtf16(kTables.addresses.path) + u'?' + QString::fromUtf16(query);
}

} // namespace

QUrl ClassicLayout::StartPageUrl(const QString& site) const
{
    return QUrl(pageAddress(site, kTables.addresses.startQuery));
}

QUrl ClassicLayout::ListPageUrl(const QString& site, qint64 page) const
{
    return QUrl(pageAddress(site, kTables.addresses.listQuery) + QString::number(page));
}

qint64 ClassicLayout::AnnouncedTotal(const HtmlDocument& startPage) const
{
    return TotalInText(startPage.body().innerText());
}

qint64 ClassicLayout::TotalInText(const QString& bodyText)
{
    static const QString phrase = QString::fromUtf16(kTables.addresses.totalPhrase);
    const qsizetype at = bodyText.indexOf(phrase, 0, Qt::CaseInsensitive);
    if (at < 0) return 0;
    const qsizetype from = at + phrase.size();
    const qsizetype cr = bodyText.indexOf(u'\r', from);
    if (cr < 0) return 0;
    const double n = text::RoundHalfEven(text::Val(QStringView(bodyText).mid(from, cr - from)));
    // A count the whole-number range cannot hold fails to be read, like any
    // other unreadable count.
    if (!std::isfinite(n) || n < std::numeric_limits<qint32>::min() || n > std::numeric_limits<qint32>::max())
        return 0;
    return static_cast<qint64>(n);
}

QList<HtmlElement> ClassicLayout::ListingRows(const HtmlDocument& page) const
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

RecordPtr ClassicLayout::ReadListingRow(const HtmlElement& row) const
{
    auto listing = std::make_shared<Record>();
    const QList<HtmlElement> cells = row.descendants(u"td");
    for (int i = 0; i < kListingCells; ++i) {
        const ListCell& c = kListCells[i];
        if (c.read == Read::Nothing) continue;
        const QString text = i < cells.size() ? cellText(cells[i]) : QString();
        if (c.read == Read::Whole) {
            listing->SetRecord(c.fields[0], text);
            continue;
        }
        if (text.isEmpty()) continue;
        const QStringList parts = text.split(u'/');
        listing->SetRecord(c.fields[0], parts[0]);
        if (parts.size() >= c.fieldCount) {
            for (int p = 1; p < c.fieldCount; ++p)
                listing->SetRecord(c.fields[size_t(p)], parts[p]);
        }
    }
    return listing;
}

QUrl ClassicLayout::DetailLink(const HtmlElement& row) const
{
    const HtmlElement cell = row.descendants(u"td").value(kDetailLinkCell);
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

void ClassicLayout::ReadDetailPage(const HtmlDocument& page, Record& listing) const
{
    const HtmlElement table = page.descendants(u"table").value(0);
    if (table.isNull()) return;
    const QList<HtmlElement> rows = table.descendants(u"tr");
    if (rows.size() < qsizetype(std::size(kDetailRows))) return;
    for (qsizetype i = 0; i < qsizetype(std::size(kDetailRows)); ++i) {
        if (!kDetailRows[i].read) continue;
        const HtmlElement value = rows[i].descendants(u"td").value(1);
        if (!value.isNull()) listing.SetRecord(kDetailRows[i].fields[0], cellText(value));
    }
}

const sitelayout::Tables& ClassicLayout::PageTables() const
{
    return kTables;
}

std::shared_ptr<const SiteLayout> DefaultSiteLayout()
{
    static const std::shared_ptr<const SiteLayout> layout = std::make_shared<const ClassicLayout>();
    return layout;
}
