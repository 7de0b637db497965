// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "html/HtmlInternal.h"

#include <cstring>
#include <optional>
#include <vector>

namespace htmldoc {

namespace {

// The names of elements HTML does not know that the text rules look at.
enum class Unknown { Other, Svg, Math, Dialog, Search, Text, HiddenPart };

// What an element gumbo does not know is, from its name as written, without
// allocating: the text rules ask this of every such element.
Unknown unknownKind(const Node* n)
{
    GumboStringPiece piece = n->v.element.original_tag;
    if (!piece.data || piece.length == 0) return Unknown::Other;
    gumbo_tag_from_original_text(&piece);
    const auto is = [&](const char* lower) {
        const size_t len = std::strlen(lower);
        return piece.length == len && qstrnicmp(piece.data, lower, len) == 0;
    };
    if (is(kSvgAlias)) return Unknown::Svg;
    if (is(kMathAlias)) return Unknown::Math;
    if (is("dialog")) return Unknown::Dialog;
    if (is("search")) return Unknown::Search;
    if (is("text")) return Unknown::Text;
    if (is("lineargradient") || is("radialgradient") || is("filter") || is("metadata"))
        return Unknown::HiddenPart;
    return Unknown::Other;
}

// ---- Rendering model for innerText -------------------------------------------
// There is no style engine: each element gets the box the browser's default
// style sheet gives its tag, adjusted by its own style attribute and the hidden
// attribute.

enum class Box {
    None, // not rendered, nor anything inside
    Inline,
    Replaced,    // an image, field or frame: takes room on the line, gives no text
    InlineBlock, // sits on the line like a replaced element, but shows its text
    Block,
    Paragraph, // a block that keeps a blank line around itself
    Table,
    RowGroup,
    Row,
    Cell,
    Caption,
};

enum class Ws { Collapse, PreLine, Pre };

enum class Drawing { None, Svg, Math };

// Where an element's children sit: in a drawing or a formula (which changes
// how elements HTML does not know are shown), and whether a text among them
// stands directly in a drawing, outside its <text> elements (and is not
// drawn). Worked out top-down, one element at a time, so that no element has
// to look at all that encloses it.
struct Context
{
    Drawing drawing = Drawing::None;
    bool bareInDrawing = false;
};

// The context of e's children, given the one e sits in.
Context insideOf(const Node* e, Context outside)
{
    if (!isElement(e)) return outside;
    Context c = outside;
    const GumboTag t = tagOf(e);
    const Unknown kind = t == GUMBO_TAG_UNKNOWN ? unknownKind(e) : Unknown::Other;
    if (t == GUMBO_TAG_FOREIGNOBJECT)
        c.drawing = Drawing::None;
    else if (t == GUMBO_TAG_MATH || kind == Unknown::Math)
        c.drawing = Drawing::Math;
    else if (kind == Unknown::Svg)
        c.drawing = Drawing::Svg;
    if (t == GUMBO_TAG_A && outside.drawing == Drawing::Svg)
        ; // a link in a drawing is no text of its own
    else if (t != GUMBO_TAG_UNKNOWN || kind == Unknown::Text)
        c.bareInDrawing = false; // an HTML element, a formula part, a drawing's HTML content or its text
    else if (kind == Unknown::Svg)
        c.bareInDrawing = true;
    return c;
}

// The contexts that n and its ancestors sit in: [0] for n, [1] for its
// parent and so on, up to the top element. One walk up, once per call.
std::vector<Context> contextChain(const Node* n)
{
    std::vector<const Node*> up;
    for (const Node* e = n; isElement(e); e = e->parent) {
        step();
        up.push_back(e);
    }
    std::vector<Context> chain(up.size());
    Context c;
    for (size_t i = up.size(); i-- > 0;) {
        chain[i] = c;
        c = insideOf(up[i], c);
    }
    return chain;
}

Box unknownBox(const Node* n, Drawing in)
{
    const Unknown kind = unknownKind(n);
    if (kind == Unknown::Svg) return Box::InlineBlock;
    if (kind == Unknown::Math) return Box::Block;
    if (kind == Unknown::Dialog) return hasAttr(n, "open") ? Box::Block : Box::None;
    if (kind == Unknown::Search) return Box::Block;
    switch (in) {
    case Drawing::Math:
        return Box::Block;
    case Drawing::Svg:
        // A drawing shows the text of its <text> elements, each as a block.
        // Shapes stay transparent: a text may sit inside one.
        if (kind == Unknown::Text) return Box::Block;
        if (kind == Unknown::HiddenPart) return Box::None;
        return Box::Inline;
    case Drawing::None:
        break;
    }
    return Box::Inline;
}

Box defaultBox(const Node* n, Drawing in)
{
    if (n->type == GUMBO_NODE_TEMPLATE) return Box::None;
    const GumboElement& e = n->v.element;
    if (e.tag == GUMBO_TAG_UNKNOWN) return unknownBox(n, in);
    switch (e.tag) {
    case GUMBO_TAG_HEAD:
    case GUMBO_TAG_TITLE:
    case GUMBO_TAG_BASE:
    case GUMBO_TAG_LINK:
    case GUMBO_TAG_META:
    case GUMBO_TAG_STYLE:
    case GUMBO_TAG_SCRIPT:
    case GUMBO_TAG_NOSCRIPT:
    case GUMBO_TAG_TEMPLATE:
    case GUMBO_TAG_PARAM:
    case GUMBO_TAG_SOURCE:
    case GUMBO_TAG_TRACK:
    case GUMBO_TAG_AREA:
    case GUMBO_TAG_RP:
    case GUMBO_TAG_DATALIST:
    case GUMBO_TAG_NOEMBED:
    case GUMBO_TAG_NOFRAMES:
    case GUMBO_TAG_COLGROUP:
    case GUMBO_TAG_COL:
    case GUMBO_TAG_BASEFONT:
    case GUMBO_TAG_BGSOUND:
    case GUMBO_TAG_NEXTID:
        return Box::None;
    case GUMBO_TAG_INPUT:
        return attrValue(n, "type").compare(QLatin1String("hidden"), Qt::CaseInsensitive) == 0
                   ? Box::None
                   : Box::Replaced;
    case GUMBO_TAG_AUDIO:
        return hasAttr(n, "controls") ? Box::Replaced : Box::None;
    case GUMBO_TAG_IMG:
    case GUMBO_TAG_IMAGE:
    case GUMBO_TAG_IFRAME:
    case GUMBO_TAG_EMBED:
    case GUMBO_TAG_APPLET:
    case GUMBO_TAG_VIDEO:
    case GUMBO_TAG_CANVAS:
    case GUMBO_TAG_TEXTAREA:
    case GUMBO_TAG_KEYGEN:
    case GUMBO_TAG_PROGRESS:
    case GUMBO_TAG_METER:
    case GUMBO_TAG_FRAME:
        return Box::Replaced;
    case GUMBO_TAG_BUTTON:
    case GUMBO_TAG_SELECT:
    case GUMBO_TAG_MARQUEE:
        return Box::InlineBlock;
    case GUMBO_TAG_P:
        return Box::Paragraph;
    case GUMBO_TAG_HTML:
    case GUMBO_TAG_BODY:
    case GUMBO_TAG_ARTICLE:
    case GUMBO_TAG_SECTION:
    case GUMBO_TAG_NAV:
    case GUMBO_TAG_ASIDE:
    case GUMBO_TAG_H1:
    case GUMBO_TAG_H2:
    case GUMBO_TAG_H3:
    case GUMBO_TAG_H4:
    case GUMBO_TAG_H5:
    case GUMBO_TAG_H6:
    case GUMBO_TAG_HGROUP:
    case GUMBO_TAG_HEADER:
    case GUMBO_TAG_FOOTER:
    case GUMBO_TAG_ADDRESS:
    case GUMBO_TAG_HR:
    case GUMBO_TAG_PRE:
    case GUMBO_TAG_BLOCKQUOTE:
    case GUMBO_TAG_OL:
    case GUMBO_TAG_UL:
    case GUMBO_TAG_LI:
    case GUMBO_TAG_DL:
    case GUMBO_TAG_DT:
    case GUMBO_TAG_DD:
    case GUMBO_TAG_FIGURE:
    case GUMBO_TAG_FIGCAPTION:
    case GUMBO_TAG_MAIN:
    case GUMBO_TAG_DIV:
    case GUMBO_TAG_FORM:
    case GUMBO_TAG_FIELDSET:
    case GUMBO_TAG_LEGEND:
    case GUMBO_TAG_OPTGROUP:
    case GUMBO_TAG_OPTION:
    case GUMBO_TAG_DETAILS:
    case GUMBO_TAG_SUMMARY:
    case GUMBO_TAG_MENU:
    case GUMBO_TAG_DIR:
    case GUMBO_TAG_FRAMESET:
    case GUMBO_TAG_LISTING:
    case GUMBO_TAG_XMP:
    case GUMBO_TAG_PLAINTEXT:
    case GUMBO_TAG_CENTER:
    case GUMBO_TAG_MULTICOL:
        return Box::Block;
    case GUMBO_TAG_FOREIGNOBJECT:
        return Box::Block;
    case GUMBO_TAG_DESC:
        return Box::None;
    case GUMBO_TAG_MATH:
    case GUMBO_TAG_MI:
    case GUMBO_TAG_MO:
    case GUMBO_TAG_MN:
    case GUMBO_TAG_MS:
    case GUMBO_TAG_MTEXT:
    case GUMBO_TAG_MGLYPH:
    case GUMBO_TAG_MALIGNMARK:
    case GUMBO_TAG_ANNOTATION_XML:
        return Box::Block; // the browser lays out each part of a formula as a block
    case GUMBO_TAG_TABLE:
        return Box::Table;
    case GUMBO_TAG_CAPTION:
        return Box::Caption;
    case GUMBO_TAG_THEAD:
    case GUMBO_TAG_TBODY:
    case GUMBO_TAG_TFOOT:
        return Box::RowGroup;
    case GUMBO_TAG_TR:
        return Box::Row;
    case GUMBO_TAG_TD:
    case GUMBO_TAG_TH:
        return Box::Cell;
    default:
        break;
    }
    return Box::Inline;
}

// The value of one property in a style attribute; the last declaration wins.
QString styleProperty(const Node* n, QLatin1String property)
{
    const GumboAttribute* a = gumbo_get_attribute(&n->v.element.attributes, "style");
    if (!a) return {};
    QString value;
    const QString style = QString::fromUtf8(a->value).toLower();
    for (QStringView decl : QStringView(style).split(u';')) {
        const qsizetype colon = decl.indexOf(u':');
        if (colon < 0 || decl.left(colon).trimmed() != property) continue;
        QStringView v = decl.mid(colon + 1).trimmed();
        if (v.endsWith(QLatin1String("!important"))) v = v.chopped(10).trimmed();
        value = v.toString();
    }
    return value;
}

std::optional<Box> styleBox(const QString& display)
{
    if (display.isEmpty()) return std::nullopt;
    if (display == QLatin1String("none")) return Box::None;
    if (display == QLatin1String("block") || display == QLatin1String("flow-root") ||
        display == QLatin1String("flex") || display == QLatin1String("grid") ||
        display == QLatin1String("list-item"))
        return Box::Block;
    if (display == QLatin1String("inline") || display == QLatin1String("contents")) return Box::Inline;
    if (display.startsWith(QLatin1String("inline-"))) return Box::InlineBlock;
    if (display == QLatin1String("table")) return Box::Table;
    if (display == QLatin1String("table-row")) return Box::Row;
    if (display == QLatin1String("table-cell")) return Box::Cell;
    if (display == QLatin1String("table-caption")) return Box::Caption;
    if (display.endsWith(QLatin1String("-group")) && display.startsWith(QLatin1String("table-")))
        return display.contains(QLatin1String("column")) ? Box::None : Box::RowGroup;
    if (display == QLatin1String("table-column")) return Box::None;
    return std::nullopt;
}

// A closed <details> shows only its first <summary>.
bool hiddenByDetails(const Node* n)
{
    const Node* p = n->parent;
    if (!isElement(p) || tagOf(p) != GUMBO_TAG_DETAILS || hasAttr(p, "open")) return false;
    if (!isElement(n) || tagOf(n) != GUMBO_TAG_SUMMARY) return true;
    for (const Node* s = previousSibling(n); s; s = previousSibling(s)) {
        if (isElement(s) && tagOf(s) == GUMBO_TAG_SUMMARY) return true;
    }
    return false;
}

// Text directly in a drawing, outside its <text> elements, is not drawn.
// `in` is the context the text sits in.
bool textShown(const Node* t, Context in)
{
    return !in.bareInDrawing && !hiddenByDetails(t);
}

// `in` is the context n sits in.
Box boxOf(const Node* n, Context in)
{
    if (n->type == GUMBO_NODE_TEMPLATE || hiddenByDetails(n)) return Box::None;
    const Box def = defaultBox(n, in.drawing);
    if (n->v.element.attributes.length == 0) return def;
    const std::optional<Box> styled = styleBox(styleProperty(n, QLatin1String("display")));
    if (styled) {
        // A replaced element keeps showing no text whatever its display.
        if (def == Box::Replaced && *styled != Box::None) return def;
        if (def == Box::Paragraph && *styled == Box::Block) return def;
        return *styled;
    }
    // hidden="until-found" stays searchable; the browser leaves it out of the text too.
    if (hasAttr(n, "hidden")) return Box::None;
    return def;
}

std::optional<Ws> ownWs(const Node* n)
{
    const QString ws =
        n->v.element.attributes.length ? styleProperty(n, QLatin1String("white-space")) : QString();
    if (ws == QLatin1String("pre") || ws == QLatin1String("pre-wrap") || ws == QLatin1String("break-spaces"))
        return Ws::Pre;
    if (ws == QLatin1String("pre-line")) return Ws::PreLine;
    if (ws == QLatin1String("normal") || ws == QLatin1String("nowrap")) return Ws::Collapse;
    switch (tagOf(n)) {
    case GUMBO_TAG_PRE:
    case GUMBO_TAG_LISTING:
    case GUMBO_TAG_XMP:
    case GUMBO_TAG_PLAINTEXT:
    case GUMBO_TAG_TEXTAREA:
        return Ws::Pre;
    default:
        return std::nullopt;
    }
}

std::optional<bool> ownVisibility(const Node* n)
{
    if (n->v.element.attributes.length == 0) return std::nullopt;
    const QString v = styleProperty(n, QLatin1String("visibility"));
    if (v == QLatin1String("hidden") || v == QLatin1String("collapse")) return false;
    if (v == QLatin1String("visible")) return true;
    return std::nullopt;
}

bool visibleOf(const Node* n)
{
    for (; isElement(n); n = n->parent) {
        step();
        if (std::optional<bool> v = ownVisibility(n)) return *v;
    }
    return true;
}

Ws wsOf(const Node* n)
{
    for (; isElement(n); n = n->parent) {
        step();
        if (std::optional<Ws> ws = ownWs(n)) return *ws;
    }
    return Ws::Collapse;
}

bool isCollapsible(QChar c, Ws ws)
{
    switch (c.unicode()) {
    case u' ':
    case u'\t':
    case u'\r':
        return ws != Ws::Pre;
    case u'\n':
        return ws == Ws::Collapse;
    default:
        return false;
    }
}

bool isBlockish(Box b)
{
    return b == Box::Block || b == Box::Paragraph || b == Box::Table || b == Box::RowGroup || b == Box::Row ||
           b == Box::Cell || b == Box::Caption;
}

// Options of a drop-down list get no boxes of their own, unlike those of a list box.
bool inDropDown(const Node* n)
{
    if (tagOf(n) != GUMBO_TAG_OPTION && tagOf(n) != GUMBO_TAG_OPTGROUP) return false;
    for (const Node* p = n->parent; isElement(p); p = p->parent) {
        step();
        if (tagOf(p) == GUMBO_TAG_SELECT)
            return !hasAttr(p, "multiple") && attrValue(p, "size").trimmed().toInt() <= 1;
    }
    return false;
}

bool isRendered(const Node* n)
{
    const std::vector<Context> chain = contextChain(n);
    size_t k = 0;
    for (const Node* e = n; isElement(e); e = e->parent, ++k) {
        if (inDropDown(e)) return false;
        const Box b = boxOf(e, chain[k]);
        if (b == Box::None || (b == Box::Replaced && e != n)) return false;
    }
    return true;
}

// Where a walk from an element through its neighbours stands: the context of
// the node it is at, kept as it steps down into elements and up out of them.
class ContextTrail
{
public:
    explicit ContextTrail(const Node* start) : m_chain(contextChain(start)) {}
    // The context the current node sits in.
    Context here() const { return m_down.empty() ? m_chain[m_level] : m_down.back(); }
    // Whether the current node's parent is an inline element.
    bool parentInline(const Node* cur) const
    {
        const Node* p = cur->parent;
        if (!isElement(p)) return false;
        Context in;
        if (m_down.size() >= 2)
            in = m_down[m_down.size() - 2];
        else if (m_down.size() == 1)
            in = m_chain[m_level];
        else if (m_level + 1 < m_chain.size())
            in = m_chain[m_level + 1];
        else
            return false;
        return boxOf(p, in) == Box::Inline;
    }
    void up()
    {
        if (!m_down.empty())
            m_down.pop_back();
        else
            ++m_level;
    }
    // Into a child of the element `cur`.
    void down(const Node* cur) { m_down.push_back(insideOf(cur, here())); }

private:
    std::vector<Context> m_chain;
    size_t m_level = 0;
    std::vector<Context> m_down;
};

// What the line looks like just before an inline element: whether it is at a
// line start (leading spaces vanish) and whether a collapsible space waits.
struct LineState
{
    bool atLineStart = true;
    bool pendingSpace = false;
};

LineState stateBefore(const Node* root)
{
    bool sawSpace = false;
    const Node* cur = root;
    ContextTrail trail(root);
    for (;;) {
        step();
        const Node* p = previousSibling(cur);
        if (!p) {
            if (!trail.parentInline(cur)) return {};
            cur = cur->parent;
            trail.up();
            continue;
        }
        cur = p;
        // Look at cur, stepping into inline elements from their end.
        for (;;) {
            step();
            if (isText(cur)) {
                if (!textShown(cur, trail.here())) break;
                const Ws ws = wsOf(cur->parent);
                const QString t = textOf(cur);
                for (qsizetype i = t.size() - 1; i >= 0; --i) {
                    if (isCollapsible(t[i], ws))
                        sawSpace = true;
                    else if (t[i] == u'\n')
                        return {};
                    else
                        return {false, sawSpace};
                }
                break;
            }
            if (!isElement(cur)) break;
            const Box b = boxOf(cur, trail.here());
            if (b == Box::None || tagOf(cur) == GUMBO_TAG_WBR) break;
            if (b == Box::Replaced || b == Box::InlineBlock) return {false, sawSpace};
            if (b != Box::Inline || tagOf(cur) == GUMBO_TAG_BR) return {};
            const GumboVector* v = childrenOf(cur);
            if (v->length == 0) break;
            trail.down(cur);
            cur = childAt(v, v->length - 1);
        }
    }
}

// Whether content follows an inline element on its line, so that a space
// waiting at its end shows.
bool contentAfter(const Node* root)
{
    const Node* cur = root;
    ContextTrail trail(root);
    for (;;) {
        step();
        const Node* n = nextSibling(cur);
        if (!n) {
            if (!trail.parentInline(cur)) return false;
            cur = cur->parent;
            trail.up();
            continue;
        }
        cur = n;
        for (;;) {
            step();
            if (isText(cur)) {
                if (!textShown(cur, trail.here())) break;
                const Ws ws = wsOf(cur->parent);
                for (QChar c : textOf(cur)) {
                    if (isCollapsible(c, ws)) continue;
                    return c != u'\n';
                }
                break;
            }
            if (!isElement(cur)) break;
            const Box b = boxOf(cur, trail.here());
            if (b == Box::None || tagOf(cur) == GUMBO_TAG_WBR) break;
            if (b == Box::Replaced || b == Box::InlineBlock) return true;
            if (b != Box::Inline || tagOf(cur) == GUMBO_TAG_BR) return false;
            const GumboVector* v = childrenOf(cur);
            if (v->length == 0) break;
            trail.down(cur);
            cur = childAt(v, 0);
        }
    }
}

// `in` is the context the group sits in.
bool rowGroupHasRow(const Node* group, Context in)
{
    const Context inside = insideOf(group, in);
    const GumboVector* v = childrenOf(group);
    for (unsigned i = 0; i < v->length; ++i) {
        step();
        const Node* c = childAt(v, i);
        if (isElement(c) && boxOf(c, inside) == Box::Row) return true;
    }
    return false;
}

// `in` is the context the row sits in, `groupIn` the one its parent sits in.
bool isLastRow(const Node* row, Context in, Context groupIn)
{
    for (const Node* s = nextSibling(row); s; s = nextSibling(s)) {
        step();
        if (isElement(s) && boxOf(s, in) == Box::Row) return false;
    }
    const Node* group = row->parent;
    if (!isElement(group) || boxOf(group, groupIn) != Box::RowGroup) return true;
    for (const Node* s = nextSibling(group); s; s = nextSibling(s)) {
        step();
        if (!isElement(s)) continue;
        const Box b = boxOf(s, groupIn);
        if (b == Box::Row || (b == Box::RowGroup && rowGroupHasRow(s, groupIn))) return false;
    }
    return true;
}

bool isLastCell(const Node* cell, Context in)
{
    for (const Node* s = nextSibling(cell); s; s = nextSibling(s)) {
        step();
        if (isElement(s) && boxOf(s, in) == Box::Cell) return false;
    }
    return true;
}

// Builds the text the way the browser's innerText does: strings interleaved
// with "required line breaks", where neighbouring breaks merge into the largest
// and breaks at either end vanish. Invisible content (visibility:hidden) still
// takes its room on the line, so it steers white space, but adds no text.
class InnerTextBuilder
{
public:
    explicit InnerTextBuilder(LineState s) : m_state(s) {}

