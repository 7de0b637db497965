// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "sample/DemoSite.h"

#include "platform/CodePage.h"
#include "sample/ListingGenerator.h"

#include <QHostAddress>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrl>
#include <QUrlQuery>

#include <algorithm>

namespace {

// A request head larger than this is no browser's: the connection is dropped.
constexpr qsizetype kMaxHead = 16 * 1024;

QString esc(const QString& s)
{
    return s.toHtmlEscaped();
}

// No table comes before a page's own table: readers take the first one.
QString head(const QString& title, bool utf8)
{
    return QStringLiteral(
               "<HTML>\r\n<HEAD>\r\n<META http-equiv=\"Content-Type\" content=\"text/html; charset=") +
           (utf8 ? QStringLiteral("utf-8") : QStringLiteral("windows-1251")) +
           QStringLiteral("\">\r\n<TITLE>") + esc(title) +
           QStringLiteral(
               "</TITLE>\r\n</HEAD>\r\n<BODY bgcolor=\"#FFFFFF\" text=\"#000000\" link=\"#003399\">\r\n"
               "<FONT color=\"#336699\" size=\"+1\"><B>Квартиры города &mdash; демонстрационный сайт "
               "объявлений</B>"
               "</FONT>\r\n<HR size=1>\r\n");
}

QString tail()
{
    return QStringLiteral(
        "<HR size=1>\r\n<FONT size=1>Объявления вымышлены и созданы для проверки программы.</FONT>\r\n"
        "</BODY>\r\n</HTML>\r\n");
}

// The fields a cell or row shows, joined with "/".
QString joined(const field::FieldArray<QString>& f, const std::array<field::Field, 3>& fields, int count)
{
    QString text;
    for (int i = 0; i < count; ++i) {
        if (i > 0) text += u'/';
        text += f[fields[size_t(i)]];
    }
    return text;
}

// What a cell or row of listing `index` shows.
QString shownText(sitelayout::Shown shown, const field::FieldArray<QString>& f,
                  const std::array<field::Field, 3>& fields, int count, int index)
{
    switch (shown) {
    case sitelayout::Shown::Fields:
        return joined(f, fields, count);
    case sitelayout::Shown::Photo:
        return QStringLiteral("фото");
    case sitelayout::Shown::Number:
        return QString::number(index + 1);
    case sitelayout::Shown::Seller:
        return QStringLiteral("агентство");
    case sitelayout::Shown::Views:
        return QString::number((index * 37) % 400 + 3);
    }
    return {};
}

// A page's address relative to another page of the site, as a link in HTML.
QString relativeLink(const sitelayout::Addresses& a, const char16_t* query, int number)
{
    QString path = QString::fromUtf16(a.path);
    if (path.startsWith(u'/')) path.remove(0, 1);
    return esc(path + u'?' + QString::fromUtf16(query) + QString::number(number));
}

// The name of the query item that numbers the pages of a query ("page" of
// "...&page="): the site tells its pages apart by it.
QString numberKey(const char16_t* query)
{
    QString q = QString::fromUtf16(query);
    if (q.endsWith(u'=')) q.chop(1);
    return q.mid(q.lastIndexOf(u'&') + 1);
}

QByteArray statusText(int status)
{
    switch (status) {
    case 200:
        return "OK";
    case 404:
        return "Not Found";
    default:
        return "Bad Request";
    }
}

} // namespace

DemoSite::DemoSite(Options options, QObject* parent)
    : QObject(parent), m_options(options), m_server(new QTcpServer(this))
{
    m_options.count = std::max(0, m_options.count);
    m_options.pageSize = std::max(1, m_options.pageSize);
    connect(m_server, &QTcpServer::newConnection, this, &DemoSite::onConnection);
}

DemoSite::~DemoSite() = default;

bool DemoSite::Listen(quint16 port)
{
    // Loopback only: the demo site is never reachable from another machine.
    if (m_server->listen(QHostAddress::LocalHost, port)) return true;
    switch (m_server->serverError()) {
    case QAbstractSocket::AddressInUseError:
        m_error = QStringLiteral("порт уже занят");
        break;
    case QAbstractSocket::SocketAccessError:
        m_error = QStringLiteral("нет прав на этот порт");
        break;
    default:
        m_error = QStringLiteral("ошибка сети (код %1)").arg(int(m_server->serverError()));
        break;
    }
    return false;
}

quint16 DemoSite::Port() const
{
    return m_server->serverPort();
}

