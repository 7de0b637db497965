// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QTcpServer>
#include <QUrl>

#include <functional>

class QTcpSocket;

namespace testsupport {

// A web server on 127.0.0.1 for the tests that load pages: it answers each
// request target with the bytes stored for it (404 for the rest), closes the
// connection, and notes every target and when it came. A test that needs a
// path to misbehave (never answer, stream, redirect forever) answers it in
// `special`, which takes over a request by returning true.
class HttpServer : public QObject
{
public:
    QHash<QByteArray, QByteArray> routes;
    std::function<bool(QTcpSocket* socket, const QByteArray& target)> special;
    QList<QByteArray> targets;
    QList<qint64> times;                                     // ms since Listen
    QByteArray notFound = Response("404 Not Found", "", ""); // for a target without a route

    // Starts on a free port; false when no port could be had.
    [[nodiscard]] bool Listen();
    // "http://127.0.0.1:<port>", without a slash at the end.
    QString Address() const;
    QUrl Url(QByteArrayView target) const;

    // A whole HTTP/1.1 response with its length declared, closing the connection.
    static QByteArray Response(const QByteArray& status, const QByteArray& headers, const QByteArray& body);

private:
    void onRequest(QTcpSocket* socket);

    QTcpServer m_server;
    QHash<QTcpSocket*, QByteArray> m_pending;
    QElapsedTimer m_clock;
};

// An address on 127.0.0.1 where nothing listens (a port that was free a
// moment ago): a connection there is refused.
QString RefusingAddress();

} // namespace testsupport
