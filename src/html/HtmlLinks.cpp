// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "html/HtmlInternal.h"

namespace htmldoc {

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
        if (!(c.isLetter() && c.unicode() < 0x80) &&
            !(i > 0 && ((c.isDigit() && c.unicode() < 0x80) || c == u'+' || c == u'-' || c == u'.')))
            break;
    }
    bool web = scheme.isEmpty() ? isWeb(base.scheme()) : isWeb(scheme);
    if (!scheme.isEmpty() && web && scheme == base.scheme()) {
        const QStringView rest = QStringView(s).mid(scheme.size() + 1);
        if (!rest.startsWith(u'/') && !rest.startsWith(u'\\')) s = rest.toString();
    }
    if (web) {
        qsizetype end = s.indexOf(u'?');
        const qsizetype hash = s.indexOf(u'#');
        if (end < 0 || (hash >= 0 && hash < end)) end = hash;
        for (qsizetype i = 0; i < (end < 0 ? s.size() : end); ++i) {
            if (s[i] == u'\\') s[i] = u'/';
        }
    }
    QUrl url = base.resolved(QUrl(s));
    if ((url.port() == 80 && url.scheme() == QLatin1String("http")) ||
        (url.port() == 443 && url.scheme() == QLatin1String("https")))
        url.setPort(-1);
    return url;
}

QUrl documentBase(const HtmlDocument& doc, const QUrl& url)
{
    // The first <base href> sets the address links resolve against.
    for (const HtmlElement& base : doc.descendants(u"base")) {
        if (!base.hasAttribute(u"href")) continue;
        const QUrl resolved = resolveLink(url, base.attribute(u"href"));
        if (resolved.isValid() && !resolved.isRelative()) return resolved;
        break;
    }
    return url;
}

} // namespace htmldoc

using namespace htmldoc;

QString HtmlElement::href() const
{
    if (!m_node) return {};
    const GumboAttribute* a = findAttribute(m_node, QByteArrayLiteral("href"));
    if (!a) return {};
    return resolveLink(m_doc->baseUrl, QString::fromUtf8(a->value)).toString(QUrl::FullyEncoded);
}