QString DemoSite::Address() const
{
    return QStringLiteral("http://127.0.0.1:") + QString::number(Port());
}

field::FieldArray<QString> DemoSite::listing(int index) const
{
    auto f = sample::GenerateListing(quint64(index));
    if (const auto price = m_options.prices.constFind(index); price != m_options.prices.cend())
        f[field::Price] = *price;
    return f;
}

int DemoSite::PageCount() const
{
    return std::max(1, (m_options.count + m_options.pageSize - 1) / m_options.pageSize);
}

QString DemoSite::DetailLink(int index) const
{
    const sitelayout::Addresses& a = m_options.layout->PageTables().addresses;
    return relativeLink(a, a.detailQuery, index + 1);
}

QString DemoSite::StartPage() const
{
    const sitelayout::Addresses& a = m_options.layout->PageTables().addresses;
    const int announced = m_options.announced < 0 ? m_options.count : m_options.announced;
    return head(QStringLiteral("Продажа квартир"), m_options.utf8) +
           QStringLiteral("<P><B>Продажа квартир</B><BR>\r\n") + QString::fromUtf16(a.totalPhrase) + u' ' +
           QString::number(announced) + QStringLiteral("<BR>\r\n<A href=\"") +
           relativeLink(a, a.listQuery, 1) + QStringLiteral("\">Смотреть предложения</A></P>\r\n") + tail();
}

QString DemoSite::ListPage(int page) const
{
    const sitelayout::Tables& tables = m_options.layout->PageTables();
    page = std::clamp(page, 1, PageCount());
    const int first = (page - 1) * m_options.pageSize;
    const int last = std::min(m_options.count, first + m_options.pageSize);

    QString html = head(QStringLiteral("Продажа квартир, страница ") + QString::number(page), m_options.utf8);
    html.reserve(html.size() + 1200 * (last - first) + 2000);
    html += QStringLiteral(
        "<TABLE width=\"100%\" border=1 cellspacing=0 cellpadding=2>\r\n<TR bgcolor=\"#DDDDDD\">");
    for (const sitelayout::ListCell& c : tables.listCells)
        html += QStringLiteral("<TD>") + QString::fromUtf16(c.caption) + QStringLiteral("</TD>");
    html += QStringLiteral("</TR>\r\n");
    for (int i = first; i < last; ++i) {
        const auto f = listing(i);
        html += QStringLiteral("<TR>");
        for (const sitelayout::ListCell& c : tables.listCells) {
            if (c.shown == sitelayout::Shown::Photo) {
                html += QStringLiteral("<TD align=center>") +
                        (i % 3 == 0 ? QStringLiteral("<IMG src=\"foto.gif\" width=16 height=16 alt=\"фото\">")
                                    : QStringLiteral("&nbsp;"));
            } else {
                const QString text = esc(shownText(c.shown, f, c.fields, c.fieldCount, i));
                html += c.detailLink ? QString(QStringLiteral("<TD><A href=\"") + DetailLink(i) +
                                               QStringLiteral("\">") + text + QStringLiteral("</A>"))
                                     : QString(QStringLiteral("<TD>") + text);
            }
            html += QStringLiteral("</TD>");
        }
        html += QStringLiteral("</TR>\r\n");
    }
    html += QStringLiteral("</TABLE>\r\n<TABLE border=0><TR><TD>Страницы: ");
    for (int p = 1; p <= PageCount(); ++p) {
        html += p == page ? QString(QStringLiteral("<B>") + QString::number(p) + QStringLiteral("</B> "))
                          : QString(QStringLiteral("<A href=\"") +
                                    relativeLink(tables.addresses, tables.addresses.listQuery, p) +
                                    QStringLiteral("\">") + QString::number(p) + QStringLiteral("</A> "));
    }
    html += QStringLiteral("</TD></TR></TABLE>\r\n") + tail();
    return html;
}

QString DemoSite::DetailPage(int index) const
{
    const sitelayout::Tables& tables = m_options.layout->PageTables();
    const auto f = listing(index);
    QString html = head(QStringLiteral("Объявление № ") + QString::number(index + 1), m_options.utf8);
    html += QStringLiteral("<TABLE border=0 cellpadding=3 cellspacing=1 bgcolor=\"#F4F4F4\">\r\n");
    for (const sitelayout::DetailRow& row : tables.detailRows) {
        const QString value = shownText(row.shown, f, row.fields, row.fieldCount, index);
        html += QStringLiteral("<TR><TD width=200><B>") + QString::fromUtf16(row.label) +
                QStringLiteral("</B></TD><TD>") + esc(value) + QStringLiteral("</TD></TR>\r\n");
    }
    html += QStringLiteral("</TABLE>\r\n<P><A href=\"") +
            relativeLink(tables.addresses, tables.addresses.listQuery, index / m_options.pageSize + 1) +
            QStringLiteral("\">Вернуться к списку</A></P>\r\n") + tail();
    return html;
}

