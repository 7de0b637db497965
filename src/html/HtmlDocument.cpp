// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "html/HtmlDocument.h"

#include "html/HtmlInternal.h"

#include <vector>

// The page parser's files: HtmlArena (gumbo's allocations), HtmlGuard (the
// tag scan that keeps gumbo on safe ground), HtmlText (innerText) and
// HtmlLinks (addresses); this one holds the DOM calls.

namespace htmldoc {

QString nameOf(const Node* n)
{
    const GumboElement& e = n->v.element;
    if (e.tag != GUMBO_TAG_UNKNOWN) return QString::fromLatin1(gumbo_normalized_tagname(e.tag));
    GumboStringPiece piece = e.original_tag;
    if (!piece.data || piece.length == 0) return {};
    gumbo_tag_from_original_text(&piece);
    const QString name = QString::fromUtf8(piece.data, qsizetype(piece.length)).toLower();
    if (name == QLatin1String(kSvgAlias)) return QStringLiteral("svg");
    if (name == QLatin1String(kMathAlias)) return QStringLiteral("math");
    return name;
}

QString textContentOf(const Node* root)
{
    if (isText(root)) return textOf(root);
    QString out;
    if (root->type == GUMBO_NODE_TEMPLATE || !childrenOf(root)) return out;
    walkNodes(childrenOf(root), [&](const Node* c) {
        if (isText(c)) out += textOf(c);
        return c->type == GUMBO_NODE_ELEMENT;
    });
    return out;
}

} // namespace htmldoc

using namespace htmldoc;

// ---- HtmlElement -------------------------------------------------------------

QString HtmlElement::tagName() const
{
    return m_node ? nameOf(m_node) : QString();
}

namespace {

// Matches elements by tag name as getElementsByTagName does.
class TagMatch
{
public:
    explicit TagMatch(QStringView tag)
        : m_wanted(tag.toString().toLower()), m_all(m_wanted == QLatin1String("*")),
          m_tag(gumbo_tag_enum(m_wanted.toUtf8().constData())),
          // Drawings and formulas are renamed elements (see kSvgAlias) that gumbo does not know.
          m_byName(m_tag == GUMBO_TAG_UNKNOWN || m_tag == GUMBO_TAG_SVG || m_tag == GUMBO_TAG_MATH)
    {
    }
    bool operator()(const Node* n) const
    {
        if (m_all) return true;
        const GumboTag t = tagOf(n);
        return (m_tag != GUMBO_TAG_UNKNOWN && t == m_tag) ||
               (m_byName && t == GUMBO_TAG_UNKNOWN && !m_wanted.isEmpty() && nameOf(n) == m_wanted);
    }

private:
    QString m_wanted;
    bool m_all;
    GumboTag m_tag;
    bool m_byName;
};

// For every element below root that `listed` matches, in document order, the
// number of elements below it that `counted` matches: one walk, each element
// entered and left once.
QList<qsizetype> countsBelow(const Node* root, const TagMatch& listed, const TagMatch& counted)
{
    QList<qsizetype> counts;
    if (root->type == GUMBO_NODE_TEMPLATE) return counts;
    struct Open
    {
        const GumboVector* v;
        unsigned i;
        qsizetype slot; // in counts, or -1
        qsizetype seenAtEntry;
    };
    qsizetype seen = 0;
    std::vector<Open> stack;
    stack.push_back({childrenOf(root), 0, -1, 0});
    while (!stack.empty()) {
        Open& top = stack.back();
        if (top.i >= top.v->length) {
            if (top.slot >= 0) counts[top.slot] = seen - top.seenAtEntry;
            stack.pop_back();
            continue;
        }
        const Node* c = childAt(top.v, top.i++);
        step();
        if (!isElement(c)) continue;
        qsizetype slot = -1;
        if (listed(c)) {
            slot = counts.size();
            counts.append(0);
        }
        if (counted(c)) ++seen;
        // Template contents stay out, as in the DOM.
        if (c->type == GUMBO_NODE_ELEMENT && c->v.element.children.length > 0)
            stack.push_back({&c->v.element.children, 0, slot, seen});
    }
    return counts;
}

} // namespace

