#include "cli/commands.h"
#include "cli/registercommands.h"

#include "annual/annualreturn.h"
#include "annual/maturities.h"
#include "app/appsettings.h"
#include "app/registry.h"
#include "common/clock.h"
#include "common/ctfmodules.h"
#include "common/dates.h"
#include "common/error.h"
#include "common/textfile.h"
#include "data/accessfile.h"
#include "data/connection.h"
#include "data/schema.h"
#include "data/sqlserver.h"
#include "platform/officeroot.h"
#include "platform/pathmapper.h"
#include "platform/registrystore.h"
#include "platform/userinterface.h"
#include "checks/checks.h"
#include "returns/entrygrid.h"
#include "returns/runrepair.h"
#include "returns/recreate.h"
#include "returns/returnoutput.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <algorithm>
#include <cstdio>

namespace cli {

void out(const QString &s) { std::fputs((s + '\n').toLocal8Bit().constData(), stdout); }
void err(const QString &s) { std::fputs((s + '\n').toLocal8Bit().constData(), stderr); }

Status wrongUsage(const QString &why)
{
    err(why);
    err(QStringLiteral("Try \"ctfadmin --help\"."));
    return WrongUsage;
}

namespace {

// The connection string ends with the password: all of it is hidden,
// whatever it holds.
QString hidePassword(const QString &cs)
{
    const QString pw = sqlserver::password(cs);
    return pw.isEmpty() && !cs.contains(QStringLiteral("Password="), Qt::CaseInsensitive) ? cs : cs.left(cs.size() - pw.size()) + QStringLiteral("****");
}

bool ensureDir(const QString &path)
{
    return QDir().mkpath(path);
}

} // namespace

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

Status settings(const Arguments &)
{
    printSettings();
    return Done;
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
    // Made only where there is none (looked at again once this program has
    // the file to itself): what an office has is never replaced.
    bool existed = QFileInfo::exists(reg);
    QString why;
    const bool made = !existed && registryfile::change(
        [&](RegistryStore &store) {
            existed = QFileInfo::exists(reg);
            if (!existed)
                store.setString(QStringLiteral("HKEY_LOCAL_MACHINE\\") + QString::fromLatin1(appsettings::kTarnwellKey), QStringLiteral("Database"), folder);
            return !existed;
        },
        &why);
    if (existed) {
        out(QStringLiteral("kept %1").arg(reg));
        return;
    }
    if (!made)
        throw FileError(why);
    out(QStringLiteral("created %1 (Tarnwell folder %2)").arg(reg, folder));
}
} // namespace

