// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include "html/HtmlDocument.h"
#include "store/Fields.h"
#include "store/Record.h"

#include <QList>
#include <QString>
#include <QUrl>
#include <QtGlobal>

#include <array>
#include <memory>
#include <span>

// How a listing site lays out its pages, as one object: where its pages are,
// how the importer reads them, and the tables that say which cell and row
// holds which field. The importer calls nothing else of a site
// (ImportOptions::layout); the demo site writes its pages from the same
// tables, so that what is written and what is read cannot drift apart.
//
// Every cell text a layout stores is made fit for the database file first: a
// line break (a <br> in a description) becomes one space and "|" becomes "¦";
// nothing else of the text changes, surrounding blanks included.

namespace sitelayout {

// What a cell of a list row or a row of the detail page shows besides the
// listing's fields. The reader takes none of these; a site writing the
// layout fills them in.
enum class Shown { Fields, Photo, Number, Seller, Views };

// How the reader takes a cell's text into the fields it shows.
enum class Read {
    Nothing,     // the cell is not read
    Whole,       // the whole text goes into the first field
    SplitAtSlash // the first part into the first field; the others only when every part is there
};

// A cell of a list row: its caption in the head row, the fields its text
// joins with "/", how it is read, and whether it carries the detail link.
struct ListCell
{
    const char16_t* caption;
    std::array<field::Field, 3> fields;
    int fieldCount;
    Read read;
    Shown shown = Shown::Fields;
    bool detailLink = false;
};

// A row of the detail page: its label cell, and a value cell joining the
// fields with "/"; `read` rows fill their first field.
struct DetailRow
{
    const char16_t* label;
    std::array<field::Field, 3> fields;
    int fieldCount;
    bool read;
    Shown shown = Shown::Fields;
};

// Where the pages are, below the site's address. A list page's number and a
// listing's number on the site (from 1) follow their queries.
struct Addresses
{
    const char16_t* path;
    const char16_t* startQuery;
    const char16_t* listQuery;
    const char16_t* detailQuery;
    // The start page's phrase before the number of offers.
    const char16_t* totalPhrase;
};

struct Tables
{
    Addresses addresses;
    std::span<const ListCell> listCells;
    std::span<const DetailRow> detailRows;
};

} // namespace sitelayout

class SiteLayout
{
public:
    virtual ~SiteLayout() = default;

    // The pages of a run, formed from the site's address (SiteAddressFrom).
    virtual QUrl StartPageUrl(const QString& site) const = 0;
    virtual QUrl ListPageUrl(const QString& site, qint64 page) const = 0;
    // The number of offers the start page announces; 0 when it cannot be read.
    virtual qint64 AnnouncedTotal(const HtmlDocument& startPage) const = 0;

    // The listing rows of a list page, in document order.
    virtual QList<HtmlElement> ListingRows(const HtmlDocument& page) const = 0;
    // A new listing from a listing row; fields the row does not show stay empty.
    virtual RecordPtr ReadListingRow(const HtmlElement& row) const = 0;
    // The address of the row's detail page, resolved against the page; empty
    // when there is none, or it leads anywhere but an http or https address:
    // a page from the internet is not trusted to send us to a file or a script.
    virtual QUrl DetailLink(const HtmlElement& row) const = 0;
    // Fills the fields the detail page shows into the listing.
    virtual void ReadDetailPage(const HtmlDocument& page, Record& listing) const = 0;

    // The tables the pages are read by, for a site that writes them.
    virtual const sitelayout::Tables& PageTables() const = 0;
};

// The layout of the listing site the program was made for (ClassicLayout).
std::shared_ptr<const SiteLayout> DefaultSiteLayout();
