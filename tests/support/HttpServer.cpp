// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#include "support/HttpServer.h"

#include <QTcpSocket>

namespace testsupport {

bool HttpServer::Listen()
{
    m_clock.start();
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onRequest(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    });
    return m_server.listen(QHostAddress::LocalHost, 0);
}

QString HttpServer::Address() const
{
    return QStringLiteral("http://127.0.0.1:%1").arg(m_server.serverPort());
}

QUrl HttpServer::Url(QByteArrayView target) const
{
    return QUrl(Address() + QString::fromLatin1(target));
}

QByteArray HttpServer::Response(const QByteArray& status, const QByteArray& headers, const QByteArray& body)
{
    return "HTTP/1.1 " + status + "\r\n" + headers + "Content-Length: " + QByteArray::number(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

void HttpServer::onRequest(QTcpSocket* socket)
{
    QByteArray& request = m_pending[socket];
    request += socket->readAll();
    if (!request.contains("\r\n\r\n")) return;
    const QByteArray target = request.split(' ').value(1);
    m_pending.remove(socket);
    targets << target;
    times << m_clock.elapsed();
    if (special && special(socket, target)) return;
    socket->write(routes.value(target, notFound));
    socket->disconnectFromHost();
}

QString RefusingAddress()
{
    QTcpServer probe;
    if (!probe.listen(QHostAddress::LocalHost, 0)) return QString();
    const QString address = QStringLiteral("http://127.0.0.1:%1").arg(probe.serverPort());
    probe.close();
    return address;
}

} // namespace testsupport
