// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "html/HtmlInternal.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <initializer_list>
#include <utility>
#include <vector>

namespace htmldoc {

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
// - attributes of one tag past kMaxAttributes are dropped (below).
constexpr int kMaxRun = 512;    // elements above the nearest table cell, table or caption
constexpr int kMaxDepth = 4096; // elements in all
// gumbo compares each attribute of a tag with all before it (to drop repeated
// names), so a tag of a million attributes takes minutes. Those past this
// many are dropped, as no page needs them.
constexpr int kMaxAttributes = 256;
// A page of millions of tiny elements, or of end tags that each make gumbo
// look through hundreds of open elements, takes seconds and gigabytes, though
// under the page size cap. Past these bounds (nodes kept, and the rough work of
// the tags: end tags by the open elements below them, attributes by pairs) the
// rest of the page is left out; a real listing page stays far below both.
constexpr qint64 kMaxNodes = 150'000;
constexpr qint64 kMaxWork = 16'000'000;

class SourcePrep
{
public:
    explicit SourcePrep(QByteArray src) : m_src(std::move(src)) {}
    bool cut() const { return m_cut; }

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
            if (m_nodes >= kMaxNodes || m_work >= kMaxWork) {
                // The rest of the page would cost more than any page may: it is left out.
                m_edits.push_back({i, m_n - i, {}});
                m_cut = true;
                break;
            }
            if (c == '!' || c == '?') {
                ++m_nodes; // a comment, or markup gumbo keeps as one
                ++m_work;
            }
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
        int attributes = 0;
        qsizetype cutFrom = -1, cutTo = -1; // the attributes past kMaxAttributes
        while (j < m_n && m_p[j] != '>') {
            const char c = m_p[j];
            if (isSpace(c)) {
                ++j;
                continue;
            }
            if (c == '/') {
                selfClosing = j + 1 < m_n && m_p[j + 1] == '>';
                ++j;
                continue;
            }
            // An attribute: its name (which may begin with "="), then "=" and a value.
            const qsizetype start = j++;
            while (j < m_n && !isSpace(m_p[j]) && m_p[j] != '/' && m_p[j] != '>' && m_p[j] != '=')
                ++j;
            qsizetype k = j;
            while (k < m_n && isSpace(m_p[k]))
                ++k;
            if (k < m_n && m_p[k] == '=') {
                j = k + 1;
                while (j < m_n && isSpace(m_p[j]))
                    ++j;
                if (j < m_n && (m_p[j] == '"' || m_p[j] == '\'')) {
                    const char* q =
                        static_cast<const char*>(std::memchr(m_p + j + 1, m_p[j], size_t(m_n - j - 1)));
                    j = q ? q - m_p + 1 : m_n;
                } else {
                    while (j < m_n && !isSpace(m_p[j]) && m_p[j] != '>')
                        ++j;
                }
            }
            if (++attributes > kMaxAttributes) {
                if (cutFrom < 0) cutFrom = start;
                cutTo = j;
            }
        }
        const qsizetype end = j < m_n ? j + 1 : m_n;
        // gumbo compares each attribute with those before it.
        const qint64 kept = std::min(attributes, kMaxAttributes);
        m_work += 1 + kept * (kept - 1) / 2;
        const auto cutAttributes = [&] {
            if (cutFrom >= 0) m_edits.push_back({cutFrom, cutTo - cutFrom, {}});
        };
        if (selfClosing && m_drawings > 0) {
            cutAttributes();
            if (!isVoid(name)) m_edits.push_back({end, 0, "</" + name.text.toByteArray().toLower() + ">"});
            return end;
        }
        if (!open(name)) {
            m_edits.push_back({i, end - i, {}});
            return end;
        }
        ++m_nodes;
        cutAttributes();
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
        int k;
        if (name.isIn({GUMBO_TAG_TD, GUMBO_TAG_TH, GUMBO_TAG_TR, GUMBO_TAG_CAPTION}))
            k = find(name, {GUMBO_TAG_TABLE});
        else if (name.is(GUMBO_TAG_TABLE))
            k = find(name, {});
        else
            k = find(name, {GUMBO_TAG_TD, GUMBO_TAG_TH, GUMBO_TAG_TABLE, GUMBO_TAG_CAPTION,
                            GUMBO_TAG_TEMPLATE, GUMBO_TAG_OBJECT, GUMBO_TAG_MARQUEE, GUMBO_TAG_APPLET});
        // gumbo looks down its open elements for the one an end tag closes: down
        // to it, or for one that closes nothing, at most down to the run's start.
        m_work += 1 + (k >= 0 ? qint64(m_stack.size()) - k : m_stack.empty() ? 0 : m_stack.back().run);
        popTo(k);
    }

    QByteArray m_src;
    const char* m_p = nullptr;
    qsizetype m_n = 0;
    std::vector<Open> m_stack;
    std::array<int, GUMBO_TAG_LAST + 1> m_openCount{}; // elements on the stack by tag
    int m_drawings = 0;                                // drawings and formulas on the stack
    std::vector<Edit> m_edits;
    qint64 m_nodes = 0; // elements and comments kept
    qint64 m_work = 0;  // what gumbo will do for the tags so far, roughly
    bool m_cut = false; // the page's end was left out
};

bool isRawTextParent(const Node* n)
{
    if (!isElement(n)) return false;
    switch (tagOf(n)) {
    case GUMBO_TAG_SCRIPT:
    case GUMBO_TAG_STYLE:
    case GUMBO_TAG_TEXTAREA:
    case GUMBO_TAG_TITLE:
    case GUMBO_TAG_XMP:
    case GUMBO_TAG_IFRAME:
    case GUMBO_TAG_NOEMBED:
    case GUMBO_TAG_NOFRAMES:
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
std::vector<qsizetype> strandedFormEnds(const Data& d)
{
    std::vector<qsizetype> offsets;
    const char* base = d.utf8.constData();
    walkNodes(childrenOf(d.output->document), [&](const Node* c) {
        if (isElement(c)) return true;
        if (!isText(c) || c->type == GUMBO_NODE_CDATA || isRawTextParent(c->parent)) return false;
        const GumboStringPiece& raw = c->v.text.original_text;
        if (!raw.data || raw.length < 6) return false;
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

std::unique_ptr<Data> parseGuarded(const QString& html)
{
    SourcePrep prep(html.toUtf8());
    std::unique_ptr<Data> d = parseUtf8(prep.run());
    if (const std::vector<qsizetype> ends = strandedFormEnds(*d); !ends.empty()) {
        // A comment before each such end tag makes gumbo place the text first.
        const QByteArray& src = d->utf8;
        QByteArray patched;
        patched.reserve(src.size() + qsizetype(ends.size()) * 7);
        qsizetype from = 0;
        for (qsizetype at : ends) {
            patched.append(src.constData() + from, at - from);
            patched.append("<!---->");
            from = at;
        }
        patched.append(src.constData() + from, src.size() - from);
        d = parseUtf8(std::move(patched));
    }
    d->truncated = prep.cut();
    return d;
}

} // namespace htmldoc
