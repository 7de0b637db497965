// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include <QList>
#include <QString>
#include <QStringView>
#include <QUrl>

#include <memory>

struct GumboInternalNode;
namespace htmldoc {
struct Data;
}

// A web page parsed the way a browser parses it (HTML5 rules, so broken markup
// gets the same tree a browser would build), behind the few DOM calls the page
// reader needs.

class HtmlDocument;

// A cheap handle to one element. It points into its document and stays valid
// while that HtmlDocument lives (moving the document keeps it valid).
class HtmlElement
{
public:
    HtmlElement() = default;

    bool isNull() const { return m_node == nullptr; }
    // Lower case, e.g. "td".
    QString tagName() const;
    // Elements below this one at any depth, in document order, whose tag name
    // matches case-insensitively ("*" matches all), like getElementsByTagName.
    QList<HtmlElement> descendants(QStringView tag) const;
    // For every element descendants(tag) lists, in the same order, how many
    // elements below it descendants(counted) would list; one walk over the
    // subtree, however deeply the listed elements nest.
    QList<qsizetype> descendantCounts(QStringView tag, QStringView counted) const;
    // Element children only, in order.
    QList<HtmlElement> children() const;
    HtmlElement parent() const;
    // The text a browser's innerText gives, with "\r\n" line ends: block
    // elements and <br> break lines, cells of a row are joined by tabs, white
    // space collapses as it does on screen, hidden content (script, style,
    // head, display:none ...) is left out. An element that is not shown at all
    // gives its raw text, as in a browser.
    QString innerText() const;
    // All text below the element as the markup holds it (DOM textContent).
    QString textContent() const;
    bool hasAttribute(QStringView name) const;
    // The attribute's value with entities decoded; a null string when absent.
    QString attribute(QStringView name) const;
    // The href attribute resolved against the document's base address, fully
    // encoded ("http://host/a%20b"); empty when the element has no href.
    QString href() const;

    bool operator==(const HtmlElement& other) const { return m_node == other.m_node; }

private:
    friend class HtmlDocument;
    HtmlElement(const htmldoc::Data* doc, const GumboInternalNode* node) : m_doc(doc), m_node(node) {}

    const htmldoc::Data* m_doc = nullptr;
    const GumboInternalNode* m_node = nullptr;
};

// Owns a parsed page. Move-only: elements point into it.
class HtmlDocument
{
public:
    HtmlDocument();
    ~HtmlDocument();
    HtmlDocument(HtmlDocument&&) noexcept;
    HtmlDocument& operator=(HtmlDocument&&) noexcept;
    HtmlDocument(const HtmlDocument&) = delete;
    HtmlDocument& operator=(const HtmlDocument&) = delete;

    // Never fails: any text, however broken, gives a tree (html, head and body
    // always exist). url is the page's address; links resolve against it, or
    // against the page's own <base href> when it has one.
    static HtmlDocument parse(const QString& html, const QUrl& url);

    // False only for a default-constructed or moved-from document.
    bool isNull() const { return !d; }
    HtmlElement documentElement() const;
    // The <body> (or <frameset>) element.
    HtmlElement body() const;
    QList<HtmlElement> descendants(QStringView tag) const;
    QList<qsizetype> descendantCounts(QStringView tag, QStringView counted) const;
    // The address relative links resolve against: the page's <base href> when
    // it has a usable one, else the address given to parse().
    QUrl baseUrl() const;
    // The address given to parse().
    QUrl url() const;
    // True when the page was too costly to read whole (hundreds of thousands
    // of elements, or tags that would make the parser search deep): its end
    // was left out.
    bool truncated() const;

    // The nodes the calls on documents of this thread have looked at so far
    // (walks down, along and up the tree): tests and benchmarks check that
    // the work stays in proportion to the page.
    static qint64 walkSteps();

private:
    std::unique_ptr<htmldoc::Data> d;
};