// The set-up's steps in order, each with its refusal; nothing is written
// until every check before it has passed.
Status setup(const Arguments &o)
{
    demodata::Options demo;
    bool ok = true;
    if (o.has(QStringLiteral("--members"))) {
        demo.members = o.value(QStringLiteral("--members")).toInt(&ok);
        if (!ok || demo.members < 1)
            return wrongUsage(QStringLiteral("--members needs a whole number of at least 1"));
    }
    if (o.has(QStringLiteral("--seed"))) {
        demo.seed = o.value(QStringLiteral("--seed")).toUInt(&ok);
        if (!ok)
            return wrongUsage(QStringLiteral("--seed needs a whole number"));
    }
    const bool fill = o.has(QStringLiteral("--demo"));
    const QString root = officeroot::path();
    // Folders of another letter case that already exist are the same folders.
    for (const QString &drive : {QStringLiteral("/drive_c"), QStringLiteral("/drive_k")})
        if (!QFileInfo(root + drive).isDir() && !ensureDir(root + drive)) {
            err(QStringLiteral("Cannot create the folder %1").arg(root + drive));
            return Failed;
        }
    for (const QString &folder : {QStringLiteral("C:\\temp"), QStringLiteral("K:\\Returns"),
                                  QStringLiteral("C:\\program files\\child trust fund interface")}) {
        const QString dir = pathmapper::toHost(folder);
        if (dir.isEmpty() || !ensureDir(dir)) {
            err(QStringLiteral("Cannot create the folder %1").arg(folder));
            return Failed;
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
        return Failed;
    }
    return Done;
}

Status periodicReturn(const Arguments &o)
{
    returns::ReturnOutput output;
    const returns::Opening opening = output.load();
    ui::show(opening.notices);
    if (!opening)
        return Failed;
    const QString periodEnd = o.value(QStringLiteral("--period-end"), output.proposal());
    if (!dates::isDate(periodEnd)) {
        ui::show({returns::invalidPeriodEnd()});
        return Refused;
    }
    const returns::RunOutcome run = output.generate(periodEnd);
    ui::show(run.notices);
    if (run.result != returns::RunResult::Done)
        return Failed;
    // A scheduled run learns that the return stands without its log copy.
    return run.logCopyFailed || run.backupFailed ? LogCopyFailed : Done;
}

Status recreate(const Arguments &o)
{
    switch (ui::shown(returns::recreateReturn(o.positional[0]))) {
    case returns::RecreateResult::Done: return Done;
    case returns::RecreateResult::Missing:
    case returns::RecreateResult::Cancelled: return Refused;
    case returns::RecreateResult::CopyFailed: return Failed;
    }
    return Failed;
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

// Done when the request was read; else the exit status. `from` and `to`:
// the options that give the dates (the annual commands' --start and --end,
// the maturities' --from and --to).
Status readAnnual(const Arguments &o, annual::AnnualReturn &run, AnnualRequest &r, const QString &from = QStringLiteral("--start"),
                  const QString &to = QStringLiteral("--end"))
{
    const bool share = o.has(QStringLiteral("--share-account"));
    const bool products = o.has(QStringLiteral("--products"));
    const QString name = from == QStringLiteral("--start") ? QStringLiteral("annual") : QStringLiteral("due");
    if (share == products)
        return wrongUsage(QStringLiteral("%1 needs either --share-account N or --products CODE[,CODE...]").arg(name));
    if (!o.has(from) || !o.has(to))
        return wrongUsage(QStringLiteral("%1 needs %2 and %3 with their dates").arg(name, from, to));
    if (share) {
        bool ok = false;
        r.shareAccount = o.value(QStringLiteral("--share-account")).toInt(&ok);
        if (!ok || r.shareAccount < 1 || r.shareAccount > 4)
            return wrongUsage(QStringLiteral("--share-account is 1, 2, 3 or 4"));
    }
    r.start = o.value(from);
    r.end = o.value(to);
    QStringList known;
    try {
        run.open();
        if (products) {
            r.items = run.loadProducts();
            known = run.productCodes();
        }
    } catch (const CtfError &e) {
        err(e.description());
        return Failed;
    }
    if (products) {
        QStringList codes;
        for (const QString &c : o.value(QStringLiteral("--products")).split(',', Qt::SkipEmptyParts))
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
    return Done;
}
} // namespace

Status annualReturn(const Arguments &o)
{
    annual::AnnualReturn run;
    AnnualRequest r;
    if (const Status status = readAnnual(o, run, r); status != Done)
        return status;
    switch (ui::shown(r.shareAccount ? run.runShareAccount(r.shareAccount, r.start, r.end) : run.runProducts(r.items, r.start, r.end))) {
    case annual::Outcome::Done: return Done;
    case annual::Outcome::Refused:
    case annual::Outcome::Cancelled: return Refused;
    case annual::Outcome::Failed: return Failed;
    }
    return Failed;
}

Status maturitiesDue(const Arguments &o)
{
    annual::AnnualReturn run;
    AnnualRequest r;
    if (const Status status = readAnnual(o, run, r, QStringLiteral("--from"), QStringLiteral("--to")); status != Done)
        return status;
    QList<maturities::Due> due;
    try {
        if (ui::shown(maturities::report(run, r.shareAccount, r.items, dates::parse(r.start).value_or(QDate()),
                                         dates::parse(r.end).value_or(QDate()), due))
            != annual::Outcome::Done)
            return Refused;
    } catch (const CtfError &e) {
        err(e.description());
        return Failed;
    }
    if (due.isEmpty()) {
        out(maturities::kNothingDue);
        return Done;
    }
    const QList<QStringList> rows = maturities::rows(due, *dates::parse(r.start));
    if (o.has(QStringLiteral("--csv"))) {
        const QByteArray text = maturities::csv(rows);
        std::fwrite(text.constData(), 1, size_t(text.size()), stdout);
        return Done;
    }
    QList<int> width(rows[0].size(), 0);
    for (const QStringList &row : rows)
        for (qsizetype c = 0; c < row.size(); ++c)
            width[c] = qMax(width[c], int(row[c].size()));
    for (const QStringList &row : rows) {
        QString line;
        for (qsizetype c = 0; c < row.size(); ++c)
            line += (c ? QStringLiteral("  ") : QString()) + row[c].leftJustified(width[c]);
        while (line.endsWith(QLatin1Char(' ')))
            line.chop(1);
        out(line);
    }
    return Done;
}

Status enquiry(const Arguments &o)
{
    const QString statement = o.has(QStringLiteral("--all")) ? enquiry::allStatement() : enquiry::outstandingStatement();
    const bool csv = o.has(QStringLiteral("--csv"));
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
    const auto write = [&](const auto &cells) {
        const qsizetype start = out.size();
        for (int c = 0; c < int(cells.size()); ++c) {
            const QString &v = cells[c];
            if (csv) {
                if (c)
                    out += ',';
                out += textfile::csvField(v);
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
        return Failed;
    }
    return Done;
}

Status convert(const Arguments &o)
{
    const QStringList &args = o.positional;
    const MappedPath from = pathmapper::map(args[0]);
    const MappedPath to = pathmapper::map(args[1]);
    if (!from.ok() || !QFileInfo(from.hostPath).isFile()) {
        err(QStringLiteral("Could not find file '%1'.").arg(args[0]));
        return Refused;
    }
    if (!accessfile::isAccessFile(from.hostPath)) {
        err(QStringLiteral("'%1' is not a Microsoft Access database.").arg(args[0]));
        return Refused;
    }
    if (!to.ok() || QFileInfo::exists(to.hostPath)) {
        err(to.ok() ? QStringLiteral("'%1' already exists; it is left as it is.").arg(args[1]) : to.error);
        return Refused;
    }
    try {
        accessfile::convert(from.hostPath, args[0], to.hostPath);
    } catch (const CtfError &e) {
        err(e.description());
        return Failed;
    }
    out(QStringLiteral("converted %1 into %2").arg(args[0], args[1]));
    return Done;
}

Status check(const Arguments &o)
{
    const bool annualCheck = o.has(QStringLiteral("--annual"));
    if (!annualCheck && !o.options.isEmpty())
        return wrongUsage(QStringLiteral("check takes --annual and the annual command's arguments, or nothing"));
    try {
        checks::Result result;
        if (annualCheck) {
            annual::AnnualReturn run;
            AnnualRequest r;
            if (const Status status = readAnnual(o, run, r); status != Done)
                return status;
            result = checks::checkAnnual(run, r.shareAccount, r.items, r.start, r.end);
            ui::show(result.notices);
            if (result.refused)
                return Refused;
        } else {
            Connection c;
            c.setConnectionString(GetConnectionString(QStringLiteral("CTF")));
            c.open();
            result = checks::checkOutstanding(c);
        }
        for (const checks::Finding &f : result.findings)
            out(f.line());
        out(result.summary());
        return result.total == 0 ? Done : Refused;
    } catch (const CtfError &e) {
        err(e.description());
        return Failed;
    }
}

const QList<Command> &commands()
{
    static const QList<Command> table{
        {"setup", "setup [--demo] [--members N] [--seed S]",
         "create an office root: drive_c (with C:\\temp), drive_k, the returns folder\n"
         "K:\\Returns\\ named in settings.ini, an empty register K:\\CTF.mdb and the\n"
         "Tarnwell tables in K:\\Tarnwell.mdb; --demo fills them with sample data\n"
         "(N members) and also writes system.reg with a Tarnwell folder other than\n"
         "K:\\ holding the files it needs (K:\\Tarnwell\\), so that every screen\n"
         "works; an existing file is never overwritten",
         {QStringLiteral("--members"), QStringLiteral("--seed")}, {QStringLiteral("--demo")}, 0, {Failed}, false, setup},
        {"settings", "settings", "the settings, one \"name: value\" line each", {}, {}, 0, {}, true, settings},
        {"return", "return [--period-end DD/MM/YYYY]", "the periodic return IRReturn.txt", {QStringLiteral("--period-end")}, {}, 0,
         {Refused, Failed, LogCopyFailed}, true, periodicReturn},
        {"recreate", "recreate LOGFILE", "the return re-created from a log copy", {}, {}, 1, {Refused, Failed}, true, recreate},
        {"annual", "annual --share-account N --start DD/MM/YY --end DD/MM/YY\nannual --products CODE[,CODE...] --start DD/MM/YY --end DD/MM/YY",
         "the annual return CTFANRTN.txt",
         {QStringLiteral("--share-account"), QStringLiteral("--products"), QStringLiteral("--start"), QStringLiteral("--end")}, {}, 0,
         {Refused, Failed}, true, annualReturn},
        {"enquiry", "enquiry [--all] [--csv]", "the enquiry grid's rows", {}, {QStringLiteral("--all"), QStringLiteral("--csv")}, 0, {Failed},
         true, enquiry},
        {"import-register", "import-register",
         "the register that is still a Microsoft Access file (K:\\CTF.mdb, or CTF.MDB beside\n"
         "the program) converted in place into the register ctfadmin keeps; the Access\n"
         "original is kept beside it, unchanged, as \"CTF (Access original YYYY-MM-DD).mdb\"",
         {}, {}, 0, {Failed}, true, importRegister},
        {"check", "check [--annual (--share-account N | --products CODE[,CODE...])\n --start DD/MM/YY --end DD/MM/YY]",
         "pre-submission checks: of the entries the next periodic return would take, or\n"
         "(--annual) of what that annual return would write and leave out; one finding\n"
         "a line (\"ID <n>: ...\", \"Member <n>: ...\") and a summary line last; exit 0\n"
         "when nothing is found, 1 when something is; no return file is written",
         {QStringLiteral("--share-account"), QStringLiteral("--products"), QStringLiteral("--start"), QStringLiteral("--end")},
         {QStringLiteral("--annual")}, 0, {Refused, Failed}, true, check},
        {"due", "due --from DD/MM/YYYY --to DD/MM/YYYY (--share-account N | --products CODE[,CODE...]) [--csv]",
         "maturities and statements due in the period for the holders that annual return\n"
         "reads: 17th birthday (statement due), 18th birthday (account matures), 12\n"
         "months after maturity (statement due), by date, with the balance at the start\n"
         "of the period; \"Nothing is due\" when there is none",
         {QStringLiteral("--share-account"), QStringLiteral("--products"), QStringLiteral("--from"), QStringLiteral("--to")},
         {QStringLiteral("--csv")}, 0, {Refused, Failed}, true, maturitiesDue},
        {"history", "history [--id N | --urn URN] [--since DD/MM/YYYY] [--csv]",
         "the register's history, newest first: when (local time and UTC), who (user and\n"
         "machine), through what, and the entry's values before and after each change",
         {QStringLiteral("--id"), QStringLiteral("--urn"), QStringLiteral("--since")}, {QStringLiteral("--csv")}, 0, {Failed}, true,
         registerHistory},
        {"backups", "backups", "the register's backups, newest first: when, why, entries, outstanding, file", {}, {}, 0, {}, true,
         listBackups},
        {"restore", "restore FILE",
         "the register replaced whole by a backup (see \"backups\"), after checking it and\n"
         "backing up the register as it is; refused while any desk or screen has it open",
         {}, {}, 1, {Refused, Failed}, true, restoreBackup},
        {"convert", "convert ACCESSFILE SQLITEFILE",
         "every table of a Microsoft Access file into a new SQLite file (Windows or host paths)", {}, {}, 2, {Refused, Failed}, true, convert},
    };
    return table;
}

QString usage()
{
    QString text = QStringLiteral("ctfadmin [--root DIR]                                   open the main screen\n"
                                  "ctfadmin --version | --help\n");
    const QString command = QStringLiteral("ctfadmin [--root DIR] ");
    for (const Command &c : commands()) {
        // A line that starts with a blank goes on with the one before.
        for (const QString &line : QString::fromLatin1(c.synopsis).split(QLatin1Char('\n')))
            text += (line.startsWith(QLatin1Char(' ')) ? QString(command.size(), QLatin1Char(' ')) : command) + line.trimmed() + QLatin1Char('\n');
        for (const QString &line : QString::fromLatin1(c.description).split(QLatin1Char('\n')))
            text += QStringLiteral("        ") + line + QLatin1Char('\n');
        QStringList statuses{QStringLiteral("0")};
        for (Status s : c.statuses)
            statuses << QString::number(int(s));
        const QString last = statuses.takeLast();
        text += QStringLiteral("        exit status %1%2; 2 for wrong usage\n")
                    .arg(statuses.isEmpty() ? QString() : statuses.join(QStringLiteral(", ")) + QStringLiteral(" or "), last);
    }
    text += QStringLiteral("\nThe office root is --root DIR, else $CTFADMIN_ROOT, else $XDG_DATA_HOME/ctfadmin.\n"
                           "Exit status: 0 done; 1 input refused; 2 wrong usage; 3 a database or file failure;\n"
                           "4 (return) the return was created and marked, but its log copy could not be made.\n");
    return text;
}

int run(const QString &name, const QStringList &args)
{
    const auto found = std::find_if(commands().begin(), commands().end(), [&](const Command &c) { return name == QLatin1String(c.name); });
    if (found == commands().end()) {
        err(QStringLiteral("Unknown command %1").arg(name));
        std::fputs(usage().toLocal8Bit().constData(), stderr);
        return WrongUsage;
    }
    Arguments given;
    for (int i = 0; i < args.size(); ++i) {
        const QString &a = args[i];
        if (found->valued.contains(a)) {
            if (i + 1 >= args.size())
                return wrongUsage(QStringLiteral("%1 needs a value").arg(a));
            given.options[a] = args[++i];
        } else if (found->flags.contains(a)) {
            given.options[a] = QStringLiteral("1");
        } else if (!a.startsWith(QStringLiteral("--")) && given.positional.size() < found->positional) {
            given.positional << a;
        } else {
            return wrongUsage(QStringLiteral("%1: unknown argument %2").arg(name, a));
        }
    }
    if (given.positional.size() != found->positional)
        return wrongUsage(QStringLiteral("%1 needs %2").arg(name, QString::fromLatin1(found->synopsis).section(QLatin1Char(' '), 1)));
    if (found->readsSettings) {
        appsettings::loadFromRegistry(appsettings::fields());
        returns::sweepAtStart();
    }
    return found->run(given);
}

} // namespace cli
