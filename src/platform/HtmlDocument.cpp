#include "platform/HtmlDocument.h"

#include <gumbo.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <algorithm>
#include <array>
#include <optional>
#include <utility>
#include <vector>

// gumbo frees its tree recursively, which a page of a million nested tags would
// turn into a stack overflow. Every block gumbo allocates is therefore linked
// into a list owned by the document, and the document frees the list in one
// flat pass instead of calling gumbo_destroy_output.
namespace {

struct alignas(std::max_align_t) BlockHeader
{
    BlockHeader* prev;
    BlockHeader* next;
};

struct Arena
{
    BlockHeader head{&head, &head};

    Arena() = default;
    Arena(const Arena&) = delete;
    Arena& operator=(const Arena&) = delete;
    ~Arena()
    {
        BlockHeader* b = head.next;
        while (b != &head) {
            BlockHeader* next = b->next;
            std::free(b);
            b = next;
        }
    }

    static void* allocate(void* userdata, size_t size)
    {
        auto* arena = static_cast<Arena*>(userdata);
        auto* b = static_cast<BlockHeader*>(std::malloc(sizeof(BlockHeader) + size));
        if (!b)
            std::abort(); // gumbo cannot recover from a failed allocation
        b->prev = &arena->head;
        b->next = arena->head.next;
        arena->head.next->prev = b;
        arena->head.next = b;
        return b + 1;
    }

    static void deallocate(void*, void* ptr)
    {
        if (!ptr)
            return;
        BlockHeader* b = static_cast<BlockHeader*>(ptr) - 1;
        b->prev->next = b->next;
        b->next->prev = b->prev;
        std::free(b);
    }
};

} // namespace

namespace htmldoc {
struct Data
{
    QByteArray utf8; // gumbo's source positions point into it
    Arena arena;
    GumboOutput* output = nullptr;
    QUrl url;
    QUrl baseUrl;
};
} // namespace htmldoc

