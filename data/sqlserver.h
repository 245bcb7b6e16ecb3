#pragma once
// How a SQL Server connection string of the office's format reaches a server
// through unixODBC and FreeTDS, with nothing left to a freetds.conf the
// office does not have:
// - "Data Source" as offices write it: "SRV1" or an address (port 1433),
//   "SRV1,1433" (an explicit port), "SRV1\SQLEXPRESS" (a named instance,
//   whose port the SQL Server Browser on UDP 1434 gives; ctfadmin asks it
//   itself, with its own time limit). FreeTDS is given SERVER, PORT and the
//   TDS version.
// - Time limits: a login that gets no answer ends after kLoginSeconds; a
//   statement that gets no answer after kStatementSeconds (FreeTDS's query
//   timeout), long enough for the largest per-member statement of an annual
//   return on a busy server.
// - Passwords: the password is the whole text after "Password=" (the
//   connection string ends with it, with no closing ";"), so a password may
//   hold ";", "=", "{" or blanks; it reaches the server as one ODBC value in
//   braces. No message is ever built from the driver's own text: failures are
//   told from the server's name, the catalogue and what did not answer, so a
//   password never appears in one, whatever it contains.
#include <QString>

namespace sqlserver {

inline constexpr int kLoginSeconds = 20;
inline constexpr int kStatementSeconds = 300;
inline constexpr int kBrowserMilliseconds = 5000;

struct Address {
    QString host;
    int port = 1433;
    QString instance;   // a named instance whose port is still to be asked for
    QString error;      // a Data Source that names no server
};

// "SRV1", "SRV1,1433", "SRV1\SQLEXPRESS", "127.0.0.1".
Address parse(const QString &dataSource);

// Asks the SQL Server Browser on host (UDP browserPort) for the TCP port of
// an instance; throws DbError naming the server and the instance.
int instancePort(const QString &host, const QString &instance, int browserPort = 1434, int milliseconds = kBrowserMilliseconds);

// The text after "Password=" up to the end of the connection string.
QString password(const QString &connectionString);

// An ODBC attribute value: in braces when it holds ";", "{", "}", "=" or blanks.
QString odbcValue(const QString &value);

struct Login {
    QString driver = QStringLiteral("FreeTDS");
    QString tdsVersion = QStringLiteral("7.4");
    bool trusted = false;
    QString user;
    QString password;
    int statementSeconds = kStatementSeconds;
};
// The ODBC connection string for a resolved address (port known).
QString odbcConnectionString(const Address &address, const QString &catalog, const Login &login);

// A failure to log in told without the driver's text: what did not answer
// or what was refused, from the driver's message and state (read, never shown).
QString loginFailure(const QString &dataSource, const QString &host, const QString &catalog, int port, const QString &driverText,
                     int loginSeconds);

} // namespace sqlserver