    void text(const QString& t, Ws ws, bool visible)
    {
        for (QChar c : t) {
            if (isCollapsible(c, ws)) {
                if (!m_state.atLineStart && !m_state.pendingSpace) {
                    m_state.pendingSpace = true;
                    m_pendingVisible = visible;
                }
            } else if (c == u'\n') {
                lineBreak(visible);
            } else {
                flushSpace();
                if (visible) m_cur += c == u'\r' ? QChar(u' ') : c;
            }
        }
    }
    // A <br> or a kept line feed: ends the line, spaces around it vanish.
    void lineBreak(bool visible)
    {
        m_state = {};
        if (visible) m_cur += u'\n';
    }
    // An image or field: the line goes on, spaces around it stay.
    void atomic() { flushSpace(); }
    // The edge of a block: lines end and start here.
    void edge() { m_state = {}; }
    void requiredBreaks(int count)
    {
        flushString();
        m_items.push_back(-count);
    }
    void append(QChar c) { m_cur += c; }
    bool pendingSpace() const { return m_state.pendingSpace && m_pendingVisible; }
    void setNotAtLineStart() { m_state = {false, false}; }

    QString finish()
    {
        flushString();
        QString out;
        int run = 0;
        for (int item : m_items) {
            if (item < 0) {
                run = std::max(run, -item);
                continue;
            }
            if (!out.isEmpty()) out += QString(run, u'\n');
            run = 0;
            out += m_strings[size_t(item)];
        }
        out.replace(u'\n', QLatin1String("\r\n"));
        return out;
    }

private:
    void flushSpace()
    {
        if (m_state.pendingSpace && m_pendingVisible) m_cur += u' ';
        m_state = {false, false};
    }
    void flushString()
    {
        if (m_cur.isEmpty()) return;
        m_items.push_back(int(m_strings.size()));
        m_strings.push_back(m_cur);
        m_cur.clear();
    }