namespace {

using Node = GumboNode;

// Nodes looked at by the walks below, for tests and benchmarks that check the
// work stays in proportion to the page.
thread_local qint64 t_steps = 0;

inline void step()
{
    ++t_steps;
}

// gumbo aborts on an assertion for some markup inside <svg> and <math> (drawing
// elements named like table parts, CDATA sections in a table...). Those tags
// are renamed before parsing, so their content is read as plain HTML elements
// and never reaches gumbo's drawing rules; the names are mapped back here, and
// the rendering rules below treat their content as a drawing or a formula.
constexpr const char* kSvgAlias = "vestrana-svg";
constexpr const char* kMathAlias = "vestrana-math";

bool isElement(const Node* n)
{
    return n && (n->type == GUMBO_NODE_ELEMENT || n->type == GUMBO_NODE_TEMPLATE);
}

bool isText(const Node* n)
{
    return n->type == GUMBO_NODE_TEXT || n->type == GUMBO_NODE_WHITESPACE || n->type == GUMBO_NODE_CDATA;
}

const GumboVector* childrenOf(const Node* n)
{
    if (n->type == GUMBO_NODE_DOCUMENT)
        return &n->v.document.children;
    if (isElement(n))
        return &n->v.element.children;
    return nullptr;
}

const Node* childAt(const GumboVector* v, unsigned i)
{
    return static_cast<const Node*>(v->data[i]);
}

const Node* previousSibling(const Node* n)
{
    if (!n->parent || n->index_within_parent == 0)
        return nullptr;
    return childAt(childrenOf(n->parent), unsigned(n->index_within_parent - 1));
}

const Node* nextSibling(const Node* n)
{
    if (!n->parent)
        return nullptr;
    const GumboVector* v = childrenOf(n->parent);
    const size_t i = n->index_within_parent + 1;
    return i < v->length ? childAt(v, unsigned(i)) : nullptr;
}

GumboTag tagOf(const Node* n)
{
    return n->v.element.tag;
}

QString nameOf(const Node* n)
{
    const GumboElement& e = n->v.element;
    if (e.tag != GUMBO_TAG_UNKNOWN)
        return QString::fromLatin1(gumbo_normalized_tagname(e.tag));
    GumboStringPiece piece = e.original_tag;
    if (!piece.data || piece.length == 0)
        return {};
    gumbo_tag_from_original_text(&piece);
    const QString name = QString::fromUtf8(piece.data, qsizetype(piece.length)).toLower();
    if (name == QLatin1String(kSvgAlias))
        return QStringLiteral("svg");
    if (name == QLatin1String(kMathAlias))
        return QStringLiteral("math");
    return name;
}

// The names of elements HTML does not know that the text rules look at.
enum class Unknown { Other, Svg, Math, Dialog, Search, Text, HiddenPart };

// What an element gumbo does not know is, from its name as written, without
// allocating: the text rules ask this of every such element.
Unknown unknownKind(const Node* n)
{
    GumboStringPiece piece = n->v.element.original_tag;
    if (!piece.data || piece.length == 0)
        return Unknown::Other;
    gumbo_tag_from_original_text(&piece);
    const auto is = [&](const char* lower) {
        const size_t len = std::strlen(lower);
        return piece.length == len && qstrnicmp(piece.data, lower, len) == 0;
    };
    if (is(kSvgAlias))
        return Unknown::Svg;
    if (is(kMathAlias))
        return Unknown::Math;
    if (is("dialog"))
        return Unknown::Dialog;
    if (is("search"))
        return Unknown::Search;
    if (is("text"))
        return Unknown::Text;
    if (is("lineargradient") || is("radialgradient") || is("filter") || is("metadata"))
        return Unknown::HiddenPart;
    return Unknown::Other;
}

const GumboAttribute* findAttribute(const Node* n, const QByteArray& name)
{
    return gumbo_get_attribute(&n->v.element.attributes, name.constData());
}

bool hasAttr(const Node* n, const char* name)
{
    return gumbo_get_attribute(&n->v.element.attributes, name) != nullptr;
}

QString attrValue(const Node* n, const char* name)
{
    const GumboAttribute* a = gumbo_get_attribute(&n->v.element.attributes, name);
    return a ? QString::fromUtf8(a->value) : QString();
}

QString textOf(const Node* n)
{
    return QString::fromUtf8(n->v.text.text);
}

// Calls visit on every node of `children` and below, in document order,
// without recursion (pages may nest deeply); visit returns whether to go into
// the node's children, which only an element or a template has.
template<typename F>
void walkNodes(const GumboVector* children, F&& visit)
{
    struct Frame { const GumboVector* v; unsigned i; };
    std::vector<Frame> stack;
    stack.push_back({children, 0});
    while (!stack.empty()) {
        Frame& top = stack.back();
        if (top.i >= top.v->length) {
            stack.pop_back();
            continue;
        }
        const Node* c = childAt(top.v, top.i++);
        step();
        if (visit(c) && c->v.element.children.length > 0)
            stack.push_back({&c->v.element.children, 0});
    }
}

// Calls f on every element below root (root itself excluded) in document
// order. Template contents stay out, as in the DOM.
template<typename F>
void forEachDescendant(const Node* root, F&& f)
{
    if (root->type == GUMBO_NODE_TEMPLATE)
        return;
    walkNodes(childrenOf(root), [&](const Node* c) {
        if (!isElement(c))
            return false;
        f(c);
        return c->type == GUMBO_NODE_ELEMENT;
    });
}

QString textContentOf(const Node* root)
{
    if (isText(root))
        return textOf(root);
    QString out;
    if (root->type == GUMBO_NODE_TEMPLATE || !childrenOf(root))
        return out;
    walkNodes(childrenOf(root), [&](const Node* c) {
        if (isText(c))
            out += textOf(c);
        return c->type == GUMBO_NODE_ELEMENT;
    });
    return out;
}

// ---- Rendering model for innerText -------------------------------------------
// There is no style engine: each element gets the box the browser's default
// style sheet gives its tag, adjusted by its own style attribute and the hidden
// attribute.

enum class Box {
    None,        // not rendered, nor anything inside
    Inline,
    Replaced,    // an image, field or frame: takes room on the line, gives no text
    InlineBlock, // sits on the line like a replaced element, but shows its text
    Block,
    Paragraph,   // a block that keeps a blank line around itself
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
    if (!isElement(e))
        return outside;
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
    if (kind == Unknown::Svg)
        return Box::InlineBlock;
    if (kind == Unknown::Math)
        return Box::Block;
    if (kind == Unknown::Dialog)
        return hasAttr(n, "open") ? Box::Block : Box::None;
    if (kind == Unknown::Search)
        return Box::Block;
    switch (in) {
    case Drawing::Math:
        return Box::Block;
    case Drawing::Svg:
        // A drawing shows the text of its <text> elements, each as a block.
        // Shapes stay transparent: a text may sit inside one.
        if (kind == Unknown::Text)
            return Box::Block;
        if (kind == Unknown::HiddenPart)
            return Box::None;
        return Box::Inline;
    case Drawing::None:
        break;
    }
    return Box::Inline;
}

Box defaultBox(const Node* n, Drawing in)
{
    if (n->type == GUMBO_NODE_TEMPLATE)
        return Box::None;
    const GumboElement& e = n->v.element;
    if (e.tag == GUMBO_TAG_UNKNOWN)
        return unknownBox(n, in);
    switch (e.tag) {
    case GUMBO_TAG_HEAD: case GUMBO_TAG_TITLE: case GUMBO_TAG_BASE: case GUMBO_TAG_LINK:
    case GUMBO_TAG_META: case GUMBO_TAG_STYLE: case GUMBO_TAG_SCRIPT: case GUMBO_TAG_NOSCRIPT:
    case GUMBO_TAG_TEMPLATE: case GUMBO_TAG_PARAM: case GUMBO_TAG_SOURCE: case GUMBO_TAG_TRACK:
    case GUMBO_TAG_AREA: case GUMBO_TAG_RP: case GUMBO_TAG_DATALIST: case GUMBO_TAG_NOEMBED:
    case GUMBO_TAG_NOFRAMES: case GUMBO_TAG_COLGROUP: case GUMBO_TAG_COL: case GUMBO_TAG_BASEFONT:
    case GUMBO_TAG_BGSOUND: case GUMBO_TAG_NEXTID:
        return Box::None;
    case GUMBO_TAG_INPUT:
        return attrValue(n, "type").compare(QLatin1String("hidden"), Qt::CaseInsensitive) == 0
                   ? Box::None : Box::Replaced;
    case GUMBO_TAG_AUDIO:
        return hasAttr(n, "controls") ? Box::Replaced : Box::None;
    case GUMBO_TAG_IMG: case GUMBO_TAG_IMAGE: case GUMBO_TAG_IFRAME: case GUMBO_TAG_EMBED:
    case GUMBO_TAG_APPLET: case GUMBO_TAG_VIDEO: case GUMBO_TAG_CANVAS:
    case GUMBO_TAG_TEXTAREA: case GUMBO_TAG_KEYGEN: case GUMBO_TAG_PROGRESS: case GUMBO_TAG_METER:
    case GUMBO_TAG_FRAME:
        return Box::Replaced;
    case GUMBO_TAG_BUTTON: case GUMBO_TAG_SELECT: case GUMBO_TAG_MARQUEE:
        return Box::InlineBlock;
    case GUMBO_TAG_P:
        return Box::Paragraph;
    case GUMBO_TAG_HTML: case GUMBO_TAG_BODY: case GUMBO_TAG_ARTICLE: case GUMBO_TAG_SECTION:
    case GUMBO_TAG_NAV: case GUMBO_TAG_ASIDE: case GUMBO_TAG_H1: case GUMBO_TAG_H2: case GUMBO_TAG_H3:
    case GUMBO_TAG_H4: case GUMBO_TAG_H5: case GUMBO_TAG_H6: case GUMBO_TAG_HGROUP: case GUMBO_TAG_HEADER:
    case GUMBO_TAG_FOOTER: case GUMBO_TAG_ADDRESS: case GUMBO_TAG_HR: case GUMBO_TAG_PRE:
    case GUMBO_TAG_BLOCKQUOTE: case GUMBO_TAG_OL: case GUMBO_TAG_UL: case GUMBO_TAG_LI: case GUMBO_TAG_DL:
    case GUMBO_TAG_DT: case GUMBO_TAG_DD: case GUMBO_TAG_FIGURE: case GUMBO_TAG_FIGCAPTION:
    case GUMBO_TAG_MAIN: case GUMBO_TAG_DIV: case GUMBO_TAG_FORM: case GUMBO_TAG_FIELDSET:
    case GUMBO_TAG_LEGEND: case GUMBO_TAG_OPTGROUP: case GUMBO_TAG_OPTION: case GUMBO_TAG_DETAILS:
    case GUMBO_TAG_SUMMARY: case GUMBO_TAG_MENU: case GUMBO_TAG_DIR: case GUMBO_TAG_FRAMESET:
    case GUMBO_TAG_LISTING: case GUMBO_TAG_XMP: case GUMBO_TAG_PLAINTEXT: case GUMBO_TAG_CENTER:
    case GUMBO_TAG_MULTICOL:
        return Box::Block;
    case GUMBO_TAG_FOREIGNOBJECT:
        return Box::Block;
    case GUMBO_TAG_DESC:
        return Box::None;
    case GUMBO_TAG_MATH: case GUMBO_TAG_MI: case GUMBO_TAG_MO: case GUMBO_TAG_MN: case GUMBO_TAG_MS:
    case GUMBO_TAG_MTEXT: case GUMBO_TAG_MGLYPH: case GUMBO_TAG_MALIGNMARK: case GUMBO_TAG_ANNOTATION_XML:
        return Box::Block; // the browser lays out each part of a formula as a block
    case GUMBO_TAG_TABLE:
        return Box::Table;
    case GUMBO_TAG_CAPTION:
        return Box::Caption;
    case GUMBO_TAG_THEAD: case GUMBO_TAG_TBODY: case GUMBO_TAG_TFOOT:
        return Box::RowGroup;
    case GUMBO_TAG_TR:
        return Box::Row;
    case GUMBO_TAG_TD: case GUMBO_TAG_TH:
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
    if (!a)
        return {};
    QString value;
    const QString style = QString::fromUtf8(a->value).toLower();
    for (QStringView decl : QStringView(style).split(u';')) {
        const qsizetype colon = decl.indexOf(u':');
        if (colon < 0 || decl.left(colon).trimmed() != property)
            continue;
        QStringView v = decl.mid(colon + 1).trimmed();
        if (v.endsWith(QLatin1String("!important")))
            v = v.chopped(10).trimmed();
        value = v.toString();
    }
    return value;
}

std::optional<Box> styleBox(const QString& display)
{
    if (display.isEmpty())
        return std::nullopt;
    if (display == QLatin1String("none"))
        return Box::None;
    if (display == QLatin1String("block") || display == QLatin1String("flow-root") || display == QLatin1String("flex")
        || display == QLatin1String("grid") || display == QLatin1String("list-item"))
        return Box::Block;
    if (display == QLatin1String("inline") || display == QLatin1String("contents"))
        return Box::Inline;
    if (display.startsWith(QLatin1String("inline-")))
        return Box::InlineBlock;
    if (display == QLatin1String("table"))
        return Box::Table;
    if (display == QLatin1String("table-row"))
        return Box::Row;
    if (display == QLatin1String("table-cell"))
        return Box::Cell;
    if (display == QLatin1String("table-caption"))
        return Box::Caption;
    if (display.endsWith(QLatin1String("-group")) && display.startsWith(QLatin1String("table-")))
        return display.contains(QLatin1String("column")) ? Box::None : Box::RowGroup;
    if (display == QLatin1String("table-column"))
        return Box::None;
    return std::nullopt;
}

// A closed <details> shows only its first <summary>.
bool hiddenByDetails(const Node* n)
{
    const Node* p = n->parent;
    if (!isElement(p) || tagOf(p) != GUMBO_TAG_DETAILS || hasAttr(p, "open"))
        return false;
    if (!isElement(n) || tagOf(n) != GUMBO_TAG_SUMMARY)
        return true;
    for (const Node* s = previousSibling(n); s; s = previousSibling(s)) {
        if (isElement(s) && tagOf(s) == GUMBO_TAG_SUMMARY)
            return true;
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
    if (n->type == GUMBO_NODE_TEMPLATE || hiddenByDetails(n))
        return Box::None;
    const Box def = defaultBox(n, in.drawing);
    if (n->v.element.attributes.length == 0)
        return def;
    const std::optional<Box> styled = styleBox(styleProperty(n, QLatin1String("display")));
    if (styled) {
        // A replaced element keeps showing no text whatever its display.
        if (def == Box::Replaced && *styled != Box::None)
            return def;
        if (def == Box::Paragraph && *styled == Box::Block)
            return def;
        return *styled;
    }
    // hidden="until-found" stays searchable; the browser leaves it out of the text too.
    if (hasAttr(n, "hidden"))
        return Box::None;
    return def;
}

std::optional<Ws> ownWs(const Node* n)
{
    const QString ws = n->v.element.attributes.length ? styleProperty(n, QLatin1String("white-space")) : QString();
    if (ws == QLatin1String("pre") || ws == QLatin1String("pre-wrap") || ws == QLatin1String("break-spaces"))
        return Ws::Pre;
    if (ws == QLatin1String("pre-line"))
        return Ws::PreLine;
    if (ws == QLatin1String("normal") || ws == QLatin1String("nowrap"))
        return Ws::Collapse;
    switch (tagOf(n)) {
    case GUMBO_TAG_PRE: case GUMBO_TAG_LISTING: case GUMBO_TAG_XMP: case GUMBO_TAG_PLAINTEXT:
    case GUMBO_TAG_TEXTAREA:
        return Ws::Pre;
    default:
        return std::nullopt;
    }
}

std::optional<bool> ownVisibility(const Node* n)
{
    if (n->v.element.attributes.length == 0)
        return std::nullopt;
    const QString v = styleProperty(n, QLatin1String("visibility"));
    if (v == QLatin1String("hidden") || v == QLatin1String("collapse"))
        return false;
    if (v == QLatin1String("visible"))
        return true;
    return std::nullopt;
}

bool visibleOf(const Node* n)
{
    for (; isElement(n); n = n->parent) {
        step();
        if (std::optional<bool> v = ownVisibility(n))
            return *v;
    }
    return true;
}

Ws wsOf(const Node* n)
{
    for (; isElement(n); n = n->parent) {
        step();
        if (std::optional<Ws> ws = ownWs(n))
            return *ws;
    }
    return Ws::Collapse;
}

bool isCollapsible(QChar c, Ws ws)
{
    switch (c.unicode()) {
    case u' ': case u'\t': case u'\r':
        return ws != Ws::Pre;
    case u'\n':
        return ws == Ws::Collapse;
    default:
        return false;
    }
}

bool isBlockish(Box b)
{
    return b == Box::Block || b == Box::Paragraph || b == Box::Table || b == Box::RowGroup || b == Box::Row
           || b == Box::Cell || b == Box::Caption;
}

// Options of a drop-down list get no boxes of their own, unlike those of a list box.
bool inDropDown(const Node* n)
{
    if (tagOf(n) != GUMBO_TAG_OPTION && tagOf(n) != GUMBO_TAG_OPTGROUP)
        return false;
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
        if (inDropDown(e))
            return false;
        const Box b = boxOf(e, chain[k]);
        if (b == Box::None || (b == Box::Replaced && e != n))
            return false;
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
        if (!isElement(p))
            return false;
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
            if (!trail.parentInline(cur))
                return {};
            cur = cur->parent;
            trail.up();
            continue;
        }
        cur = p;
        // Look at cur, stepping into inline elements from their end.
        for (;;) {
            step();
            if (isText(cur)) {
                if (!textShown(cur, trail.here()))
                    break;
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
            if (!isElement(cur))
                break;
            const Box b = boxOf(cur, trail.here());
            if (b == Box::None || tagOf(cur) == GUMBO_TAG_WBR)
                break;
            if (b == Box::Replaced || b == Box::InlineBlock)
                return {false, sawSpace};
            if (b != Box::Inline || tagOf(cur) == GUMBO_TAG_BR)
                return {};
            const GumboVector* v = childrenOf(cur);
            if (v->length == 0)
                break;
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
            if (!trail.parentInline(cur))
                return false;
            cur = cur->parent;
            trail.up();
            continue;
        }
        cur = n;
        for (;;) {
            step();
            if (isText(cur)) {
                if (!textShown(cur, trail.here()))
                    break;
                const Ws ws = wsOf(cur->parent);
                for (QChar c : textOf(cur)) {
                    if (isCollapsible(c, ws))
                        continue;
                    return c != u'\n';
                }
                break;
            }
            if (!isElement(cur))
                break;
            const Box b = boxOf(cur, trail.here());
            if (b == Box::None || tagOf(cur) == GUMBO_TAG_WBR)
                break;
            if (b == Box::Replaced || b == Box::InlineBlock)
                return true;
            if (b != Box::Inline || tagOf(cur) == GUMBO_TAG_BR)
                return false;
            const GumboVector* v = childrenOf(cur);
            if (v->length == 0)
                break;
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
        if (isElement(c) && boxOf(c, inside) == Box::Row)
            return true;
    }
    return false;
}

// `in` is the context the row sits in, `groupIn` the one its parent sits in.
bool isLastRow(const Node* row, Context in, Context groupIn)
{
    for (const Node* s = nextSibling(row); s; s = nextSibling(s)) {
        step();
        if (isElement(s) && boxOf(s, in) == Box::Row)
            return false;
    }
    const Node* group = row->parent;
    if (!isElement(group) || boxOf(group, groupIn) != Box::RowGroup)
        return true;
    for (const Node* s = nextSibling(group); s; s = nextSibling(s)) {
        step();
        if (!isElement(s))
            continue;
        const Box b = boxOf(s, groupIn);
        if (b == Box::Row || (b == Box::RowGroup && rowGroupHasRow(s, groupIn)))
            return false;
    }
    return true;
}

bool isLastCell(const Node* cell, Context in)
{
    for (const Node* s = nextSibling(cell); s; s = nextSibling(s)) {
        step();
        if (isElement(s) && boxOf(s, in) == Box::Cell)
            return false;
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
                if (visible)
                    m_cur += c == u'\r' ? QChar(u' ') : c;
            }
        }
    }
    // A <br> or a kept line feed: ends the line, spaces around it vanish.
    void lineBreak(bool visible)
    {
        m_state = {};
        if (visible)
            m_cur += u'\n';
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
            if (!out.isEmpty())
                out += QString(run, u'\n');
            run = 0;
            out += m_strings[size_t(item)];
        }
        out.replace(u'\n', QLatin1String("\r\n"));
        return out;
    }

private:
    void flushSpace()
    {
        if (m_state.pendingSpace && m_pendingVisible)
            m_cur += u' ';
        m_state = {false, false};
    }
    void flushString()
    {
        if (m_cur.isEmpty())
            return;
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
    case Box::Block: case Box::Table: case Box::Caption:
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
        if (const int count = breaksAround(b); count && visible)
            out.requiredBreaks(count);
    }
}

