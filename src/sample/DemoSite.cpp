// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "sample/DemoSite.h"

#include "platform/TextFile.h"
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

const char* const kListQuery = "index.php?razdel=12&amp;priceb=0&amp;pricee=0&amp;dist=0&amp;kom=0&amp;"
                               "street=&amp;m=r3&amp;id=12&amp;s=&amp;a=&amp;page=";

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

QString floorText(const std::array<QString, 18>& f)
{
    return f[16].isEmpty() ? f[2] : f[2] + u'/' + f[16];
}

QString areasText(const std::array<QString, 18>& f)
{
    return f[6] + u'/' + f[7] + u'/' + f[8];
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

std::array<QString, 18> DemoSite::listing(int index) const
{
    auto f = sample::GenerateListing(quint64(index));
    if (const auto price = m_options.prices.constFind(index); price != m_options.prices.cend()) f[5] = *price;
    return f;
}

int DemoSite::PageCount() const
{
    return std::max(1, (m_options.count + m_options.pageSize - 1) / m_options.pageSize);
}

QString DemoSite::DetailLink(int index)
{
    return QStringLiteral("index.php?m=r3&amp;id=12&amp;obj=") + QString::number(index + 1);
}

QString DemoSite::StartPage() const
{
    const int announced = m_options.announced < 0 ? m_options.count : m_options.announced;
    return head(QStringLiteral("Продажа квартир"), m_options.utf8) +
           QStringLiteral("<P><B>Продажа квартир</B><BR>\r\nВсего предложений: ") +
           QString::number(announced) + QStringLiteral("<BR>\r\n<A href=\"") +
           QString::fromLatin1(kListQuery) + QStringLiteral("1\">Смотреть предложения</A></P>\r\n") + tail();
}

QString DemoSite::ListPage(int page) const
{
    page = std::clamp(page, 1, PageCount());
    const int first = (page - 1) * m_options.pageSize;
    const int last = std::min(m_options.count, first + m_options.pageSize);

    QString html = head(QStringLiteral("Продажа квартир, страница ") + QString::number(page), m_options.utf8);
    html.reserve(html.size() + 1200 * (last - first) + 2000);
    html += QStringLiteral(
        "<TABLE width=\"100%\" border=1 cellspacing=0 cellpadding=2>\r\n"
        "<TR bgcolor=\"#DDDDDD\"><TD>Дата</TD><TD>Фото</TD><TD>Комнат</TD><TD>Этаж</TD><TD>Тип дома</TD>"
        "<TD>Адрес</TD><TD>Площадь</TD><TD>Описание</TD><TD>Цена, тыс. руб.</TD><TD>Агентство</TD></TR>\r\n");
    for (int i = first; i < last; ++i) {
        const auto f = listing(i);
        html += QStringLiteral("<TR><TD>") + esc(f[14]) + QStringLiteral("</TD><TD align=center>") +
                (i % 3 == 0 ? QStringLiteral("<IMG src=\"foto.gif\" width=16 height=16 alt=\"фото\">")
                            : QStringLiteral("&nbsp;")) +
                QStringLiteral("</TD><TD>") + esc(f[1]) + QStringLiteral("</TD><TD>") + esc(floorText(f)) +
                QStringLiteral("</TD><TD>") + esc(f[3]) + QStringLiteral("</TD><TD>") + esc(f[4]) +
                QStringLiteral("</TD><TD>") + esc(areasText(f)) + QStringLiteral("</TD><TD><A href=\"") +
                DetailLink(i) + QStringLiteral("\">") + esc(f[15]) + QStringLiteral("</A></TD><TD>") +
                esc(f[5]) + QStringLiteral("</TD><TD>") + esc(f[13]) + QStringLiteral("</TD></TR>\r\n");
    }
    html += QStringLiteral("</TABLE>\r\n<TABLE border=0><TR><TD>Страницы: ");
    for (int p = 1; p <= PageCount(); ++p) {
        html += p == page ? QString(QStringLiteral("<B>") + QString::number(p) + QStringLiteral("</B> "))
                          : QString(QStringLiteral("<A href=\"") + QString::fromLatin1(kListQuery) +
                                    QString::number(p) + QStringLiteral("\">") + QString::number(p) +
                                    QStringLiteral("</A> "));
    }
    html += QStringLiteral("</TD></TR></TABLE>\r\n") + tail();
    return html;
}

QString DemoSite::DetailPage(int index) const
{
    const auto f = listing(index);
    // Row order matters to readers of the page: district 0, stop 2, distance
    // 3, bathroom 8, house type 9, telephone 12.
    const std::array<std::pair<const char16_t*, QString>, 18> rows = {{
        {u"Район", f[0]},
        {u"Адрес", f[4]},
        {u"Ближайшая остановка", f[9]},
        {u"До остановки, м", f[10]},
        {u"Комнат", f[1]},
        {u"Этаж", floorText(f)},
        {u"Площадь: общая/жилая/кухня", areasText(f)},
        {u"Цена, тыс. руб.", f[5]},
        {u"Санузел", f[11]},
        {u"Тип дома", f[3]},
        {u"Этажность", f[16]},
        {u"Агентство", f[13]},
        {u"Телефон", f[12]},
        {u"Дата подачи", f[14]},
        {u"Описание", f[15]},
        {u"Номер объявления", QString::number(index + 1)},
        {u"Продавец", QStringLiteral("агентство")},
        {u"Просмотров", QString::number((index * 37) % 400 + 3)},
    }};
    QString html = head(QStringLiteral("Объявление № ") + QString::number(index + 1), m_options.utf8);
    html += QStringLiteral("<TABLE border=0 cellpadding=3 cellspacing=1 bgcolor=\"#F4F4F4\">\r\n");
    for (const auto& [label, value] : rows) {
        html += QStringLiteral("<TR><TD width=200><B>") + QString::fromUtf16(label) +
                QStringLiteral("</B></TD><TD>") + esc(value) + QStringLiteral("</TD></TR>\r\n");
    }
    html += QStringLiteral("</TABLE>\r\n<P><A href=\"") + QString::fromLatin1(kListQuery) +
            QString::number(index / m_options.pageSize + 1) +
            QStringLiteral("\">Вернуться к списку</A></P>\r\n") + tail();
    return html;
}

QString DemoSite::Page(const QString& target) const
{
    const QUrl url(QStringLiteral("http://127.0.0.1") + target);
    const QString path = url.path();
    if (path != QLatin1String("/") && path != QLatin1String("/index.php")) return {};
    const QUrlQuery query(url);
    if (query.hasQueryItem(QStringLiteral("obj"))) {
        bool ok = false;
        const int obj = query.queryItemValue(QStringLiteral("obj")).toInt(&ok);
        return ok && obj >= 1 && obj <= m_options.count ? DetailPage(obj - 1) : QString();
    }
    if (query.hasQueryItem(QStringLiteral("page")))
        return ListPage(query.queryItemValue(QStringLiteral("page")).toInt());
    return StartPage();
}

bool DemoSite::stalls(const QString& target) const
{
    const QUrlQuery query(QUrl(QStringLiteral("http://127.0.0.1") + target));
    switch (m_options.stall) {
    case Stall::None:
        return false;
    case Stall::StartPage:
        return !query.hasQueryItem(QStringLiteral("obj")) && !query.hasQueryItem(QStringLiteral("page"));
    case Stall::ListPages:
        return query.hasQueryItem(QStringLiteral("page"));
    case Stall::DetailPages:
        return query.hasQueryItem(QStringLiteral("obj"));
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
