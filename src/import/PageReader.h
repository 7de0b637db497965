// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include "html/HtmlDocument.h"
#include "store/Record.h"

#include <QList>
#include <QUrl>

// The page reader of the importer: it knows how the listing site lays out its
// pages and turns them into listings. It loads nothing itself.
//
// Every cell text it stores is made fit for the database file first: a line
// break (a <br> in a description) becomes one space and "|" becomes "¦";
// nothing else of the text changes, surrounding blanks included.

// The listing rows of a list page in document order: every TR but the
// document's first one that has exactly 10 TD elements at any depth below it.
QList<HtmlElement> FindListingRows(const HtmlDocument& page);

// A new listing from the ten cells of a listing row: fields 14, 1, 2, 4, the
// areas 6, 7 and 8 (from the cell split at "/", 7 and 8 only with at least
// three parts), 15, 5 and 13. Every other field stays empty, and so does a field
// whose cell is missing.
RecordPtr ReadListingRow(const HtmlElement& row);

// The address the first link of the row's description cell leads to, resolved
// against the page. Empty when the cell holds no link or the link leads to
// anything but an http or https address: a page from the internet is not
// trusted to send us to a file or a script.
QUrl FindDetailLink(const HtmlElement& row);

// Fills fields 0, 9, 10, 11, 3 and 12 of the listing from the value cells of
// the detail page's first table, when that table has at least 18 rows (rows of
// tables nested in it count). Otherwise, or without a table, writes nothing; a
// row without a value cell leaves its field as it was.
void ReadDetailPage(const HtmlDocument& page, Record& listing);