// `parent` is the frame of f's parent.
void leaveElement(InnerTextBuilder& out, const Frame& f, const Frame& parent)
{
    if (f.box == Box::InlineBlock) {
        out.setNotAtLineStart();
        return;
    }
    if (!isBlockish(f.box))
        return;
    out.edge();
    if (!f.visible)
        return;
    if (f.box == Box::Row && !isLastRow(f.node, f.in, parent.in))
        out.append(u'\n');
    else if (f.box == Box::Cell && !isLastCell(f.node, f.in))
        out.append(u'\t');
    else if (const int count = breaksAround(f.box))
        out.requiredBreaks(count);
}

QString innerTextOf(const Node* root)
{
    if (!isRendered(root))
        return textContentOf(root);
    const Context rootIn = contextChain(root).front();
    const Box rootBox = boxOf(root, rootIn);
    if (rootBox == Box::Replaced)
        return {};
    const bool inlineRoot = rootBox == Box::Inline;
    LineState start;
    if (inlineRoot) {
        // A space waiting just before the element shows outside it, so the
        // element's own leading spaces collapse into it.
        start = stateBefore(root);
        if (start.pendingSpace)
            start = {};
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
            if (!stack.empty())
                leaveElement(out, done, stack.back());
            continue;
        }
        const Node* c = childAt(v, top.next++);
        step();
        if (isText(c)) {
            if (textShown(c, top.inside))
                out.text(textOf(c), top.ws, top.visible);
            continue;
        }
        if (!isElement(c))
            continue;
        const Context in = top.inside;
        const Box b = boxOf(c, in);
        const bool visible = ownVisibility(c).value_or(top.visible);
        if (b == Box::None || (b == Box::Inline && tagOf(c) == GUMBO_TAG_WBR))
            continue;
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
    if (inlineRoot && out.pendingSpace() && contentAfter(root))
        out.append(u' ');
    return out.finish();
}

