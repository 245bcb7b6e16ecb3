// The SQL Server road without a server: how office server names map onto
// FreeTDS, loopback listeners that accept and never answer (the time
// limits), a SQL Server Browser on loopback (named instances), and messages
// that never depend on the password.
#include "annual/annualreturn.h"
#include "app/appsettings.h"
#include "common/dates.h"
#include "common/money.h"
#include "data/recordset.h"
#include "common/error.h"
#include "data/connection.h"
#include "data/connectionstrings.h"
#include "data/sqlserver.h"
#include "support/office.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <thread>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {
// A socket bound on loopback (port 0: any free one); the port it got.
int loopback(int type, int port, int &bound)
{
    const int fd = ::socket(AF_INET, type, 0);
    const int on = 1;
    ::setsockopt(fd, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(quint16(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    bound = ::bind(fd, reinterpret_cast<sockaddr *>(&a), sizeof a) == 0 ? port : -1;
    socklen_t len = sizeof a;
    ::getsockname(fd, reinterpret_cast<sockaddr *>(&a), &len);
    if (bound >= 0)
        bound = ntohs(a.sin_port);
    return fd;
}

// A loopback TCP listener that never answers: the system completes the
// connections into its backlog, and nothing ever reads them.
class SilentServer {
public:
    explicit SilentServer(int port = 0) : m_fd(loopback(SOCK_STREAM, port, m_port)) { ::listen(m_fd, 128); }
    ~SilentServer() { ::close(m_fd); }
    int port() const { return m_port; }
    bool bound() const { return m_port > 0; }

private:
    int m_port = -1;
    int m_fd;
};

// A SQL Server Browser on loopback that names the TCP port of one instance.
class Browser {
public:
    Browser(const QString &instance, int tcpPort) : m_fd(loopback(SOCK_DGRAM, 0, m_port))
    {
        const QByteArray text = u"ServerName;SRV1;InstanceName;%1;IsClustered;No;Version;15.0;tcp;%2;;"_s.arg(instance).arg(tcpPort).toLatin1();
        const QByteArray reply = QByteArray("\x05", 1) + char(text.size() & 0xff) + char(text.size() >> 8) + text;
        m_thread = std::thread([this, reply] {
            pollfd p{m_fd, POLLIN, 0};
            char buf[256];
            sockaddr_in from{};
            socklen_t fl = sizeof from;
            if (::poll(&p, 1, 5000) == 1) {
                m_request = QByteArray(buf, int(std::max<ssize_t>(::recvfrom(m_fd, buf, sizeof buf, 0, reinterpret_cast<sockaddr *>(&from), &fl), 0)));
                ::sendto(m_fd, reply.constData(), size_t(reply.size()), 0, reinterpret_cast<sockaddr *>(&from), fl);
            }
        });
    }
    ~Browser()
    {
        m_thread.join();
        ::close(m_fd);
    }
    int port() const { return m_port; }
    QByteArray request() const { return m_request; }

private:
    int m_port = -1;
    int m_fd;
    QByteArray m_request;
    std::thread m_thread;
};

QString openFailure(const QString &dataSource, const QString &password)
{
    SettingFields f;
    f.chkSQL = 1;
    f.txtDatabase = dataSource;
    f.chkAdmin = 1;
    f.sqlUserName = u"sa"_s;
    f.sqlPW = password;
    Connection c;
    c.setConnectionString(connectionStringFor(f, u"Tarnwell"_s, QString()).connectionString);
    try {
        c.open();
    } catch (const DbError &e) {
        return e.description();
    }
    return u"opened"_s;
}
} // namespace

class tst_sqlserver : public QObject {
    Q_OBJECT
private slots:
    void initTestCase() { Connection::setLoginSeconds(1); }

    void serverNames_data()
    {
        QTest::addColumn<QString>("dataSource");
        QTest::addColumn<QString>("odbc");
        const QString tail = u"DATABASE=TarnMain;TDS_Version=7.4;Timeout=300;UID=sa;PWD=pw;"_s;
        QTest::newRow("plain name") << "SRV1" << "DRIVER={FreeTDS};SERVER=SRV1;PORT=1433;" + tail;
        QTest::newRow("address") << "127.0.0.1" << "DRIVER={FreeTDS};SERVER=127.0.0.1;PORT=1433;" + tail;
        QTest::newRow("explicit port") << "SRV1,1433" << "DRIVER={FreeTDS};SERVER=SRV1;PORT=1433;" + tail;
        QTest::newRow("other port, blanks") << " SRV1 , 14330 " << "DRIVER={FreeTDS};SERVER=SRV1;PORT=14330;" + tail;
        QTest::newRow("tcp prefix") << "tcp:SRV1,1500" << "DRIVER={FreeTDS};SERVER=SRV1;PORT=1500;" + tail;
        QTest::newRow("bad port") << "SRV1,x" << "";
        QTest::newRow("empty") << "" << "";
        QTest::newRow("instance without name") << "SRV1\\" << "";
    }

    void serverNames()
    {
        QFETCH(QString, dataSource);
        QFETCH(QString, odbc);
        const sqlserver::Address a = sqlserver::parse(dataSource);
        QCOMPARE(a.error.isEmpty(), !odbc.isEmpty());
        if (odbc.isEmpty())
            return;
        sqlserver::Login login;
        login.user = u"sa"_s;
        login.password = u"pw"_s;
        QCOMPARE(sqlserver::odbcConnectionString(a, u"TarnMain"_s, login), odbc);
        const sqlserver::Address named = sqlserver::parse(u"SRV1\\SQLEXPRESS"_s);
        QCOMPARE(named.host, u"SRV1"_s);
        QCOMPARE(named.instance, u"SQLEXPRESS"_s);
    }

    void passwordsNeverInMessages_data()
    {
        QTest::addColumn<QString>("password");
        for (const char *pw : {";", "a;b=c", "{x}}", " blank ", "e", "Server", "SQL Server", "Password=1;", "pw"})
            QTest::newRow(pw) << QString::fromLatin1(pw);
    }

    // The whole value after "Password=" is the password; and every message of
    // the road is the same whatever the password, so none can show it.
    void passwordsNeverInMessages()
    {
        QFETCH(QString, password);
        SettingFields f;
        f.chkSQL = 1;
        f.txtDatabase = u"SRV1"_s;
        f.chkAdmin = 1;
        f.sqlPW = password;
        QCOMPARE(sqlserver::password(connectionStringFor(f, u"TarnTran"_s, QString()).connectionString), password);
        static SilentServer silent;
        const QStringList sources{u"127.0.0.1,1"_s, u"127.0.0.1,%1"_s.arg(silent.port()),
                                  u"no-such-host.invalid"_s, u"SRV1,x"_s};
        static QHash<QString, QString> other; // the message with another password, per kind of failure
        for (const QString &source : sources) {
            if (!other.contains(source))
                other[source] = openFailure(source, u"other"_s);
            const QString withPassword = openFailure(source, password);
            QCOMPARE(withPassword, other[source]);
            QVERIFY2(withPassword.startsWith(u"Cannot open the database TarnMain"_s), qPrintable(withPassword));
        }
    }

    void silentServerEndsInTime()
    {
        QCOMPARE(sqlserver::kLoginSeconds, 20);
        SilentServer silent;
        QElapsedTimer t;
        t.start();
        const QString message = openFailure(u"127.0.0.1,%1"_s.arg(silent.port()), u"pw"_s);
        QVERIFY2(t.elapsed() < 10000, qPrintable(QString::number(t.elapsed())));
        QCOMPARE(message, u"Cannot open the database TarnMain on 127.0.0.1,%1: SQL Server 127.0.0.1 (port %1) did not answer the login within 1 seconds."_s
                              .arg(silent.port()));
        // A plain address goes to port 1433.
        SilentServer standard(1433);
        if (standard.bound())
            QVERIFY(openFailure(u"127.0.0.1"_s, u"pw"_s).contains(u"(port 1433) did not answer"_s));
        QCOMPARE(openFailure(u"127.0.0.1,1"_s, u"pw"_s),
                 u"Cannot open the database TarnMain on 127.0.0.1,1: nothing answers as SQL Server 127.0.0.1 (port 1)."_s);
    }

    void namedInstanceThroughTheBrowser()
    {
        SilentServer instance;
        Browser browser(u"SQLEXPRESS"_s, instance.port());
        QCOMPARE(sqlserver::instancePort(u"127.0.0.1"_s, u"SQLEXPRESS"_s, browser.port(), 2000), instance.port());
        QCOMPARE(browser.request(), QByteArray("\x04SQLEXPRESS"));
    }

    void browserThatDoesNotAnswer()
    {
        SilentServer nobody; // a port with nothing behind it for UDP
        QElapsedTimer t;
        t.start();
        try {
            sqlserver::instancePort(u"127.0.0.1"_s, u"SQLEXPRESS"_s, nobody.port(), 300);
            QFAIL("an answer came from nowhere");
        } catch (const DbError &e) {
            QVERIFY2(e.description().startsWith(u"The SQL Server Browser on 127.0.0.1 (UDP port %1) did not give the port of the instance SQLEXPRESS"_s
                                                    .arg(nobody.port())),
                     qPrintable(e.description()));
        }
        QVERIFY(t.elapsed() < 3000);
    }

    // The ODBC road that SQL Server mode takes (Qt's ODBC driver, unixODBC), run
    // with Debian's SQLite ODBC driver in FreeTDS's place: the statements that
    // are sent as written on both roads, and the values and types they give.
    void odbcRoadReadsTarnwell()
    {
        if (!QFile::exists(u"/usr/lib/x86_64-linux-gnu/odbc/libsqlite3odbc.so"_s))
            QSKIP("the SQLite ODBC driver (libsqliteodbc) is not installed");
        TestOffice office;
        for (const QString &sql : {u"INSERT INTO Control VALUES ('Demo CU', '2026-04-05')"_s,
                                   u"INSERT INTO Product VALUES ('CTF', 'Child Trust Fund', 3), ('S1', 'Shares', 1)"_s,
                                   u"INSERT INTO MemberBals VALUES (201, 12.75, 0, 0, 0), (202, 0.0001, 0, 0, 0)"_s,
                                   u"INSERT INTO MemberBalances VALUES (201, 'CTF', 1200.5)"_s,
                                   // SQL Server's datetime column: the driver hands the date of birth over as a date-time.
                                   u"DROP TABLE MemberMain"_s,
                                   u"CREATE TABLE MemberMain (MemberNo INTEGER PRIMARY KEY, Forename TEXT, Surname TEXT, DOB DATETIME, NINumber TEXT)"_s,
                                   u"INSERT INTO MemberMain VALUES (201, 'A', 'B', '2010-02-28 00:00:00', NULL)"_s})
            office.exec(kTarn, sql);
        office.close(kTarn);
        QTemporaryDir catalogues; // the catalogue names, as files the SQLite ODBC driver opens
        for (const QString &name : {u"TarnMain"_s, u"TarnTran"_s})
            office.writeFile(catalogues.filePath(name), office.readFile(kTarn));
        const QString before = QDir::currentPath();
        QDir::setCurrent(catalogues.path());
        qputenv("CTFADMIN_ODBC_DRIVER", "SQLite3");
        SettingFields f;
        f.chkSQL = 1;
        f.txtDatabase = u"SRV1"_s;
        {
            annual::AnnualReturn run(f);
            run.open();
            QCOMPARE(run.memberConnection().backend(), Connection::Backend::SqlServer);
            const auto control = run.readControl();
            QCOMPARE(control.cuname + u' ' + dates::fromVariant(control.yearEnd).value_or(QDate()).toString(Qt::ISODate), u"Demo CU 2026-04-05"_s);
            QStringList products;
            for (const annual::ProductItem &i : run.loadProducts())
                products << i.text + (i.selected ? u"*"_s : QString());
            QCOMPARE(products, QStringList({"CTF - Child Trust Fund*", "S1 - Shares"}));
            Recordset rs;
            rs.open(u"Select * from MemberBals where S1Bal > 0 ;"_s, run.memberConnection());
            QStringList seen;
            for (; !rs.eof(); rs.moveNext())
                seen << rs.value(u"MemberNo"_s).toString() + QLatin1Char('=') + Money::read(rs.value(u"S1Bal"_s))->plain();
            QCOMPARE(seen, QStringList({"201=12.75", "202=0.0001"}));
            rs.open(u"Select * FROM MemberBalances WHERE ProductCode IN ('CTF') ;"_s, run.memberConnection());
            QCOMPARE(Money::read(rs.value(u"Balance"_s))->plain(), u"1200.5"_s);
            rs.open(u"Select DOB, NINumber from MemberMain where MemberNo = 201 ;"_s, run.memberConnection());
            QVERIFY(rs.value(u"NINumber"_s).isNull());
            QCOMPARE(rs.value(u"DOB"_s).metaType(), QMetaType::fromType<QDateTime>());
            QCOMPARE(dates::fromVariant(rs.value(u"DOB"_s)), std::optional<QDate>(QDate(2010, 2, 28)));
        }
        qunsetenv("CTFADMIN_ODBC_DRIVER");
        QDir::setCurrent(before);
    }
};

QTEST_GUILESS_MAIN(tst_sqlserver)
#include "tst_sqlserver.moc"
