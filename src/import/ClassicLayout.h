// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include "import/SiteLayout.h"

// The listing site the program was made for: old-style HTML tables.
//
// - The start page announces its offers after "Всего предложений:" (letter
//   case ignored), up to the next carriage return, read as a number and
//   rounded half to even; 0 without the phrase, without a carriage return
//   after it, or for a number beyond the whole-number range.
// - A listing row is every TR but the document's first one that has exactly
//   as many TD elements at any depth below it as the table has cells (10).
// - A row's cells are read by the cell table: date, rooms, floor (as
//   "floor/storeys"), address, the areas split at "/" (living and kitchen only
//   with at least three parts), description, price, agency. A missing cell
//   leaves its field empty.
// - The detail link is the first link of the description cell.
// - The detail page's first table is read when it has at least as many rows
//   as the row table (18; rows of tables nested in it count): the value cell
//   of district, stop, distance to it, bathroom, house type and telephone.
//   Otherwise, or without a table, nothing is written; a row without a value
//   cell leaves its field as it was.
class ClassicLayout final : public SiteLayout
{
public:
    QUrl StartPageUrl(const QString& site) const override;
    QUrl ListPageUrl(const QString& site, qint64 page) const override;
    qint64 AnnouncedTotal(const HtmlDocument& startPage) const override;
    QList<HtmlElement> ListingRows(const HtmlDocument& page) const override;
    RecordPtr ReadListingRow(const HtmlElement& row) const override;
    QUrl DetailLink(const HtmlElement& row) const override;
    void ReadDetailPage(const HtmlDocument& page, Record& listing) const override;
    const sitelayout::Tables& PageTables() const override;

    // The announced total from the text of the start page's body.
    static qint64 TotalInText(const QString& bodyText);
};