// Resolves a link as the browser's address parser does: surrounding blanks
// and control characters go, tabs and line feeds inside are dropped, web
// addresses take "\\" for "/", and "http:page.html" is relative.
QUrl resolveLink(const QUrl& base, const QString& href)
{
    qsizetype b = 0, e = href.size();
    while (b < e && href[b].unicode() <= 0x20)
        ++b;
    while (e > b && href[e - 1].unicode() <= 0x20)
        --e;
    QString s = href.mid(b, e - b);
    s.remove(u'\t');
    s.remove(u'\n');
    s.remove(u'\r');

    auto isWeb = [](const QString& scheme) {
        return scheme == QLatin1String("http") || scheme == QLatin1String("https");
    };
    QString scheme;
    for (qsizetype i = 0; i < s.size(); ++i) {
        const QChar c = s[i];
        if (c == u':' && i > 0) {
            scheme = s.left(i).toLower();
            break;
        }
        if (!(c.isLetter() && c.unicode() < 0x80) && !(i > 0 && ((c.isDigit() && c.unicode() < 0x80) || c == u'+' || c == u'-' || c == u'.')))
            break;
    }
    bool web = scheme.isEmpty() ? isWeb(base.scheme()) : isWeb(scheme);
    if (!scheme.isEmpty() && web && scheme == base.scheme()) {
        const QStringView rest = QStringView(s).mid(scheme.size() + 1);
        if (!rest.startsWith(u'/') && !rest.startsWith(u'\\'))
            s = rest.toString();
    }
    if (web) {
        qsizetype end = s.indexOf(u'?');
        const qsizetype hash = s.indexOf(u'#');
        if (end < 0 || (hash >= 0 && hash < end))
            end = hash;
        for (qsizetype i = 0; i < (end < 0 ? s.size() : end); ++i) {
            if (s[i] == u'\\')
                s[i] = u'/';
        }
    }
    QUrl url = base.resolved(QUrl(s));
    if ((url.port() == 80 && url.scheme() == QLatin1String("http"))
        || (url.port() == 443 && url.scheme() == QLatin1String("https")))
        url.setPort(-1);
    return url;
}

} // namespace

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
        if (m_all)
            return true;
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
    if (root->type == GUMBO_NODE_TEMPLATE)
        return counts;
    struct Open
    {
        const GumboVector* v;
        unsigned i;
        qsizetype slot;      // in counts, or -1
        qsizetype seenAtEntry;
    };
    qsizetype seen = 0;
    std::vector<Open> stack;
    stack.push_back({childrenOf(root), 0, -1, 0});
    while (!stack.empty()) {
        Open& top = stack.back();
        if (top.i >= top.v->length) {
            if (top.slot >= 0)
                counts[top.slot] = seen - top.seenAtEntry;
            stack.pop_back();
            continue;
        }
        const Node* c = childAt(top.v, top.i++);
        step();
        if (!isElement(c))
            continue;
        qsizetype slot = -1;
        if (listed(c)) {
            slot = counts.size();
            counts.append(0);
        }
        if (counted(c))
            ++seen;
        // Template contents stay out, as in the DOM.
        if (c->type == GUMBO_NODE_ELEMENT && c->v.element.children.length > 0)
            stack.push_back({&c->v.element.children, 0, slot, seen});
    }
    return counts;
}

} // namespace

