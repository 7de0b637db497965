// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "html/HtmlDocument.h"

#include "support/TestSupport.h"

#include <QElapsedTimer>
#include <QTest>

// Expected texts of innerText were taken from a desktop browser's innerText of
// the same markup, with its line feeds written as CR LF.

namespace {

const QUrl kPageUrl(QStringLiteral("http://realty.example/msk/list.php?x=1"));

HtmlDocument parsePage(const QString& body)
{
    const QString html = body.startsWith(u"<!doctype", Qt::CaseInsensitive)
                             ? body
                             : QStringLiteral("<!doctype html><html><head><title>t</title></head><body>") +
                                   body + QStringLiteral("</body></html>");
    return HtmlDocument::parse(html, kPageUrl);
}

QString readUtf8(const QString& path)
{
    return QString::fromUtf8(testsupport::ReadBytes(path));
}

} // namespace

class TestHtmlDocument : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void innerText_data()
    {
        QTest::addColumn<QString>("html");
        QTest::addColumn<QString>("tag");
        QTest::addColumn<int>("index");
        QTest::addColumn<QString>("expected");
        auto row = [](const char* name, const char* html, QStringView tag, int index,
                      const QString& expected) {
            QTest::newRow(name) << QString::fromUtf8(html) << tag.toString() << index << expected;
        };
        row("cells and rows", "<table><tr><td>a</td><td>b</td></tr><tr><td>c</td><td>d</td></tr></table>",
            u"body", 0, QStringLiteral("a\tb\r\nc\td"));
        row("white space between cells is no text",
            "<table>\n <tr>\n  <td> a </td>\n  <td>b  c</td>\n </tr>\n <tr> <td>d</td> </tr>\n</table>",
            u"body", 0, QStringLiteral("a\tb c\r\nd"));
        row("nested table",
            "<table><tr><td>a</td><td><table><tr><td>x</td><td>y</td></tr><tr><td>z</td></tr></table></"
            "td><td>b</td></tr><tr><td>c</td></tr></table>",
            u"body", 0, QStringLiteral("a\t\r\nx\ty\r\nz\r\n\tb\r\nc"));
        row("cell holding a table",
            "<table><tr><td>a</td><td><table><tr><td>x</td><td>y</td></tr><tr><td>z</td></tr></table></"
            "td><td>b</td></tr></table>",
            u"td", 1, QStringLiteral("x\ty\r\nz"));
        row("row ending in an empty cell keeps its tab",
            "<table><tr><td>a</td><td> b </td><td></td></tr></table>", u"tr", 0, QStringLiteral("a\tb\t"));
        row("caption and row groups",
            "<table><caption>cap</caption><thead><tr><th>h1</th><th>h2</th></tr></thead><tbody><tr><td>a</"
            "td><td>b</td></tr></tbody><tfoot><tr><td>f</td></tr></tfoot></table>",
            u"table", 0, QStringLiteral("cap\r\nh1\th2\r\na\tb\r\nf"));
        row("empty cells and an empty row",
            "<table><tr><td></td><td>b</td><td></td></tr><tr></tr><tr><td>c</td></tr></table>", u"body", 0,
            QStringLiteral("\tb\t\r\n\r\nc"));
        row("blocks in cells",
            "<table><tr><td><div>a</div><div>b</div></td><td><p>c</p></td><td>d</td></tr></table>", u"body",
            0, QStringLiteral("a\r\nb\r\n\t\r\n\r\nc\r\n\r\n\td"));
        row("hidden cell adds no tab",
            "<table><tr><td>a</td><td>b</td><td style=\"display:none\">c</td></tr></table>", u"body", 0,
            QStringLiteral("a\tb"));
        row("invisible cells and rows",
            "<table><tr><td style=\"visibility:hidden\">a</td><td>b</td></tr><tr "
            "style=\"visibility:hidden\"><td>c</td><td "
            "style=\"visibility:visible\">d</td></tr><tr><td>e</td></tr></table>",
            u"body", 0, QStringLiteral("b\r\nde"));
        row("text inside a table goes before it", "<table>junk<tr><td>a</td></tr></table>", u"body", 0,
            QStringLiteral("junk\r\na"));
        row("unclosed cells and paragraphs", "<table><tr><td>a<td>b<tr><td>c</table><p>d<p>e", u"body", 0,
            QStringLiteral("a\tb\r\nc\r\n\r\nd\r\n\r\ne"));
        row("spaces around br vanish", "a <br> b", u"body", 0, QStringLiteral("a\r\nb"));
        row("br closing a block adds a line", "<div>a<br></div><div>b</div>", u"body", 0,
            QStringLiteral("a\r\n\r\nb"));
        row("br at the end of a cell", "<table><tr><td>a<br></td></tr></table>", u"td", 0,
            QStringLiteral("a\r\n"));
        row("paragraphs keep a blank line", "<p>a</p><p>b</p>", u"body", 0, QStringLiteral("a\r\n\r\nb"));
        row("empty block breaks once", "a<div></div>b", u"body", 0, QStringLiteral("a\r\nb"));
        row("entities", "a&nbsp;b &amp; &lt;c&gt; &#1042;&#x41; &quot;&copy;&mdash;", u"body", 0,
            QStringLiteral("a\u00A0b & <c> ВA \"©—"));
        row("nbsp does not collapse", "a&nbsp;&nbsp; &nbsp;b", u"body", 0,
            QStringLiteral("a\u00A0\u00A0 \u00A0b"));
        row("CR is a space, form feed stays", "a&#13;b&#12;c&#9;d", u"body", 0, QStringLiteral("a b\fc d"));
        row("script, style, noscript and template skipped",
            "a<script>var x=1;</script><style>p{}</style> b<noscript>ns</noscript><template>tp</template>",
            u"body", 0, QStringLiteral("a b"));
        row("head skipped",
            "<!doctype "
            "html><html><head><title>T</title><style>x</style><script>s</script></head><body>body</body></"
            "html>",
            u"html", 0, QStringLiteral("body"));
        row("white space collapses", "  a   b \n\t c  ", u"body", 0, QStringLiteral("a b c"));
        row("spaces collapse across inline tags", "<span>a </span> b<span> c</span>", u"body", 0,
            QStringLiteral("a b c"));
        row("count followed by a line break", "Всего предложений: 1 234<br>\nСтраница 1", u"body", 0,
            QStringLiteral("Всего предложений: 1 234\r\nСтраница 1"));
        row("pre keeps spaces and line feeds", "<pre>\na  b\n  c\n</pre>d", u"body", 0,
            QStringLiteral("a  b\r\n  c\r\n\r\nd"));
        row("list items", "<ul><li>a</li><li>b <b>c</b></li></ul><ol><li>d</li></ol>", u"body", 0,
            QStringLiteral("a\r\nb c\r\nd"));
        row("image keeps the spaces on both sides", "a <img src=x.png> b", u"body", 0,
            QStringLiteral("a  b"));
        row("fields and buttons", "a <input value=v> <button> B </button> c", u"body", 0,
            QStringLiteral("a  B c"));
        row("options of a list on their own lines",
            "a<select><option>o1</option><option>o2</option></select>b", u"body", 0,
            QStringLiteral("a\r\no1\r\no2\r\nb"));
        row("textarea gives no text", "a<textarea>t</textarea>b", u"body", 0, QStringLiteral("ab"));
        row("hidden attribute", "a<span hidden>h</span>b<div hidden>d</div>", u"body", 0,
            QStringLiteral("ab"));
        row("display none in style", "a<span style=\"display: none\">h</span>b", u"body", 0,
            QStringLiteral("ab"));
        row("display block in style", "a<span style=\"display:block\">s</span>b", u"body", 0,
            QStringLiteral("a\r\ns\r\nb"));
        row("closed details show the summary", "<details><summary>S</summary>body</details>x", u"body", 0,
            QStringLiteral("S\r\nx"));
        row("drawing shows its text elements only",
            "a<svg><g>loose<text>T <tspan>u</tspan></text><title>tt</title><desc>dd</desc></g></svg>b",
            u"body", 0, QStringLiteral("a\r\nT u\r\nb"));
        row("shapes written as <path/> hold no text", "a<svg><path d=\"M0\"/><text>T</text><rect/></svg>b",
            u"body", 0, QStringLiteral("a\r\nT\r\nb"));
        row("icon keeps the space after it",
            "<a href=x><svg viewBox=\"0 0 1 1\"><path d=\"M0\"/></svg> Далее</a>", u"body", 0,
            QStringLiteral(" Далее"));
        row("object shows its fallback", "a<object>fb</object>b", u"body", 0, QStringLiteral("afbb"));
        row("link: leading space collapses into the one before",
            "<div>Цена: <a href=\"x\"> 100 </a> руб</div>", u"a", 0, QStringLiteral("100 "));
        row("link: trailing space at the end of a line vanishes", "<div>Цена: <a href=\"x\">100 </a></div>",
            u"a", 0, QStringLiteral("100"));
        row("inline element keeps spaces that show", "<div>a<span> b </span>c</div>", u"span", 0,
            QStringLiteral(" b "));
        row("element not shown gives its raw text",
            "<div style=\"display:none\"> a  <b>b</b><div>c</div></div>", u"div", 0,
            QStringLiteral(" a  bc"));
        row("option of a drop-down gives its raw text", "<select><option> o  1 </option></select>", u"option",
            0, QStringLiteral(" o  1 "));
        row("text before </form> stays in the form", "<form>a<input type=hidden value=h>b</form>c", u"body",
            0, QStringLiteral("ab\r\nc"));
        row("form with text after a field", "<form>Поиск: <input name=q> найти</form>дальше", u"body", 0,
            QStringLiteral("Поиск:  найти\r\nдальше"));
    }
    void innerText()
    {
        QFETCH(QString, html);
        QFETCH(QString, tag);
        QFETCH(int, index);
        QFETCH(QString, expected);
        const HtmlDocument doc = parsePage(html);
        const HtmlElement e = tag == u"html" ? doc.documentElement() : doc.descendants(tag).value(index);
        QVERIFY(!e.isNull());
        QCOMPARE(e.innerText(), expected);
    }

    // A stored listing page read the way the page reader reads it.
    void listingPage()
    {
        const QUrl address(QStringLiteral("http://realty.example/msk/list.php"));
        const HtmlDocument doc = HtmlDocument::parse(
            readUtf8(testsupport::DataFile(QStringLiteral("html/listing.html"))), address);
        QCOMPARE(doc.url(), address);
        QCOMPARE(doc.baseUrl(), QUrl(QStringLiteral("http://realty.example/msk/")));
        QCOMPARE(doc.body().innerText(), readUtf8(testsupport::DataFile(QStringLiteral("html/listing.txt"))));

        // Markup inside the script and the comment is no element.
        QCOMPARE(doc.descendants(u"td").size(), 17);
        const QList<HtmlElement> rows = doc.descendants(u"TR");
        QList<int> cellsPerRow;
        for (const HtmlElement& tr : rows)
            cellsPerRow << int(tr.descendants(u"td").size());
        QCOMPARE(cellsPerRow, (QList<int>{0, 5, 5, 7, 2}));
        const HtmlElement table = doc.descendants(u"table").value(0);
        QCOMPARE(table.tagName(), QStringLiteral("table"));
        QCOMPARE(table.descendants(u"tr").size(), 5);

        const QList<HtmlElement> cells = rows[2].descendants(u"td");
        QCOMPARE(cells[0].innerText(), QStringLiteral("пр. Мира,\u00A012\r\nновостройка"));
        QCOMPARE(cells[4].innerText(), QStringLiteral("\u00A0"));
        QCOMPARE(rows[3].descendants(u"td")[0].innerText(), QStringLiteral("Садовая, 7"));
        QCOMPARE(cells[0].descendants(u"a")[0].href(), QStringLiteral("http://realty.example/obj/102.html"));
        QCOMPARE(rows[1].descendants(u"a")[0].href(),
                 QStringLiteral("http://realty.example/msk/obj.php?id=101&p=1"));
        QCOMPARE(rows[1].descendants(u"a")[0].attribute(u"href"), QStringLiteral("obj.php?id=101&p=1"));

        QStringList pages;
        for (const HtmlElement& a : doc.descendants(u"div").value(1).descendants(u"a"))
            pages << a.href();
        QCOMPARE(pages, (QStringList{QStringLiteral("http://realty.example/msk/?page=2"),
                                     QStringLiteral("http://realty.example/msk/?page=3"),
                                     QStringLiteral("javascript:void(0)")}));
    }

    void href_data()
    {
        QTest::addColumn<QString>("href"); // as the markup holds it
        QTest::addColumn<QString>("expected");
        auto row = [](const char* name, const char* href, const char* expected) {
            QTest::newRow(name) << QString::fromUtf8(href) << QString::fromUtf8(expected);
        };
        row("file beside the page", "obj.php?id=1&amp;p=2", "http://realty.example/msk/obj.php?id=1&p=2");
        row("query only", "?page=2", "http://realty.example/msk/list.php?page=2");
        row("parent folder", "../", "http://realty.example/");
        row("fragment", "#top", "http://realty.example/msk/list.php?x=1#top");
        row("empty is the page itself", "", "http://realty.example/msk/list.php?x=1");
        row("other host without scheme", "//cdn.example/x", "http://cdn.example/x");
        row("blanks and line feeds dropped", " /a\n/b.html\t ", "http://realty.example/a/b.html");
        row("Cyrillic and spaces encoded", "кв 1.html?q=Москва",
            "http://realty.example/msk/%D0%BA%D0%B2%201.html?q=%D0%9C%D0%BE%D1%81%D0%BA%D0%B2%D0%B0");
        row("Cyrillic host", "http://пример.рф/", "http://xn--e1afmkfd.xn--p1ai/");
        row("default port dropped", "HTTP://Example.COM:80/a", "http://example.com/a");
        row("backslashes are slashes", "\\obj\\1.html?a\\b", "http://realty.example/obj/1.html?a%5Cb");
        row("same scheme without slashes is relative", "http:other.html",
            "http://realty.example/msk/other.html");
        row("script link kept", "javascript:void(0)", "javascript:void(0)");
    }
    void href()
    {
        QFETCH(QString, href);
        QFETCH(QString, expected);
        const HtmlDocument doc = parsePage(QStringLiteral("<a href=\"%1\">x</a>").arg(href));
        QCOMPARE(doc.descendants(u"a").value(0).href(), expected);
    }

    void tagsAndAttributes()
    {
        const HtmlDocument doc =
            parsePage(QStringLiteral("<DIV ID=Main "
                                     "Data-X=\"a&amp;b\"><my-Widget>w</my-Widget><SPAN>s</SPAN></"
                                     "DIV><template><div>t</div></template>"));
        const HtmlElement div = doc.descendants(u"div").value(0);
        QCOMPARE(doc.descendants(u"DiV").size(), 1); // the template's content is no part of the page
        QCOMPARE(div.tagName(), QStringLiteral("div"));
        QCOMPARE(div.attribute(u"id"), QStringLiteral("Main"));
        QCOMPARE(div.attribute(u"DATA-x"), QStringLiteral("a&b"));
        QVERIFY(div.attribute(u"title").isNull());
        QVERIFY(!div.hasAttribute(u"title"));
        QVERIFY(div.href().isEmpty());
        const QList<HtmlElement> kids = div.children();
        QCOMPARE(kids.size(), 2);
        QCOMPARE(kids[0].tagName(), QStringLiteral("my-widget"));
        QCOMPARE(div.descendants(u"MY-WIDGET").size(), 1);
        QCOMPARE(div.descendants(u"*").size(), 2);
        QCOMPARE(kids[1].parent(), div);
        QCOMPARE(doc.body().tagName(), QStringLiteral("body"));
    }

    // Inputs that once made the parser abort or crawl.
    void parserTraps_data()
    {
        QTest::addColumn<QString>("html");
        auto row = [](const char* name, const char* html) { QTest::newRow(name) << QString::fromUtf8(html); };
        row("list box drawn in a table", "<table><svg><select><title><select><td>");
        row("formula cells", "<table><math><td><mtext><select></table>");
        row("CDATA in a drawing in a table", "<table><svg><foreignObject><![CDATA[x]]> ");
        row("raw text tag in a list box", "<select><xmp><keygen><table><svg><desc><![CDATA[x]]>&amp;");
        row("glyph in formula text", "<table><math><mtext><malignmark><noframes><select><mtext><select><td>");
        row("noscript holds markup", "<noscript><table><svg><foreignObject><![CDATA[x]]>x");
        row("control bytes", "\x01<\x7f>\xef\xbf\xbd</>");
    }
    void parserTraps()
    {
        QFETCH(QString, html);
        const HtmlDocument doc = HtmlDocument::parse(html, kPageUrl);
        QVERIFY(!doc.body().isNull());
        for (const HtmlElement& e : doc.descendants(u"*"))
            e.innerText();
    }

    void deepNesting()
    {
        // Without a depth limit this takes the parser hours.
        const QString html = QStringLiteral("<div><span>").repeated(100000) + QStringLiteral("x");
        QElapsedTimer timer;
        timer.start();
        const HtmlDocument doc = HtmlDocument::parse(html, kPageUrl);
        QCOMPARE(doc.body().innerText(), QStringLiteral("x"));
        QVERIFY2(timer.elapsed() < 20000, qPrintable(QString::number(timer.elapsed())));
    }

    // The element text looks at every node a few times, however deeply the
    // page nests and however many elements HTML does not know it holds (none
    // of them may look at all that encloses it): the work grows with the page.
    void elementTextWorkInProportionToThePage_data()
    {
        QTest::addColumn<QString>("opening");
        QTest::addColumn<QString>("element");
        // 3,400 levels, reached through table cells (deeper runs are cut).
        QTest::newRow("unknown tags deep in tables")
            << QString(QStringLiteral("<table><tr><td>") + QStringLiteral("<x-a>").repeated(30)).repeated(100)
            << QStringLiteral("<x-b>a</x-b>");
        QTest::newRow("a drawing's shapes deep in tables")
            << QString(QStringLiteral("<table><tr><td>") + QStringLiteral("<svg><g>").repeated(15))
                   .repeated(100)
            << QStringLiteral("<path/>a<text>t</text>");
        QTest::newRow("cells deep in tables")
            << QStringLiteral("<table><tr><td>").repeated(1000) << QStringLiteral("<td>a</td>");
    }
    void elementTextWorkInProportionToThePage()
    {
        QFETCH(QString, opening);
        QFETCH(QString, element);
        QList<qint64> steps;
        for (int count : {2000, 4000}) {
            const QString html = QStringLiteral("<body>") + opening + element.repeated(count);
            const HtmlDocument doc = HtmlDocument::parse(html, kPageUrl);
            const qint64 before = HtmlDocument::walkSteps();
            QVERIFY(doc.body().innerText().size() >= count);
            steps << HtmlDocument::walkSteps() - before;
            QVERIFY2(
                steps.last() < 8 * html.size(),
                qPrintable(QStringLiteral("%1 steps for %2 characters").arg(steps.last()).arg(html.size())));
        }
        // Twice the elements at the bottom, not much more than twice the work.
        const qint64 added = steps[1] - steps[0];
        QVERIFY2(added < 3 * steps[0], qPrintable(QStringLiteral("%1, then %2").arg(steps[0]).arg(steps[1])));
    }

    // Cells, rows and table ends with no table open pile up to the depth
    // limit before the parser sees them; the scan that finds how deep a tag
    // sits must not look through the pile for every one of them.
    void strayTableTagsParseInProportion()
    {
        for (const QString& unit :
             {QStringLiteral("<td>a"), QStringLiteral("<th>a</tr>"), QStringLiteral("<td></table>")}) {
            const QString html = unit.repeated(20000);
            const qint64 before = HtmlDocument::walkSteps();
            const HtmlDocument doc = HtmlDocument::parse(html, kPageUrl);
            const qint64 steps = HtmlDocument::walkSteps() - before;
            QVERIFY2(steps < 4 * html.size(),
                     qPrintable(QStringLiteral("%1: %2 steps").arg(unit).arg(steps)));
            QVERIFY(!doc.body().isNull());
        }
    }

    // gumbo compares each attribute of a tag with all before it: one tag of
    // a hundred thousand attributes took minutes. Those past a few hundred are
    // dropped; the first ones and the page around the tag stay.
    void attributesOfOneTagAreBounded()
    {
        QString tag = QStringLiteral("<a href=\"/x\" title='a>b'");
        for (int i = 0; i < 100000; ++i)
            tag += QStringLiteral(" a%1=\"%1\"").arg(i);
        const HtmlDocument doc =
            parsePage(QStringLiteral("<p>до</p>") + tag + QStringLiteral(">ссылка</a><p>после</p>"));
        const QList<HtmlElement> links = doc.descendants(u"a");
        QCOMPARE(links.size(), 1);
        QCOMPARE(links[0].attribute(u"title"), QStringLiteral("a>b"));
        QCOMPARE(links[0].attribute(u"a200"), QStringLiteral("200"));
        QVERIFY(links[0].attribute(u"a300").isNull());
        QCOMPARE(links[0].innerText(), QStringLiteral("ссылка"));
        QCOMPARE(doc.descendants(u"p").size(), 2);
        QVERIFY(!doc.truncated());
    }

    // Pages under the size cap that would cost the parser seconds and
    // gigabytes (millions of tiny elements or comments, end tags that make it
    // search hundreds of open elements, many tags of many attributes) are read
    // only up to a bound of elements and work; an ordinary large page is whole.
    void costlyPagesAreCut_data()
    {
        QTest::addColumn<QString>("html");
        QTest::addColumn<bool>("cut");
        QTest::addColumn<QString>("tag");
        QTest::addColumn<int>("atMost");
        QTest::newRow("tiny elements") << QStringLiteral("<br>").repeated(400000) << true << "br" << 150000;
        QTest::newRow("tiny elements with text")
            << QStringLiteral("<a>x").repeated(400000) << true << "a" << 150000;
        QTest::newRow("comments") << QStringLiteral("<!---->").repeated(400000) + QStringLiteral("<i>x</i>")
                                  << true << "i" << 0;
        QTest::newRow("stray end tags under deep elements")
            << QStringLiteral("<span>").repeated(600) + QStringLiteral("</x>").repeated(100000) +
                   QStringLiteral("<i>x</i>")
            << true << "i" << 0;
        QString attributes;
        for (int i = 0; i < 256; ++i)
            attributes += QStringLiteral(" a%1").arg(i);
        QTest::newRow("many tags of many attributes")
            << QString(QStringLiteral("<i") + attributes + u'>').repeated(2000) << true << "i" << 1000;
        QTest::newRow("an ordinary large page")
            << QStringLiteral("<table>") +
                   QStringLiteral(
                       "<tr><td><a href=\"/d?id=1\">Центр</a></td><td>2</td><td>3/9</td><td>4000</td></tr>")
                       .repeated(10000) +
                   QStringLiteral("</table><!-- конец -->")
            << false << "a" << 10000;
    }
    void costlyPagesAreCut()
    {
        QFETCH(QString, html);
        QFETCH(bool, cut);
        QFETCH(QString, tag);
        QFETCH(int, atMost);
        const HtmlDocument doc = HtmlDocument::parse(html, kPageUrl);
        QCOMPARE(doc.truncated(), cut);
        const auto found = doc.descendants(tag).size();
        QVERIFY2(found <= atMost, qPrintable(QString::number(found)));
        if (!cut) QCOMPARE(found, atMost);
    }

    void documentLifetime()
    {
        HtmlDocument doc = parsePage(QStringLiteral("<p>a</p>"));
        const HtmlElement p = doc.descendants(u"p").value(0);
        HtmlDocument moved = std::move(doc);
        QCOMPARE(p.innerText(), QStringLiteral("a"));
        QVERIFY(doc.isNull());
        QVERIFY(doc.body().isNull());
        QVERIFY(doc.descendants(u"p").isEmpty());
        const HtmlElement none;
        QVERIFY(none.innerText().isEmpty() && none.descendants(u"p").isEmpty() && none.href().isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestHtmlDocument)
#include "tst_htmldocument.moc"
