#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QList>

// A bare HTTPS client for the phone page's tests: one request on one TLS connection, the
// certificate not checked (it is self-signed), optionally from a chosen loopback address.
// It blocks the calling thread, which the page's server (in its own thread) never needs.
struct PhoneAnswer {
    int status = -1; // -1: no answer (refused, closed or timed out)
    QByteArray head;
    QByteArray body;
    QByteArray header(const QByteArray &name) const;
};

PhoneAnswer phoneAsk(quint16 port, const QByteArray &method, const QByteArray &path,
                     const QByteArray &body = {}, const QList<QByteArray> &headers = {},
                     const QHostAddress &from = {});
// A request as it goes on the wire, Host and Content-Length added.
QByteArray phoneRequest(quint16 port, const QByteArray &method, const QByteArray &path,
                        const QByteArray &body, const QList<QByteArray> &headers);
// A loopback port nobody listens on now.
quint16 freeLoopbackPort();