QList<HtmlElement> HtmlElement::descendants(QStringView tag) const
{
    if (!m_node) return {};
    QList<HtmlElement> out;
    const TagMatch match(tag);
    forEachDescendant(m_node, [&](const Node* n) {
        if (match(n)) out.append(HtmlElement(m_doc, n));
    });
    return out;
}

QList<qsizetype> HtmlElement::descendantCounts(QStringView tag, QStringView counted) const
{
    if (!m_node) return {};
    return countsBelow(m_node, TagMatch(tag), TagMatch(counted));
}

QList<HtmlElement> HtmlElement::children() const
{
    QList<HtmlElement> out;
    if (!m_node || m_node->type == GUMBO_NODE_TEMPLATE) return out;
    const GumboVector* v = childrenOf(m_node);
    for (unsigned i = 0; i < v->length; ++i) {
        if (isElement(childAt(v, i))) out.append(HtmlElement(m_doc, childAt(v, i)));
    }
    return out;
}

HtmlElement HtmlElement::parent() const
{
    if (!m_node || !isElement(m_node->parent)) return {};
    return HtmlElement(m_doc, m_node->parent);
}

QString HtmlElement::innerText() const
{
    return m_node ? innerTextOf(m_node) : QString();
}

QString HtmlElement::textContent() const
{
    return m_node ? textContentOf(m_node) : QString();
}

bool HtmlElement::hasAttribute(QStringView name) const
{
    return m_node && findAttribute(m_node, name.toString().toLower().toUtf8());
}

QString HtmlElement::attribute(QStringView name) const
{
    if (!m_node) return {};
    const GumboAttribute* a = findAttribute(m_node, name.toString().toLower().toUtf8());
    return a ? QString::fromUtf8(a->value) : QString();
}

// ---- HtmlDocument ------------------------------------------------------------

HtmlDocument::HtmlDocument() = default;
HtmlDocument::~HtmlDocument() = default;
HtmlDocument::HtmlDocument(HtmlDocument&&) noexcept = default;
HtmlDocument& HtmlDocument::operator=(HtmlDocument&&) noexcept = default;

HtmlDocument HtmlDocument::parse(const QString& html, const QUrl& url)
{
    HtmlDocument doc;
    doc.d = parseGuarded(html);
    doc.d->url = url;
    doc.d->baseUrl = documentBase(doc, url);
    return doc;
}

HtmlElement HtmlDocument::documentElement() const
{
    if (!d) return {};
    const GumboVector* v = childrenOf(d->output->document);
    for (unsigned i = 0; i < v->length; ++i) {
        if (isElement(childAt(v, i))) return HtmlElement(d.get(), childAt(v, i));
    }
    return {};
}

HtmlElement HtmlDocument::body() const
{
    for (const HtmlElement& e : documentElement().children()) {
        const GumboTag t = tagOf(e.m_node);
        if (t == GUMBO_TAG_BODY || t == GUMBO_TAG_FRAMESET) return e;
    }
    return {};
}

QList<HtmlElement> HtmlDocument::descendants(QStringView tag) const
{
    if (!d) return {};
    return HtmlElement(d.get(), d->output->document).descendants(tag);
}

QList<qsizetype> HtmlDocument::descendantCounts(QStringView tag, QStringView counted) const
{
    if (!d) return {};
    return HtmlElement(d.get(), d->output->document).descendantCounts(tag, counted);
}

qint64 HtmlDocument::walkSteps()
{
    return t_steps;
}

QUrl HtmlDocument::baseUrl() const
{
    return d ? d->baseUrl : QUrl();
}

QUrl HtmlDocument::url() const
{
    return d ? d->url : QUrl();
}

bool HtmlDocument::truncated() const
{
    return d && d->truncated;
}