QList<HtmlElement> HtmlElement::descendants(QStringView tag) const
{
    if (!m_node)
        return {};
    QList<HtmlElement> out;
    const TagMatch match(tag);
    forEachDescendant(m_node, [&](const Node* n) {
        if (match(n))
            out.append(HtmlElement(m_doc, n));
    });
    return out;
}

QList<qsizetype> HtmlElement::descendantCounts(QStringView tag, QStringView counted) const
{
    if (!m_node)
        return {};
    return countsBelow(m_node, TagMatch(tag), TagMatch(counted));
}

QList<HtmlElement> HtmlElement::children() const
{
    QList<HtmlElement> out;
    if (!m_node || m_node->type == GUMBO_NODE_TEMPLATE)
        return out;
    const GumboVector* v = childrenOf(m_node);
    for (unsigned i = 0; i < v->length; ++i) {
        if (isElement(childAt(v, i)))
            out.append(HtmlElement(m_doc, childAt(v, i)));
    }
    return out;
}

HtmlElement HtmlElement::parent() const
{
    if (!m_node || !isElement(m_node->parent))
        return {};
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
    if (!m_node)
        return {};
    const GumboAttribute* a = findAttribute(m_node, name.toString().toLower().toUtf8());
    return a ? QString::fromUtf8(a->value) : QString();
}

QString HtmlElement::href() const
{
    if (!m_node)
        return {};
    const GumboAttribute* a = findAttribute(m_node, QByteArrayLiteral("href"));
    if (!a)
        return {};
    return resolveLink(m_doc->baseUrl, QString::fromUtf8(a->value)).toString(QUrl::FullyEncoded);
}

// ---- HtmlDocument ------------------------------------------------------------

HtmlDocument::HtmlDocument() = default;
HtmlDocument::~HtmlDocument() = default;
HtmlDocument::HtmlDocument(HtmlDocument&&) noexcept = default;
HtmlDocument& HtmlDocument::operator=(HtmlDocument&&) noexcept = default;

namespace {

// Prepares a page for gumbo, changing nothing on ordinary pages:
// - <svg> and <math> tags get other names (see kSvgAlias), wherever they
//   stand, so that gumbo never enters its drawing rules. Inside a drawing,
//   shapes written as "<path/>" get an end tag, as plain HTML elements would
//   otherwise stay open.
// - gumbo checks "is there an X in scope" by walking its stack of open
//   elements, so a page of a million unclosed <div>s takes hours. Browsers stop
//   nesting at a few hundred levels; start tags that would sit deeper than the
//   limits below are dropped. A rough tag scan that follows the parser's
//   closing rules tells how deep a tag sits.
constexpr int kMaxRun = 512;    // elements above the nearest table cell, table or caption
constexpr int kMaxDepth = 4096; // elements in all

class SourcePrep
{
public:
    explicit SourcePrep(QByteArray src) : m_src(std::move(src)) {}