    LineState m_state;
    bool m_pendingVisible = true;
    QString m_cur;
    std::vector<QString> m_strings;
    std::vector<int> m_items; // >= 0: index into m_strings; < 0: line break count
};

int breaksAround(Box b)
{
    switch (b) {
    case Box::Paragraph:
        return 2;
    case Box::Block:
    case Box::Table:
    case Box::Caption:
        return 1;
    default:
        return 0;
    }
}

struct Frame
{
    const Node* node;
    Box box;
    Ws ws;
    bool visible;
    unsigned next;
    Context in;     // where the element sits
    Context inside; // where its children sit
};

void enterElement(InnerTextBuilder& out, Box b, bool visible)
{
    if (b == Box::InlineBlock) {
        out.atomic();
        out.edge();
    } else if (isBlockish(b)) {
        out.edge();
        if (const int count = breaksAround(b); count && visible) out.requiredBreaks(count);
    }
}

// `parent` is the frame of f's parent.
void leaveElement(InnerTextBuilder& out, const Frame& f, const Frame& parent)
{
    if (f.box == Box::InlineBlock) {
        out.setNotAtLineStart();
        return;
    }
    if (!isBlockish(f.box)) return;
    out.edge();
    if (!f.visible) return;
    if (f.box == Box::Row && !isLastRow(f.node, f.in, parent.in))
        out.append(u'\n');
    else if (f.box == Box::Cell && !isLastCell(f.node, f.in))
        out.append(u'\t');
    else if (const int count = breaksAround(f.box))
        out.requiredBreaks(count);
}

} // namespace

QString innerTextOf(const Node* root)
{
    if (!isRendered(root)) return textContentOf(root);
    const Context rootIn = contextChain(root).front();
    const Box rootBox = boxOf(root, rootIn);
    if (rootBox == Box::Replaced) return {};
    const bool inlineRoot = rootBox == Box::Inline;
    LineState start;
    if (inlineRoot) {
        // A space waiting just before the element shows outside it, so the
        // element's own leading spaces collapse into it.
        start = stateBefore(root);
        if (start.pendingSpace) start = {};
    }
    InnerTextBuilder out(start);

    std::vector<Frame> stack;
    stack.push_back({root, rootBox, wsOf(root), visibleOf(root), 0, rootIn, insideOf(root, rootIn)});
    while (!stack.empty()) {
        Frame& top = stack.back();
        const GumboVector* v = childrenOf(top.node);
        if (top.next >= v->length) {
            const Frame done = top;
            stack.pop_back();
            if (!stack.empty()) leaveElement(out, done, stack.back());
            continue;
        }
        const Node* c = childAt(v, top.next++);
        step();
        if (isText(c)) {
            if (textShown(c, top.inside)) out.text(textOf(c), top.ws, top.visible);
            continue;
        }
        if (!isElement(c)) continue;
        const Context in = top.inside;
        const Box b = boxOf(c, in);
        const bool visible = ownVisibility(c).value_or(top.visible);
        if (b == Box::None || (b == Box::Inline && tagOf(c) == GUMBO_TAG_WBR)) continue;
        if (b == Box::Replaced) {
            out.atomic();
            continue;
        }
        if (b == Box::Inline && tagOf(c) == GUMBO_TAG_BR) {
            out.lineBreak(visible);
            continue;
        }
        enterElement(out, b, visible);
        const Ws ws = ownWs(c).value_or(top.ws);
        stack.push_back({c, b, ws, visible, 0, in, insideOf(c, in)});
    }
    if (inlineRoot && out.pendingSpace() && contentAfter(root)) out.append(u' ');
    return out.finish();
}

} // namespace htmldoc