// What a request target asks for: the numbers of a listing and of a list
// page, as given (none when not).
DemoSite::Target DemoSite::targetOf(const QString& target) const
{
    const sitelayout::Addresses& a = m_options.layout->PageTables().addresses;
    const QUrl url(QStringLiteral("http://127.0.0.1") + target);
    const QString path = url.path();
    const QUrlQuery query(url);
    const QString detailKey = numberKey(a.detailQuery);
    const QString listKey = numberKey(a.listQuery);
    Target t;
    t.onSite = path == QLatin1String("/") || path == QString::fromUtf16(a.path);
    if (query.hasQueryItem(detailKey)) t.listing = query.queryItemValue(detailKey);
    if (query.hasQueryItem(listKey)) t.listPage = query.queryItemValue(listKey);
    return t;
}

QString DemoSite::Page(const QString& target) const
{
    const Target t = targetOf(target);
    if (!t.onSite) return {};
    if (t.listing) {
        bool ok = false;
        const int obj = t.listing->toInt(&ok);
        return ok && obj >= 1 && obj <= m_options.count ? DetailPage(obj - 1) : QString();
    }
    if (t.listPage) return ListPage(t.listPage->toInt());
    return StartPage();
}

bool DemoSite::stalls(const QString& target) const
{
    const Target t = targetOf(target);
    switch (m_options.stall) {
    case Stall::None:
        return false;
    case Stall::StartPage:
        return !t.listing && !t.listPage;
    case Stall::ListPages:
        return t.listPage.has_value();
    case Stall::DetailPages:
        return t.listing.has_value();
    }
    return false;
}

void DemoSite::onConnection()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        m_buffers.insert(socket, {});
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            m_buffers.remove(socket);
            socket->deleteLater();
        });
    }
}

void DemoSite::onReadyRead(QTcpSocket* socket)
{
    QByteArray& buffer = m_buffers[socket];
    buffer += socket->readAll();
    // Requests without a body, one after the other on a kept-alive connection.
    for (qsizetype end; (end = buffer.indexOf("\r\n\r\n")) >= 0;) {
        const QByteArray request = buffer.left(end);
        buffer.remove(0, end + 4);
        answer(socket, request.left(request.indexOf("\r\n") < 0 ? request.size() : request.indexOf("\r\n")));
    }
    if (buffer.size() > kMaxHead) {
        m_buffers.remove(socket);
        socket->abort();
        socket->deleteLater();
    }
}

void DemoSite::answer(QTcpSocket* socket, const QByteArray& requestLine)
{
    ++m_requests;
    const QList<QByteArray> parts = requestLine.split(' ');
    const QString target = parts.size() >= 2 ? QString::fromLatin1(parts[1]) : QString();
    if (stalls(target)) return;
    const QString page = target.startsWith(u'/') ? Page(target) : QString();
    const int status = page.isEmpty() ? 404 : 200;
    const QString html = page.isEmpty()
                             ? head(QStringLiteral("Страница не найдена"), m_options.utf8) +
                                   QStringLiteral("<P>Такой страницы на сайте нет.</P>\r\n") + tail()
                             : page;
    const QByteArray body = m_options.utf8 ? html.toUtf8() : textfile::ToCp1251(html);
    QByteArray response = "HTTP/1.1 " + QByteArray::number(status) + ' ' + statusText(status) + "\r\n";
    // The old site names its character set only in the page's meta tag.
    response += m_options.utf8 ? "Content-Type: text/html; charset=utf-8\r\n" : "Content-Type: text/html\r\n";
    response += "Content-Length: " + QByteArray::number(body.size()) + "\r\nConnection: keep-alive\r\n\r\n";
    response += body;
    if (m_options.delayMs <= 0) {
        send(socket, response);
        return;
    }
    QTimer::singleShot(m_options.delayMs, this, [this, socket = QPointer<QTcpSocket>(socket), response] {
        if (socket) send(socket, response);
    });
}

void DemoSite::send(QTcpSocket* socket, const QByteArray& response)
{
    socket->write(response);
}