    QByteArray run()
    {
        renameDrawings();
        m_p = m_src.constData();
        m_n = m_src.size();
        qsizetype i = 0;
        while (i < m_n) {
            const char* lt = static_cast<const char*>(std::memchr(m_p + i, '<', size_t(m_n - i)));
            if (!lt) break;
            i = lt - m_p;
            if (i + 1 >= m_n) break;
            const char c = m_p[i + 1];
            if (c == '!') {
                if (startsWith(i, "<!--")) {
                    const qsizetype end = m_src.indexOf("-->", i + 4);
                    i = end < 0 ? m_n : end + 3;
                } else if (m_drawings > 0 && startsWith(i, "<![CDATA[")) {
                    // A drawing's CDATA section is text; as HTML it would be a comment.
                    const qsizetype close = m_src.indexOf("]]>", i + 9);
                    const qsizetype end = close < 0 ? m_n : close + 3;
                    QByteArray text = m_src.mid(i + 9, (close < 0 ? m_n : close) - i - 9);
                    m_edits.push_back({i, end - i, text.replace('&', "&amp;").replace('<', "&lt;")});
                    i = end;
                } else {
                    i = skipPast(i, '>');
                }
            } else if (c == '?') {
                i = skipPast(i, '>');
            } else if (c == '/' && i + 2 < m_n && isAlpha(m_p[i + 2])) {
                const qsizetype nameEnd = nameEndAt(i + 2);
                endTag(nameAt(i + 2, nameEnd));
                i = skipPast(nameEnd, '>');
            } else if (isAlpha(c)) {
                i = startTag(i);
            } else {
                ++i;
            }
        }
        if (m_edits.empty()) return std::move(m_src);
        QByteArray out;
        out.reserve(m_n + 1024);
        qsizetype from = 0;
        for (const Edit& e : m_edits) {
            out.append(m_p + from, e.at - from);
            out.append(e.insert);
            from = e.at + e.remove;
        }
        out.append(m_p + from, m_n - from);
        return out;
    }

private:
    // A tag name as it stands in the source. Names gumbo knows compare by
    // gumbo's number for them; only other names compare by their letters.
    // The scan looks at every tag of a page, so it must not allocate per tag.
    struct Name
    {
        GumboTag tag = GUMBO_TAG_UNKNOWN;
        QByteArrayView text;

        bool operator==(const Name& o) const
        {
            if (tag != o.tag) return false;
            return tag != GUMBO_TAG_UNKNOWN ||
                   (text.size() == o.text.size() &&
                    qstrnicmp(text.data(), o.text.data(), size_t(text.size())) == 0);
        }
        bool is(GumboTag t) const { return tag == t && t != GUMBO_TAG_UNKNOWN; }
        bool isIn(std::initializer_list<GumboTag> tags) const
        {
            return tag != GUMBO_TAG_UNKNOWN && std::find(tags.begin(), tags.end(), tag) != tags.end();
        }
        bool isDrawing() const
        {
            return tag == GUMBO_TAG_UNKNOWN && (equals(kSvgAlias) || equals(kMathAlias));
        }
        bool equals(const char* lower) const
        {
            const auto len = qsizetype(std::strlen(lower));
            return text.size() == len && qstrnicmp(text.data(), lower, size_t(len)) == 0;
        }
    };
    struct Open
    {
        Name name;
        int run; // elements from the nearest table cell, table or caption up to this one
        bool drawing;
    };
    struct Edit
    {
        qsizetype at;
        qsizetype remove;
        QByteArray insert;
    };

