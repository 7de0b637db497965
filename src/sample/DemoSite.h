// SPDX-License-Identifier: GPL-3.0-or-later
// SPDX-FileCopyrightText: 2026 Vestrana developers
#pragma once

#include "import/SiteLayout.h"
#include "store/Fields.h"

#include <QByteArray>
#include <QHash>
#include <QObject>
#include <QString>

#include <array>
#include <memory>
#include <optional>

class QTcpServer;
class QTcpSocket;

// Pages the demo site never answers: the connection stays open and silent.
enum class DemoSiteStall { None, StartPage, ListPages, DetailPages };

struct DemoSiteOptions
{
    int count = 1000;   // listings on the site
    int announced = -1; // offers the start page announces; -1: count
    int pageSize = 50;  // listings per list page
    int delayMs = 0;    // every answer comes this late
    DemoSiteStall stall = DemoSiteStall::None;
    bool utf8 = false; // UTF-8 pages declared in the HTTP header instead of windows-1251
    // Listings offered at another price than the sample's (index -> price),
    // as on a later visit of the site.
    QHash<int, QString> prices = {};
    // How the pages are laid out: the importer's layout, whose tables the
    // pages are written from.
    std::shared_ptr<const SiteLayout> layout = DefaultSiteLayout();
};

// A small listing site on 127.0.0.1, so that the import can be tried and
// tested on one machine. Its listings are the sample market of the fixed seed;
// its pages are old-style HTML in windows-1251, written from the tables of
// the layout the importer reads (options.layout): a start page announcing the
// number of offers, list pages of up to pageSize listings (beyond the last
// page the last one is served again) and one detail page per listing.
//
// It answers on the thread it lives on, so a run on the same thread gets its
// pages only while it lets events run.
class DemoSite : public QObject
{
    Q_OBJECT
public:
    using Stall = DemoSiteStall;
    using Options = DemoSiteOptions;

    explicit DemoSite(Options options = {}, QObject* parent = nullptr);
    ~DemoSite() override;

    // Starts serving on 127.0.0.1; port 0 picks a free one. False with
    // ErrorText() when the port cannot be had.
    [[nodiscard]] bool Listen(quint16 port = 0);
    quint16 Port() const;
    // "http://127.0.0.1:PORT"
    QString Address() const;
    QString ErrorText() const { return m_error; }
    // Requests answered or stalled so far.
    int Requests() const { return m_requests; }

    // The pages as text (before encoding), for a given request target
    // ("/index.php?..."); empty for an address the site does not have.
    QString Page(const QString& target) const;
    QString StartPage() const;
    QString ListPage(int page) const;
    QString DetailPage(int index) const;
    // The address of a listing's detail page relative to a list page.
    QString DetailLink(int index) const;
    int PageCount() const;

private:
    void onConnection();
    void onReadyRead(QTcpSocket* socket);
    void answer(QTcpSocket* socket, const QByteArray& requestLine);
    void send(QTcpSocket* socket, const QByteArray& response);
    struct Target
    {
        bool onSite = false; // the path is one of the site's
        std::optional<QString> listing;
        std::optional<QString> listPage;
    };
    Target targetOf(const QString& target) const;
    bool stalls(const QString& target) const;
    field::FieldArray<QString> listing(int index) const;

    Options m_options;
    QTcpServer* m_server;
    QHash<QTcpSocket*, QByteArray> m_buffers;
    QString m_error;
    int m_requests = 0;
};
