// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

// What the files of the page parser share: the document's data, the arena
// gumbo allocates from, and the small tree helpers every walk uses.

#include "html/HtmlDocument.h"

#include <gumbo.h>

#include <QByteArray>
#include <QString>
#include <QUrl>

#include <cstddef>
#include <memory>
#include <vector>

namespace htmldoc {

// gumbo frees its tree recursively, which a page of a million nested tags would
// turn into a stack overflow. Every block gumbo allocates is therefore linked
// into a list owned by the document, and the document frees the list in one
// flat pass instead of calling gumbo_destroy_output.
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
    ~Arena();

    // gumbo's allocator and deallocator; userdata is the Arena.
    static void* allocate(void* userdata, size_t size);
    static void deallocate(void*, void* ptr);
};

struct Data
{
    QByteArray utf8; // gumbo's source positions point into it
    Arena arena;
    GumboOutput* output = nullptr;
    QUrl url;
    QUrl baseUrl;
    bool truncated = false; // the page's end was left out as too costly
};

using Node = GumboNode;

// Nodes looked at by the walks below, for tests and benchmarks that check the
// work stays in proportion to the page.
inline thread_local qint64 t_steps = 0;

inline void step()
{
    ++t_steps;
}

// gumbo aborts on an assertion for some markup inside <svg> and <math> (drawing
// elements named like table parts, CDATA sections in a table...). Those tags
// are renamed before parsing, so their content is read as plain HTML elements
// and never reaches gumbo's drawing rules; nameOf maps the names back, and
// the rendering rules (HtmlText.cpp) treat their content as a drawing or a formula.
inline constexpr const char* kSvgAlias = "vestrana-svg";
inline constexpr const char* kMathAlias = "vestrana-math";

inline bool isElement(const Node* n)
{
    return n && (n->type == GUMBO_NODE_ELEMENT || n->type == GUMBO_NODE_TEMPLATE);
}

inline bool isText(const Node* n)
{
    return n->type == GUMBO_NODE_TEXT || n->type == GUMBO_NODE_WHITESPACE || n->type == GUMBO_NODE_CDATA;
}

inline const GumboVector* childrenOf(const Node* n)
{
    if (n->type == GUMBO_NODE_DOCUMENT) return &n->v.document.children;
    if (isElement(n)) return &n->v.element.children;
    return nullptr;
}

inline const Node* childAt(const GumboVector* v, unsigned i)
{
    return static_cast<const Node*>(v->data[i]);
}

inline const Node* previousSibling(const Node* n)
{
    if (!n->parent || n->index_within_parent == 0) return nullptr;
    return childAt(childrenOf(n->parent), unsigned(n->index_within_parent - 1));
}

inline const Node* nextSibling(const Node* n)
{
    if (!n->parent) return nullptr;
    const GumboVector* v = childrenOf(n->parent);
    const size_t i = n->index_within_parent + 1;
    return i < v->length ? childAt(v, unsigned(i)) : nullptr;
}

inline GumboTag tagOf(const Node* n)
{
    return n->v.element.tag;
}

// The tag name in lower case; drawings and formulas under their own names.
QString nameOf(const Node* n);

inline const GumboAttribute* findAttribute(const Node* n, const QByteArray& name)
{
    return gumbo_get_attribute(&n->v.element.attributes, name.constData());
}

inline bool hasAttr(const Node* n, const char* name)
{
    return gumbo_get_attribute(&n->v.element.attributes, name) != nullptr;
}

inline QString attrValue(const Node* n, const char* name)
{
    const GumboAttribute* a = gumbo_get_attribute(&n->v.element.attributes, name);
    return a ? QString::fromUtf8(a->value) : QString();
}

inline QString textOf(const Node* n)
{
    return QString::fromUtf8(n->v.text.text);
}

// Calls visit on every node of `children` and below, in document order,
// without recursion (pages may nest deeply); visit returns whether to go into
// the node's children, which only an element or a template has.
template <typename F> void walkNodes(const GumboVector* children, F&& visit)
{
    struct Frame
    {
        const GumboVector* v;
        unsigned i;
    };
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
        if (visit(c) && c->v.element.children.length > 0) stack.push_back({&c->v.element.children, 0});
    }
}

// Calls f on every element below root (root itself excluded) in document
// order. Template contents stay out, as in the DOM.
template <typename F> void forEachDescendant(const Node* root, F&& f)
{
    if (root->type == GUMBO_NODE_TEMPLATE) return;
    walkNodes(childrenOf(root), [&](const Node* c) {
        if (!isElement(c)) return false;
        f(c);
        return c->type == GUMBO_NODE_ELEMENT;
    });
}

// The DOM textContent of a node.
QString textContentOf(const Node* root);

// The DOM innerText of a node (HtmlText.cpp).
QString innerTextOf(const Node* root);

// A link resolved against `base` (HtmlLinks.cpp).
QUrl resolveLink(const QUrl& base, const QString& href);

// The address links resolve against: the first <base href>, when it gives a
// usable absolute address, else `url` (HtmlLinks.cpp).
QUrl documentBase(const HtmlDocument& doc, const QUrl& url);

// gumbo's parse of UTF-8 text, every block in the document's arena (HtmlArena.cpp).
std::unique_ptr<Data> parseUtf8(QByteArray utf8);

// The page parsed with the guards gumbo needs: drawings renamed, nesting
// limited, text before a form's end tag placed first (HtmlGuard.cpp).
std::unique_ptr<Data> parseGuarded(const QString& html);

} // namespace htmldoc
