#include "cli/commands.h"

#include "annual/annualreturn.h"
#include "app/appsettings.h"
#include "common/clock.h"
#include "common/ctfmodules.h"
#include "common/dates.h"
#include "common/error.h"
#include "data/accessfile.h"
#include "data/connection.h"
#include "data/schema.h"
#include "data/sqlserver.h"
#include "register/registerimport.h"
#include "platform/officeroot.h"
#include "platform/pathmapper.h"
#include "platform/registrystore.h"
#include "platform/userinterface.h"
#include "returns/checks.h"
#include "returns/entrygrid.h"
#include "returns/returnoutput.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <cstdio>

namespace cli {
namespace {

void out(const QString &s) { std::fputs((s + '\n').toLocal8Bit().constData(), stdout); }
void err(const QString &s) { std::fputs((s + '\n').toLocal8Bit().constData(), stderr); }

int wrongUsage(const QString &why)
{
    err(why);
    err(QStringLiteral("Try \"ctfadmin --help\"."));
    return 2;
}

// The connection string ends with the password: all of it is hidden,
// whatever it holds.
QString hidePassword(const QString &cs)
{
    const QString pw = sqlserver::password(cs);
    return pw.isEmpty() && !cs.contains(QStringLiteral("Password="), Qt::CaseInsensitive) ? cs : cs.left(cs.size() - pw.size()) + QStringLiteral("****");
}

// "--name value" options; false on an unknown option or a missing value.
bool options(const QStringList &args, const QStringList &valued, const QStringList &flags, QMap<QString, QString> &into,
             QStringList *positional, QString &error)
{
    for (int i = 0; i < args.size(); ++i) {
        const QString a = args[i];
        if (valued.contains(a)) {
            if (i + 1 >= args.size()) {
                error = QStringLiteral("%1 needs a value").arg(a);
                return false;
            }
            into[a] = args[++i];
        } else if (flags.contains(a)) {
            into[a] = QStringLiteral("1");
        } else if (!a.startsWith(QStringLiteral("--")) && positional) {
            *positional << a;
        } else {
            error = QStringLiteral("unknown argument %1").arg(a);
            return false;
        }
    }
    return true;
}

bool ensureDir(const QString &path)
{
    return QDir().mkpath(path);
}

} // namespace

QString usage()
{
    return QStringLiteral(
        "ctfadmin [--root DIR]                                   open the main screen\n"
        "ctfadmin --version | --help\n"
        "ctfadmin [--root DIR] setup [--demo] [--members N] [--seed S]\n"
        "        create an office root: drive_c (with C:\\temp), drive_k, the returns folder\n"
        "        K:\\Returns\\ named in settings.ini, an empty register K:\\CTF.mdb and the\n"
        "        Tarnwell tables in K:\\Tarnwell.mdb; --demo fills them with sample data\n"
        "        (N members) and also writes system.reg with a Tarnwell folder other than\n"
        "        K:\\ holding the files it needs (K:\\Tarnwell\\), so that every screen\n"
        "        works; an existing file is never overwritten\n"
        "ctfadmin [--root DIR] settings                          the settings, one \"name: value\" line each\n"
        "ctfadmin [--root DIR] return [--period-end DD/MM/YYYY]  the periodic return IRReturn.txt\n"
        "ctfadmin [--root DIR] recreate LOGFILE                  the return re-created from a log copy\n"
        "ctfadmin [--root DIR] annual --share-account N --start DD/MM/YY --end DD/MM/YY\n"
        "ctfadmin [--root DIR] annual --products CODE[,CODE...] --start DD/MM/YY --end DD/MM/YY\n"
        "        the annual return CTFANRTN.txt\n"
        "ctfadmin [--root DIR] enquiry [--all] [--csv]           the enquiry grid's rows\n"
        "ctfadmin [--root DIR] import-register\n"
        "        the register that is still a Microsoft Access file (K:\\CTF.mdb, or CTF.MDB beside\n"
        "        the program) converted in place into the register ctfadmin keeps; the Access\n"
        "        original is kept beside it, unchanged, as \"CTF (Access original YYYY-MM-DD).mdb\"\n"
        "ctfadmin [--root DIR] check [--annual (--share-account N | --products CODE[,CODE...])\n"
        "                              --start DD/MM/YY --end DD/MM/YY]\n"
        "        pre-submission checks: of the entries the next periodic return would take, or\n"
        "        (--annual) of what that annual return would write and leave out; one finding\n"
        "        a line (\"ID <n>: ...\", \"Member <n>: ...\") and a summary line last; exit 0\n"
        "        when nothing is found, 1 when something is; no return file is written\n"
        "ctfadmin [--root DIR] convert ACCESSFILE SQLITEFILE\n"
        "        every table of a Microsoft Access file into a new SQLite file (Windows or host paths)\n"
        "\n"
        "The office root is --root DIR, else $CTFADMIN_ROOT, else $XDG_DATA_HOME/ctfadmin.\n"
        "Exit status: 0 done; 1 input refused; 2 wrong usage; 3 a database or file failure;\n"
        "4 (return) the return was created and marked, but its log copy could not be made.\n");
}

void printSettings()
{
    const SettingFields &s = appsettings::fields();
    out(QStringLiteral("chkSQL: %1").arg(s.chkSQL));
    out(QStringLiteral("txtDatabase: %1").arg(s.txtDatabase));
    out(QStringLiteral("chkAdmin: %1").arg(s.chkAdmin));
    out(QStringLiteral("sqlPW: %1").arg(s.sqlPW.isEmpty() ? QString() : QStringLiteral("****")));
    out(QStringLiteral("sqlUserName: %1").arg(s.sqlUserName));
    out(QStringLiteral("SQLSubset: %1").arg(s.SQLSubset));
    out(QStringLiteral("returns folder: %1").arg(GetReturnsPath()));
    out(QStringLiteral("CTF: %1").arg(hidePassword(GetConnectionString(QStringLiteral("CTF")))));
    out(QStringLiteral("Tarnwell: %1").arg(hidePassword(GetConnectionString(QStringLiteral("Tarnwell")))));
    out(QStringLiteral("TarnTran: %1").arg(hidePassword(GetConnectionString(QStringLiteral("TarnTran")))));
}

int settings(const QStringList &args)
{
    if (!args.isEmpty())
        return wrongUsage(QStringLiteral("settings takes no arguments"));
    printSettings();
    return 0;
}

namespace {
// The demo office as an office moving from Windows brings it: the registry
// key exported by the registry editor (UTF-16, version 5.00) naming a
// Tarnwell folder other than K:\, and in that folder the files the
// connection strings then name: TarnMain.mdb (members, balances, products,
// Control) and TarnTran.mdb (the transactions of Tarnwell II). Both hold the
// same demo data as K:\Tarnwell.mdb. Nothing that exists is overwritten.
void setUpDemoTarnwellFolder(const demodata::Options &demo)
{
    const QString folder = QStringLiteral("K:\\Tarnwell\\");
    const QString hostFolder = pathmapper::toHost(folder);
    if (hostFolder.isEmpty() || !QDir().mkpath(hostFolder))
        throw FileError(QStringLiteral("Cannot create the folder %1").arg(folder));
    for (const QString &name : {QStringLiteral("TarnMain.mdb"), QStringLiteral("TarnTran.mdb")}) {
        const QString host = pathmapper::toHost(folder + name);
        if (QFileInfo::exists(host)) {
            out(QStringLiteral("kept %1").arg(host));
            continue;
        }
        schema::createDatabaseFile(host, schema::Kind::Tarnwell);
        demodata::fillTarnwell(host, demo);
        out(QStringLiteral("created %1 (demo data)").arg(host));
    }
    const QString reg = officeroot::registryFile();
    if (QFileInfo::exists(reg)) {
        out(QStringLiteral("kept %1").arg(reg));
        return;
    }
    RegistryStore store;
    store.setString(QStringLiteral("HKEY_LOCAL_MACHINE\\") + QString::fromLatin1(appsettings::kTarnwellKey), QStringLiteral("Database"), folder);
    QString why;
    if (!store.save(reg, &why))
        throw FileError(why);
    out(QStringLiteral("created %1 (Tarnwell folder %2)").arg(reg, folder));
}
} // namespace

int setup(const QStringList &args)
{
    QMap<QString, QString> o;
    QString why;
    if (!options(args, {QStringLiteral("--members"), QStringLiteral("--seed")}, {QStringLiteral("--demo")}, o, nullptr, why))
        return wrongUsage(why);
    demodata::Options demo;
    bool ok = true;
    if (o.contains(QStringLiteral("--members"))) {
        demo.members = o[QStringLiteral("--members")].toInt(&ok);
        if (!ok || demo.members < 1)
            return wrongUsage(QStringLiteral("--members needs a whole number of at least 1"));
    }
    if (o.contains(QStringLiteral("--seed"))) {
        demo.seed = o[QStringLiteral("--seed")].toUInt(&ok);
        if (!ok)
            return wrongUsage(QStringLiteral("--seed needs a whole number"));
    }
    const bool fill = o.contains(QStringLiteral("--demo"));
    const QString root = officeroot::path();
    // Folders of another letter case that already exist are the same folders.
    for (const QString &drive : {QStringLiteral("/drive_c"), QStringLiteral("/drive_k")})
        if (!QFileInfo(root + drive).isDir() && !ensureDir(root + drive)) {
            err(QStringLiteral("Cannot create the folder %1").arg(root + drive));
            return 3;
        }
    for (const QString &folder : {QStringLiteral("C:\\temp"), QStringLiteral("K:\\Returns"),
                                  QStringLiteral("C:\\program files\\child trust fund interface")}) {
        const QString dir = pathmapper::toHost(folder);
        if (dir.isEmpty() || !ensureDir(dir)) {
            err(QStringLiteral("Cannot create the folder %1").arg(folder));
            return 3;
        }
    }
    out(QStringLiteral("office root: %1").arg(root));
    try {
        const QString ini = pathmapper::toHost(QString::fromLatin1(kSubmissionSettingsFile));
        if (QFileInfo::exists(ini)) {
            out(QStringLiteral("kept %1").arg(ini));
        } else {
            QFile f(ini);
            if (!f.open(QIODevice::WriteOnly) || f.write("[Settings]\r\nReturnsPath=K:\\Returns\\\r\n") < 0)
                throw FileError(QStringLiteral("Cannot write %1: %2").arg(ini, f.errorString()));
            out(QStringLiteral("created %1").arg(ini));
        }
        struct Db { QString windows; schema::Kind kind; };
        for (const Db &db : {Db{QStringLiteral("K:\\CTF.mdb"), schema::Kind::Register}, Db{QStringLiteral("K:\\Tarnwell.mdb"), schema::Kind::Tarnwell}}) {
            const QString host = pathmapper::toHost(db.windows);
            if (QFileInfo::exists(host)) {
                out(QStringLiteral("kept %1").arg(host));
                continue;
            }
            schema::createDatabaseFile(host, db.kind);
            if (fill) {
                if (db.kind == schema::Kind::Register)
                    demodata::fillRegister(host, demo);
                else
                    demodata::fillTarnwell(host, demo);
            }
            out(QStringLiteral("created %1%2").arg(host, fill ? QStringLiteral(" (demo data)") : QString()));
        }
        if (fill)
            setUpDemoTarnwellFolder(demo);
    } catch (const CtfError &e) {
        err(e.description());
        return 3;
    }
    return 0;
}

int periodicReturn(const QStringList &args)
{
    QMap<QString, QString> o;
    QString why;
    if (!options(args, {QStringLiteral("--period-end")}, {}, o, nullptr, why))
        return wrongUsage(why);
    returns::ReturnOutput output;
    if (!output.load())
        return 3;
    const QString periodEnd = o.value(QStringLiteral("--period-end"), output.proposal());
    if (!dates::isDate(periodEnd)) {
        ui::current().message(QStringLiteral("Invalid period end date!"), QString::fromLatin1(appsettings::kProgramTitle),
                              MsgIcon::Exclamation);
        return 1;
    }
    if (output.generate(periodEnd) != returns::RunResult::Done)
        return 3;
    // A scheduled run learns that the return stands without its log copy.
    return output.logCopyFailed() ? 4 : 0;
}

int recreate(const QStringList &args)
{
    if (args.size() != 1 || args[0].startsWith(QStringLiteral("--")))
        return wrongUsage(QStringLiteral("recreate needs the log file"));
    switch (returns::ReturnOutput::recreate(args[0])) {
    case returns::RecreateResult::Done: return 0;
    case returns::RecreateResult::Missing:
    case returns::RecreateResult::Cancelled: return 1;
    case returns::RecreateResult::CopyFailed: return 3;
    }
    return 3;
}

namespace {
// What an annual command names: a share account, or products (the codes
// asked for are the list's selection; a code the list does not show is an
// item of its own), and the dates.
struct AnnualRequest {
    int shareAccount = 0;
    QList<annual::ProductItem> items;
    QString start, end;
};

// 0 when the request was read; else the exit status.
int readAnnual(const QStringList &args, annual::AnnualReturn &run, AnnualRequest &r)
{
    QMap<QString, QString> o;
    QString why;
    if (!options(args, {QStringLiteral("--share-account"), QStringLiteral("--products"), QStringLiteral("--start"), QStringLiteral("--end")}, {}, o,
                 nullptr, why))
        return wrongUsage(why);
    const bool share = o.contains(QStringLiteral("--share-account"));
    const bool products = o.contains(QStringLiteral("--products"));
    if (share == products)
        return wrongUsage(QStringLiteral("annual needs either --share-account N or --products CODE[,CODE...]"));
    if (!o.contains(QStringLiteral("--start")) || !o.contains(QStringLiteral("--end")))
        return wrongUsage(QStringLiteral("annual needs --start DD/MM/YY and --end DD/MM/YY"));
    if (share) {
        bool ok = false;
        r.shareAccount = o[QStringLiteral("--share-account")].toInt(&ok);
        if (!ok || r.shareAccount < 1 || r.shareAccount > 4)
            return wrongUsage(QStringLiteral("--share-account is 1, 2, 3 or 4"));
    }
    r.start = o[QStringLiteral("--start")];
    r.end = o[QStringLiteral("--end")];
    QStringList known;
    try {
        run.open();
        if (products) {
            r.items = run.loadProducts();
            known = run.productCodes();
        }
    } catch (const CtfError &e) {
        err(e.description());
        return 3;
    }
    if (products) {
        QStringList codes;
        for (const QString &c : o[QStringLiteral("--products")].split(',', Qt::SkipEmptyParts))
            if (!c.trimmed().isEmpty())
                codes << c.trimmed();
        // A mistyped code would give a nil return that looks right.
        for (const QString &c : codes)
            if (!known.contains(c, Qt::CaseInsensitive))
                return wrongUsage(QStringLiteral("--products: there is no product %1 in Tarnwell's Product table").arg(c));
        QStringList listed;
        for (annual::ProductItem &item : r.items) {
            listed << annual::productCode(item.text);
            item.selected = codes.contains(listed.last());
        }
        for (const QString &c : codes)
            if (!listed.contains(c))
                r.items.append({c, true});
    }
    return 0;
}
} // namespace

int annualReturn(const QStringList &args)
{
    annual::AnnualReturn run;
    AnnualRequest r;
    if (const int status = readAnnual(args, run, r))
        return status;
    const annual::Outcome result = r.shareAccount ? run.runShareAccount(r.shareAccount, r.start, r.end) : run.runProducts(r.items, r.start, r.end);
    switch (result) {
    case annual::Outcome::Done: return 0;
    case annual::Outcome::Refused:
    case annual::Outcome::Cancelled: return 1;
    case annual::Outcome::Failed: return 3;
    }
    return 3;
}

int enquiry(const QStringList &args)
{
    QMap<QString, QString> o;
    QString why;
    if (!options(args, {}, {QStringLiteral("--all"), QStringLiteral("--csv")}, o, nullptr, why))
        return wrongUsage(why);
    const QString statement = o.contains(QStringLiteral("--all")) ? enquiry::allStatement() : enquiry::outstandingStatement();
    const bool csv = o.contains(QStringLiteral("--csv"));
    // Rows are written as they are read, so memory does not grow with the
    // register; the aligned table reads them twice (widths first).
    QVector<int> width;
    const auto measure = [&](const auto &cells) {
        width.resize(cells.size());
        for (int c = 0; c < int(cells.size()); ++c)
            width[c] = qMax(width[c], int(cells[c].size()));
    };
    // Lines are gathered and handed to standard output some 64 KB at a time.
    QByteArray out;
    const auto flush = [&] {
        std::fwrite(out.constData(), 1, size_t(out.size()), stdout);
        out.clear();
    };
    const auto needsQuotes = [](const QString &v) {
        for (QChar ch : v)
            if (ch == ',' || ch == '"' || ch == '\n' || ch == '\r')
                return true;
        return false;
    };
    const auto write = [&](const auto &cells) {
        const qsizetype start = out.size();
        for (int c = 0; c < int(cells.size()); ++c) {
            const QString &v = cells[c];
            if (csv) {
                if (c)
                    out += ',';
                if (needsQuotes(v))
                    out += '"' + QString(v).replace('"', QStringLiteral("\"\"")).toUtf8() + '"';
                else
                    out += v.toUtf8();
            } else {
                if (c)
                    out += "  ";
                out += v.leftJustified(width[c]).toUtf8();
            }
        }
        if (!csv)
            while (out.size() > start && out.endsWith(' '))
                out.chop(1);
        out += '\n';
        if (out.size() >= 65536)
            flush();
    };
    try {
        if (!csv)
            enquiry::forEachRow(statement, measure, measure);
        enquiry::forEachRow(statement, write, write);
        flush();
    } catch (const CtfError &e) {
        flush();
        std::fflush(stdout);
        err(e.description());
        return 3;
    }
    return 0;
}

int importRegister(const QStringList &args)
{
    if (!args.isEmpty())
        return wrongUsage(QStringLiteral("import-register takes no arguments"));
    switch (registerimport::importRegister(ctfclock::today())) {
    case registerimport::Result::Converted:
    case registerimport::Result::AlreadyConverted: return 0;
    case registerimport::Result::Failed: return 3;
    }
    return 3;
}

int convert(const QStringList &args)
{
    if (args.size() != 2 || args[0].startsWith(QStringLiteral("--")) || args[1].startsWith(QStringLiteral("--")))
        return wrongUsage(QStringLiteral("convert needs the Access file and the new SQLite file"));
    const MappedPath from = pathmapper::map(args[0]);
    const MappedPath to = pathmapper::map(args[1]);
    if (!from.ok() || !QFileInfo(from.hostPath).isFile()) {
        err(QStringLiteral("Could not find file '%1'.").arg(args[0]));
        return 1;
    }
    if (!accessfile::isAccessFile(from.hostPath)) {
        err(QStringLiteral("'%1' is not a Microsoft Access database.").arg(args[0]));
        return 1;
    }
    if (!to.ok() || QFileInfo::exists(to.hostPath)) {
        err(to.ok() ? QStringLiteral("'%1' already exists; it is left as it is.").arg(args[1]) : to.error);
        return 1;
    }
    try {
        accessfile::convert(from.hostPath, args[0], to.hostPath);
    } catch (const CtfError &e) {
        err(e.description());
        return 3;
    }
    out(QStringLiteral("converted %1 into %2").arg(args[0], args[1]));
    return 0;
}

int check(const QStringList &args)
{
    const bool annualCheck = !args.isEmpty() && args[0] == QStringLiteral("--annual");
    if (!args.isEmpty() && !annualCheck)
        return wrongUsage(QStringLiteral("check takes --annual and the annual command's arguments, or nothing"));
    try {
        checks::Result result;
        if (annualCheck) {
            annual::AnnualReturn run;
            AnnualRequest r;
            if (const int status = readAnnual(args.mid(1), run, r))
                return status;
            result = checks::checkAnnual(run, r.shareAccount, r.items, r.start, r.end);
            if (result.refused)
                return 1;
        } else {
            Connection c;
            c.setConnectionString(GetConnectionString(QStringLiteral("CTF")));
            c.open();
            result = checks::checkOutstanding(c);
        }
        for (const checks::Finding &f : result.findings)
            out(f.line());
        out(result.summary());
        return result.total == 0 ? 0 : 1;
    } catch (const CtfError &e) {
        err(e.description());
        return 3;
    }
}

} // namespace cli
