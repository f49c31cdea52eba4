#include "PhoneClient.h"

#include <QSslSocket>
#include <QTcpServer>

QByteArray PhoneAnswer::header(const QByteArray &name) const {
    for (const QByteArray &line : head.split('\n')) {
        const int colon = line.indexOf(':');
        if (colon > 0 && line.left(colon).trimmed().compare(name, Qt::CaseInsensitive) == 0)
            return line.mid(colon + 1).trimmed();
    }
    return {};
}

QByteArray phoneRequest(quint16 port, const QByteArray &method, const QByteArray &path,
                        const QByteArray &body, const QList<QByteArray> &headers) {
    QByteArray request =
        method + ' ' + path + " HTTP/1.1\r\nHost: 127.0.0.1:" + QByteArray::number(port) + "\r\n";
    if (method == "POST")
        request += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    for (const QByteArray &header : headers)
        request += header + "\r\n";
    return request + "\r\n" + body;
}

PhoneAnswer phoneAsk(quint16 port, const QByteArray &method, const QByteArray &path,
                     const QByteArray &body, const QList<QByteArray> &headers,
                     const QHostAddress &from) {
    PhoneAnswer answer;
    QSslSocket socket;
    if (!from.isNull() && !socket.bind(from))
        return answer;
    socket.setPeerVerifyMode(QSslSocket::VerifyNone);
    socket.connectToHostEncrypted(QStringLiteral("127.0.0.1"), port);
    if (!socket.waitForEncrypted(5000))
        return answer;
    socket.write(phoneRequest(port, method, path, body, headers));
    QByteArray received;
    qsizetype end = -1;
    qsizetype length = -1;
    while (socket.waitForReadyRead(5000) || socket.bytesAvailable() > 0) {
        received += socket.readAll();
        if (end < 0 && (end = received.indexOf("\r\n\r\n")) >= 0) {
            answer.head = received.left(end);
            length = answer.header("Content-Length").toLongLong();
        }
        if (end >= 0 && received.size() >= end + 4 + length)
            break;
    }
    if (end < 0)
        return answer;
    answer.status = answer.head.mid(9, 3).toInt();
    answer.body = received.mid(end + 4, length);
    return answer;
}

quint16 freeLoopbackPort() {
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}
