#include "data/sqlserver.h"

#include "common/error.h"

#include <QRegularExpression>
#include <QStringList>

#include <arpa/inet.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace sqlserver {

Address parse(const QString &dataSource)
{
    Address a;
    QString s = dataSource.trimmed();
    if (s.startsWith(QStringLiteral("tcp:"), Qt::CaseInsensitive))
        s = s.mid(4);
    if (const qsizetype comma = s.indexOf(QLatin1Char(',')); comma >= 0) {
        bool ok = false;
        a.port = s.mid(comma + 1).trimmed().toInt(&ok);
        if (!ok || a.port < 1 || a.port > 65535)
            a.error = QStringLiteral("\"%1\" names no port that can be used after the comma").arg(dataSource);
        s = s.left(comma).trimmed();
    } else if (const qsizetype slash = s.indexOf(QLatin1Char('\\')); slash >= 0) {
        a.instance = s.mid(slash + 1).trimmed();
        s = s.left(slash).trimmed();
        if (a.instance.isEmpty())
            a.error = QStringLiteral("\"%1\" names no instance after the \"\\\"").arg(dataSource);
    }
    if (s == QStringLiteral(".") || s.compare(QStringLiteral("(local)"), Qt::CaseInsensitive) == 0)
        s = QStringLiteral("127.0.0.1");
    a.host = s;
    if (a.host.isEmpty() && a.error.isEmpty())
        a.error = QStringLiteral("no server is named in the settings");
    return a;
}

int instancePort(const QString &host, const QString &instance, int browserPort, int milliseconds)
{
    const QString what = QStringLiteral("The SQL Server Browser on %1 (UDP port %2) did not give the port of the instance %3")
                             .arg(host).arg(browserPort).arg(instance);
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_DGRAM;
    addrinfo *found = nullptr;
    if (::getaddrinfo(host.toUtf8().constData(), QByteArray::number(browserPort).constData(), &hints, &found) != 0 || !found)
        throw DbError(QStringLiteral("The server name %1 is not known on this network.").arg(host));
    const int fd = ::socket(found->ai_family, SOCK_DGRAM, 0);
    QByteArray request("\x04", 1);
    request += instance.toLatin1();
    const bool sent = fd >= 0 && ::sendto(fd, request.constData(), size_t(request.size()), 0, found->ai_addr, found->ai_addrlen) >= 0;
    ::freeaddrinfo(found);
    if (!sent) {
        if (fd >= 0)
            ::close(fd);
        throw DbError(what + QStringLiteral(": the request could not be sent."));
    }
    pollfd p{fd, POLLIN, 0};
    char buffer[4096];
    ssize_t n = -1;
    if (::poll(&p, 1, milliseconds) == 1)
        n = ::recv(fd, buffer, sizeof buffer, 0);
    ::close(fd);
    if (n <= 3)
        throw DbError(what + QStringLiteral(" within %1 seconds.").arg(milliseconds / 1000));
    // 0x05, two bytes of length, then "ServerName;S;InstanceName;I;...;tcp;1433;;"
    const QStringList parts = QString::fromLatin1(buffer + 3, int(n - 3)).split(QLatin1Char(';'));
    for (int i = 0; i + 1 < parts.size(); ++i)
        if (parts[i].compare(QStringLiteral("tcp"), Qt::CaseInsensitive) == 0) {
            bool ok = false;
            const int port = parts[i + 1].toInt(&ok);
            if (ok && port > 0 && port < 65536)
                return port;
        }
    throw DbError(what + QStringLiteral(": the instance takes no TCP connections."));
}

QString password(const QString &cs)
{
    static const QRegularExpression key(QStringLiteral("(^|;)\\s*Password\\s*="), QRegularExpression::CaseInsensitiveOption);
    const auto m = key.match(cs);
    return m.hasMatch() ? cs.mid(m.capturedEnd()) : QString();
}

QString odbcValue(const QString &v)
{
    static const QRegularExpression special(QStringLiteral("[;{}= \\t]"));
    if (v.contains(special) || v != v.trimmed())
        return QLatin1Char('{') + QString(v).replace(QLatin1Char('}'), QStringLiteral("}}")) + QLatin1Char('}');
    return v;
}

QString odbcConnectionString(const Address &a, const QString &catalog, const Login &login)
{
    QString odbc = QStringLiteral("DRIVER={%1};SERVER=%2;PORT=%3;DATABASE=%4;TDS_Version=%5;Timeout=%6;")
                       .arg(login.driver, odbcValue(a.host))
                       .arg(a.port)
                       .arg(odbcValue(catalog), login.tdsVersion)
                       .arg(login.statementSeconds);
    if (login.trusted)
        odbc += QStringLiteral("Trusted_Connection=Yes;");
    else
        odbc += QStringLiteral("UID=%1;PWD=%2;").arg(odbcValue(login.user), odbcValue(login.password));
    return odbc;
}

QString loginFailure(const QString &dataSource, const QString &host, const QString &catalog, int port, const QString &driverText,
                     int loginSeconds)
{
    const QString where = QStringLiteral("SQL Server %1 (port %2)").arg(host).arg(port);
    const QString head = QStringLiteral("Cannot open the database %1 on %2: ").arg(catalog, dataSource);
    if (driverText.contains(QStringLiteral("Timeout expired"), Qt::CaseInsensitive))
        return head + QStringLiteral("%1 did not answer the login within %2 seconds.").arg(where).arg(loginSeconds);
    if (driverText.contains(QStringLiteral("Unknown host"), Qt::CaseInsensitive))
        return head + QStringLiteral("the server name %1 is not known on this network.").arg(host);
    if (driverText.contains(QStringLiteral("unavailable or does not exist"), Qt::CaseInsensitive)
        || driverText.contains(QStringLiteral("connection failed"), Qt::CaseInsensitive))
        return head + QStringLiteral("nothing answers as %1.").arg(where);
    if (driverText.contains(QStringLiteral("Login failed"), Qt::CaseInsensitive))
        return head + QStringLiteral("%1 refused the login (check the user name and password in the settings).").arg(where);
    if (driverText.contains(QStringLiteral("Cannot open database"), Qt::CaseInsensitive))
        return head + QStringLiteral("%1 has no database %2, or the login may not use it.").arg(where, catalog);
    if (driverText.contains(QStringLiteral("Can't open lib"), Qt::CaseInsensitive)
        || driverText.contains(QStringLiteral("not found"), Qt::CaseInsensitive))
        return head + QStringLiteral("the ODBC driver for SQL Server (FreeTDS, Debian package tdsodbc) is not installed.");
    return head + QStringLiteral("%1 did not accept the connection.").arg(where);
}

} // namespace sqlserver