    static bool isAlpha(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
    static bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\f'; }
    static bool isMarker(const Name& n)
    {
        return n.isIn({GUMBO_TAG_TABLE, GUMBO_TAG_TD, GUMBO_TAG_TH, GUMBO_TAG_CAPTION, GUMBO_TAG_TEMPLATE,
                       GUMBO_TAG_OBJECT, GUMBO_TAG_MARQUEE, GUMBO_TAG_APPLET, GUMBO_TAG_BUTTON});
    }
    static bool isVoid(const Name& n)
    {
        return n.isIn({GUMBO_TAG_AREA, GUMBO_TAG_BASE, GUMBO_TAG_BR, GUMBO_TAG_COL, GUMBO_TAG_EMBED,
                       GUMBO_TAG_HR, GUMBO_TAG_IMG, GUMBO_TAG_INPUT, GUMBO_TAG_LINK, GUMBO_TAG_META,
                       GUMBO_TAG_PARAM, GUMBO_TAG_SOURCE, GUMBO_TAG_TRACK, GUMBO_TAG_WBR, GUMBO_TAG_KEYGEN,
                       GUMBO_TAG_BASEFONT, GUMBO_TAG_BGSOUND, GUMBO_TAG_FRAME, GUMBO_TAG_IMAGE});
    }

    // Renames every <svg> and <math> tag, even one that only stands in a
    // script, so that none can slip through.
    void renameDrawings()
    {
        QByteArray out;
        qsizetype from = 0;
        for (qsizetype at = m_src.indexOf('<'); at >= 0; at = m_src.indexOf('<', at + 1)) {
            const qsizetype nameAt = at + (at + 1 < m_src.size() && m_src[at + 1] == '/' ? 2 : 1);
            for (const auto& [name, alias] : {std::pair{"svg", kSvgAlias}, std::pair{"math", kMathAlias}}) {
                const qsizetype len = qsizetype(std::strlen(name));
                const qsizetype end = nameAt + len;
                if (end > m_src.size() || qstrnicmp(m_src.constData() + nameAt, name, size_t(len)) != 0)
                    continue;
                if (end < m_src.size() && !isSpace(m_src[end]) && m_src[end] != '/' && m_src[end] != '>')
                    continue;
                out.append(m_src.constData() + from, nameAt - from);
                out.append(alias);
                from = end;
            }
        }
        if (from == 0) return;
        out.append(m_src.constData() + from, m_src.size() - from);
        m_src = std::move(out);
    }

    bool startsWith(qsizetype i, const char* s) const
    {
        const qsizetype len = qsizetype(std::strlen(s));
        return i + len <= m_n && std::memcmp(m_p + i, s, size_t(len)) == 0;
    }
    qsizetype skipPast(qsizetype i, char c) const
    {
        const char* hit = static_cast<const char*>(std::memchr(m_p + i, c, size_t(m_n - i)));
        return hit ? hit - m_p + 1 : m_n;
    }
    qsizetype nameEndAt(qsizetype i) const
    {
        while (i < m_n && !isSpace(m_p[i]) && m_p[i] != '/' && m_p[i] != '>')
            ++i;
        return i;
    }
    Name nameAt(qsizetype b, qsizetype e) const
    {
        const QByteArrayView text(m_p + b, e - b);
        return {gumbo_tagn_enum(text.data(), unsigned(text.size())), text};
    }

    // Reads a start tag at i; returns the position after it (and after the
    // raw text of script-like elements).
    qsizetype startTag(qsizetype i)
    {
        const qsizetype nameEnd = nameEndAt(i + 1);
        const Name name = nameAt(i + 1, nameEnd);
        qsizetype j = nameEnd;
        bool selfClosing = false;
        while (j < m_n && m_p[j] != '>') {
            if (m_p[j] == '=') {
                ++j;
                while (j < m_n && isSpace(m_p[j]))
                    ++j;
                if (j < m_n && (m_p[j] == '"' || m_p[j] == '\'')) {
                    const char* q =
                        static_cast<const char*>(std::memchr(m_p + j + 1, m_p[j], size_t(m_n - j - 1)));
                    j = q ? q - m_p + 1 : m_n;
                }
                continue;
            }
            selfClosing = m_p[j] == '/';
            ++j;
        }
        const qsizetype end = j < m_n ? j + 1 : m_n;
        if (selfClosing && m_drawings > 0) {
            if (!isVoid(name)) m_edits.push_back({end, 0, "</" + name.text.toByteArray().toLower() + ">"});
            return end;
        }
        if (!open(name)) {
            m_edits.push_back({i, end - i, {}});
            return end;
        }
        // gumbo runs without scripting, so <noscript> holds markup.
        if (name.isIn({GUMBO_TAG_SCRIPT, GUMBO_TAG_STYLE, GUMBO_TAG_TEXTAREA, GUMBO_TAG_TITLE, GUMBO_TAG_XMP,
                       GUMBO_TAG_IFRAME, GUMBO_TAG_NOEMBED, GUMBO_TAG_NOFRAMES}))
            return skipRawText(end, name.text);
        if (name.is(GUMBO_TAG_PLAINTEXT)) return m_n;
        return end;
    }

    qsizetype skipRawText(qsizetype i, QByteArrayView name) const
    {
        for (qsizetype at = m_src.indexOf("</", i); at >= 0; at = m_src.indexOf("</", at + 2)) {
            if (at + 2 + name.size() <= m_n && qstrnicmp(m_p + at + 2, name.data(), size_t(name.size())) == 0)
                return at;
        }
        return m_n;
    }

    int find(const Name& name, std::initializer_list<GumboTag> stopAt) const
    {
        // Tags out of place (a cell with no table open, say) can pile up to
        // the depth limit; looking through all of them for every tag that
        // is not open at all would cost the page's length times that depth.
        if (name.tag != GUMBO_TAG_UNKNOWN && m_openCount[size_t(name.tag)] == 0) return -1;
        for (int k = int(m_stack.size()) - 1; k >= 0; --k) {
            step();
            if (m_stack[size_t(k)].name == name) return k;
            if (m_stack[size_t(k)].name.isIn(stopAt)) return -1;
        }
        return -1;
    }
    int find(GumboTag tag, std::initializer_list<GumboTag> stopAt) const
    {
        return find(Name{tag, {}}, stopAt);
    }
    void popTo(int k)
    {
        while (k >= 0 && int(m_stack.size()) > k) {
            if (m_stack.back().drawing) --m_drawings;
            --m_openCount[size_t(m_stack.back().name.tag)];
            m_stack.pop_back();
        }
    }
    void popAbove(std::initializer_list<GumboTag> tags)
    {
        int k = int(m_stack.size());
        while (k > 0 && !m_stack[size_t(k - 1)].name.isIn(tags))
            --k;
        popTo(k);
    }

    // Follows a start tag; false when it has to be dropped.
    bool open(const Name& name)
    {
        if (isVoid(name) || name.isIn({GUMBO_TAG_HTML, GUMBO_TAG_HEAD, GUMBO_TAG_BODY, GUMBO_TAG_P,
                                       GUMBO_TAG_DT, GUMBO_TAG_DD, GUMBO_TAG_OPTION, GUMBO_TAG_OPTGROUP,
                                       GUMBO_TAG_RB, GUMBO_TAG_RT, GUMBO_TAG_RP, GUMBO_TAG_RTC}))
            return true;
        if (name.is(GUMBO_TAG_LI)) {
            popAbove({GUMBO_TAG_UL, GUMBO_TAG_OL, GUMBO_TAG_MENU, GUMBO_TAG_DIR, GUMBO_TAG_TD, GUMBO_TAG_TH,
                      GUMBO_TAG_TABLE, GUMBO_TAG_CAPTION});
            return true;
        }
        if (name.isIn({GUMBO_TAG_TBODY, GUMBO_TAG_THEAD, GUMBO_TAG_TFOOT, GUMBO_TAG_COLGROUP})) {
            if (find(GUMBO_TAG_TABLE, {}) >= 0) popAbove({GUMBO_TAG_TABLE});
            return true;
        }
        if (name.isIn({GUMBO_TAG_TD, GUMBO_TAG_TH, GUMBO_TAG_TR})) {
            if (find(GUMBO_TAG_TABLE, {}) >= 0) {
                if (name.is(GUMBO_TAG_TR))
                    popAbove({GUMBO_TAG_TABLE});
                else
                    popAbove({GUMBO_TAG_TR, GUMBO_TAG_TABLE});
            }
        } else if (name.isIn({GUMBO_TAG_TABLE, GUMBO_TAG_CAPTION})) {
            // A table opened straight in a table (not in a cell) ends the one before.
            const int table = find(GUMBO_TAG_TABLE, {});
            if (table >= 0 && m_stack.back().name.isIn({GUMBO_TAG_TABLE, GUMBO_TAG_TR})) {
                if (name.is(GUMBO_TAG_TABLE))
                    popTo(table);
                else
                    popAbove({GUMBO_TAG_TABLE});
            }
        } else if (name.is(GUMBO_TAG_FORM)) {
            if (find(GUMBO_TAG_FORM, {}) >= 0) return true; // a nested form is ignored
        } else if (name.isIn({GUMBO_TAG_A, GUMBO_TAG_NOBR, GUMBO_TAG_BUTTON})) {
            popTo(find(name, {GUMBO_TAG_TD, GUMBO_TAG_TH, GUMBO_TAG_TABLE, GUMBO_TAG_CAPTION}));
        }
        const int run = isMarker(name) || m_stack.empty() ? 0 : m_stack.back().run + 1;
        if (run > kMaxRun || int(m_stack.size()) >= kMaxDepth) return false;
        const bool drawing = name.isDrawing();
        m_stack.push_back({name, run, drawing});
        ++m_openCount[size_t(name.tag)];
        if (drawing) ++m_drawings;
        return true;
    }

    void endTag(const Name& name)
    {
        if (name.isIn({GUMBO_TAG_TD, GUMBO_TAG_TH, GUMBO_TAG_TR, GUMBO_TAG_CAPTION}))
            popTo(find(name, {GUMBO_TAG_TABLE}));
        else if (name.is(GUMBO_TAG_TABLE))
            popTo(find(name, {}));
        else
            popTo(find(name, {GUMBO_TAG_TD, GUMBO_TAG_TH, GUMBO_TAG_TABLE, GUMBO_TAG_CAPTION,
                              GUMBO_TAG_TEMPLATE, GUMBO_TAG_OBJECT, GUMBO_TAG_MARQUEE, GUMBO_TAG_APPLET}));
    }

    QByteArray m_src;
    const char* m_p = nullptr;
    qsizetype m_n = 0;
    std::vector<Open> m_stack;
    std::array<int, GUMBO_TAG_LAST + 1> m_openCount{}; // elements on the stack by tag
    int m_drawings = 0; // drawings and formulas on the stack
    std::vector<Edit> m_edits;
};

std::unique_ptr<htmldoc::Data> parseUtf8(QByteArray utf8)
{
    auto d = std::make_unique<htmldoc::Data>();
    d->utf8 = std::move(utf8);
    GumboOptions options = kGumboDefaultOptions;
    options.allocator = &Arena::allocate;
    options.deallocator = &Arena::deallocate;
    options.userdata = &d->arena;
    options.max_errors = 0; // the error list is never read
    d->output = gumbo_parse_with_options(&options, d->utf8.constData(), size_t(d->utf8.size()));
    return d;
}

bool isRawTextParent(const Node* n)
{
    if (!isElement(n))
        return false;
    switch (tagOf(n)) {
    case GUMBO_TAG_SCRIPT: case GUMBO_TAG_STYLE: case GUMBO_TAG_TEXTAREA: case GUMBO_TAG_TITLE:
    case GUMBO_TAG_XMP: case GUMBO_TAG_IFRAME: case GUMBO_TAG_NOEMBED: case GUMBO_TAG_NOFRAMES:
    case GUMBO_TAG_PLAINTEXT:
        return true;
    default:
        return false;
    }
}

// gumbo closes a form without first placing the text that stands right before
// "</form>", so "<form>a<input>b</form>c" puts "b" after the form. Such text
// nodes span the end tag in the source; the byte offsets of those end tags are
// returned so that a second parse can end the text there.
std::vector<qsizetype> strandedFormEnds(const htmldoc::Data& d)
{
    std::vector<qsizetype> offsets;
    const char* base = d.utf8.constData();
    walkNodes(childrenOf(d.output->document), [&](const Node* c) {
        if (isElement(c))
            return true;
        if (!isText(c) || c->type == GUMBO_NODE_CDATA || isRawTextParent(c->parent))
            return false;
        const GumboStringPiece& raw = c->v.text.original_text;
        if (!raw.data || raw.length < 6)
            return false;
        const QByteArrayView text(raw.data, qsizetype(raw.length));
        for (qsizetype at = text.indexOf("</"); at >= 0; at = text.indexOf("</", at + 2)) {
            if (at + 6 <= text.size() && qstrnicmp(raw.data + at + 2, "form", 4) == 0)
                offsets.push_back(raw.data - base + at);
        }
        return false;
    });
    std::sort(offsets.begin(), offsets.end());
    return offsets;
}

} // namespace

HtmlDocument HtmlDocument::parse(const QString& html, const QUrl& url)
{
    HtmlDocument doc;
    doc.d = parseUtf8(SourcePrep(html.toUtf8()).run());
    if (const std::vector<qsizetype> ends = strandedFormEnds(*doc.d); !ends.empty()) {
        // A comment before each such end tag makes gumbo place the text first.
        const QByteArray& src = doc.d->utf8;
        QByteArray patched;
        patched.reserve(src.size() + qsizetype(ends.size()) * 7);
        qsizetype from = 0;
        for (qsizetype at : ends) {
            patched.append(src.constData() + from, at - from);
            patched.append("<!---->");
            from = at;
        }
        patched.append(src.constData() + from, src.size() - from);
        doc.d = parseUtf8(std::move(patched));
    }
    htmldoc::Data& d = *doc.d;
    d.url = url;
    d.baseUrl = url;

    // The first <base href> sets the address links resolve against.
    for (const HtmlElement& base : doc.descendants(u"base")) {
        if (!base.hasAttribute(u"href"))
            continue;
        const QUrl resolved = resolveLink(url, base.attribute(u"href"));
        if (resolved.isValid() && !resolved.isRelative())
            d.baseUrl = resolved;
        break;
    }
    return doc;
}

HtmlElement HtmlDocument::documentElement() const
{
    if (!d)
        return {};
    const GumboVector* v = childrenOf(d->output->document);
    for (unsigned i = 0; i < v->length; ++i) {
        if (isElement(childAt(v, i)))
            return HtmlElement(d.get(), childAt(v, i));
    }
    return {};
}

HtmlElement HtmlDocument::body() const
{
    for (const HtmlElement& e : documentElement().children()) {
        const GumboTag t = tagOf(e.m_node);
        if (t == GUMBO_TAG_BODY || t == GUMBO_TAG_FRAMESET)
            return e;
    }
    return {};
}

QList<HtmlElement> HtmlDocument::descendants(QStringView tag) const
{
    if (!d)
        return {};
    return HtmlElement(d.get(), d->output->document).descendants(tag);
}

QList<qsizetype> HtmlDocument::descendantCounts(QStringView tag, QStringView counted) const
{
    if (!d)
        return {};
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
