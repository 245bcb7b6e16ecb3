#pragma once
// The annual return CTFANRTN.txt, for one share account (Tarnwell I) or a
// set of products (Tarnwell II), without widgets: the screen and the command
// line both drive it. It reads Tarnwell through the screen's two connections
// and never writes it. A database or file failure stops the run with a
// message that names what failed and says the file is incomplete.
#include "app/appsettings.h"
#include "common/money.h"
#include "data/connection.h"
#include "platform/userinterface.h"

#include <QDate>
#include <QList>
#include <QString>
#include <functional>
#include <optional>

class Recordset;

namespace annual {

inline constexpr const char *kCaption = " CTF - Annual Return Output";

struct ProductItem {
    QString text;       // ProductCode + " - " + Description
    bool selected = false;
};

// The 9-character reference, blank when there is none.
QString referenceField(const QVariant &niNumber);
// "Account|" ref "|2|y|" balance "|0.00|" subscriptions.
QString accountRecord(const QString &ref9, Money balance, Money subscriptions);
// The subscriptions rule for one transaction.
Money subscriptionValue(const QVariant &tranValue, const QVariant &narrative);
// The product code an item's text starts with: the text before the blank
// that precedes its first "-", or the whole text when it has none.
QString productCode(const QString &itemText);
// Letters, digits and "_-./" only: the only codes ever put into a statement.
bool isProductCode(const QString &code);
// "(" 'code', ... ")" from the selected items.
QString productListText(const QList<ProductItem> &items);
// Whole calendar months from DOB to the end date, days ignored.
int monthBoundaries(const QDate &dob, const QDate &end);

enum class Outcome { Done, Refused, Cancelled, Failed };

// How an output run ended, and what it tells the operator (a refused date
// or product, the failure, the completion), in order: the screen and the
// command line show the notices (ui::show). Its question is asked during
// the run.
struct RunOutcome {
    Outcome result = Outcome::Failed;
    QList<Notice> notices;
};

// Why a member of the selection gets no record.
enum class LeftOut { No, NoMemberRow, NoReference, Over18 };
// One member of a run, as the return uses it.
struct MemberFigures {
    QString member;
    QString reference;          // 9 characters, blank when there is none
    Money balance;
    Money subscriptions;
    std::optional<QDate> dob;   // for the product command only read when checking
    LeftOut leftOut = LeftOut::No;
    QString dobNotADate;        // a DOB that is there but no valid date: no age test is made
    // For the checks alone: each transaction counted as a subscription, with
    // its date (none when the date is no date).
    struct Subscription {
        std::optional<QDate> day;
        Money amount;
    };
    QList<Subscription> subscriptionDays;
};
enum class Field { None, StartDate, EndDate };
// The date field a run refuses (the first that is no date), or None.
Field invalidDateField(const QString &startText, const QString &endText);

class AnnualReturn {
public:
    // The run works from the setting fields given (the main screen's by default).
    explicit AnnualReturn(const SettingFields &settings = appsettings::fields());
    ~AnnualReturn();

    // Opens the member ("Tarnwell") and transaction ("TarnTran") connections;
    // throws DbError.
    void open();
    void close();

    // The first Control row, when there is one.
    struct ControlInfo { bool found = false; QString cuname; QVariant yearEnd; };
    ControlInfo readControl();
    // The product list as loaded: empty when txtDatabase is "K:\".
    QList<ProductItem> loadProducts();
    // Every code of the Product table (the command line refuses others);
    // throws DbError.
    QStringList productCodes();

    // The share-account command for account n (1 to 4).
    RunOutcome runShareAccount(int n, const QString &startText, const QString &endText);
    // The product command over the list as the operator left it.
    RunOutcome runProducts(const QList<ProductItem> &items, const QString &startText, const QString &endText);

    // A share-account run's moments, for the screen's captions of the share
    // accounts: the selection of account n is open and its lines are being
    // written; the run is complete (before its message).
    std::function<void(int account)> onOutputing;
    std::function<void()> onOutputComplete;
    // Every member of a run, with its figures and whether it was left out.
    std::function<void(const MemberFigures &)> onMember;
    // The pre-submission checks' reading: the same reads as the run (share
    // account n, or products when n is 0), every member handed to `each`,
    // no file written, no question asked. Nothing of the call is kept after
    // it; what it refuses comes back as notices. Throws DbError where the run
    // would report a failure.
    using Checking = std::function<void(const MemberFigures &)>;
    RunOutcome readMembers(int n, const QList<ProductItem> &items, const QString &startText, const QString &endText, const Checking &each);

    // The holders of a selection (share account n, or the products when n
    // is 0), as the annual return chooses them, with their balance at the end
    // of `balanceDay`: for the maturities report. No question is asked and
    // nothing is written; Refused, with the notice that says why, for
    // products that cannot be used. Throws DbError.
    struct Holder {
        QString member;
        QString name;      // Forename and Surname; empty without a MemberMain row
        QString niNumber;
        QVariant dob;      // as stored: Null, a date, or a value that is no date
        Money balance;
    };
    RunOutcome readHolders(int n, const QList<ProductItem> &items, const QDate &balanceDay, const std::function<void(const Holder &)> &each);

    SettingFields &settings() { return m_settings; }
    Connection &memberConnection() { return m_member; }
    Connection &transactionConnection() { return m_tran; }

private:
    bool checkDates(const QString &startText, const QString &endText, QDate &start, QDate &end);
    // Tarnwell's values are read strictly: a money value that is not an
    // amount of money, a member number that is not a whole number or a date
    // of birth that is not a date stops the run with a message naming the
    // table, the member and the value.
    Money sumOf(const QString &sql, Connection &c, const QString &column, const QString &member);
    Money subscriptionsOf(const QString &sql, Connection &c, const QString &member, QList<MemberFigures::Subscription> *each = nullptr);
    void reportFailure(const QString &path, const QString &what);
    // What the call under way has to tell, handed back at its end (told).
    void tell(const QString &text, const QString &title, MsgIcon icon) { m_notices.append({text, title, icon}); }
    RunOutcome told(const std::function<Outcome()> &call);
    QList<Notice> m_notices;
    Outcome holders(int n, const QList<ProductItem> &items, const QDate &balanceDay, const std::function<void(const Holder &)> &each);
    // The commands themselves; with `checking`, the checks' reading: its
    // members go to it alone, and no file is written and no question asked.
    Outcome shareAccount(int n, const QString &startText, const QString &endText, const Checking *checking);
    Outcome products(const QList<ProductItem> &items, const QString &startText, const QString &endText, const Checking *checking);
    // What the two commands differ in: which members, where and how their
    // figures are read. Everything else is one pipeline: choose the members,
    // read each one's figures, write the lines (or hand them to the checks).
    struct Selection {
        QString members;                                          // the selection statement
        Connection *figures = nullptr;                            // the transaction statements' connection
        bool translate = false;                                   // through the dialect rewriting,
        bool sqlServer = false;                                   // for SQL Server or not
        QString balanceColumn;
        std::function<QString(const QString &member)> balance;    // the MemberAllTrans statements,
        std::function<QString(const QString &member)> subscriptions; // MemberTrans's made from them
        bool ageTest = false;                                     // the share account's 216-month test
        std::function<void()> opened;                             // the selection is open
    };
    Selection shareSelection(int n, const QDate &start, const QDate &end);
    Selection productSelection(const QString &productList, const QDate &start, const QDate &end);
    // The selected products' list text ("('CTF', 'JUN')"), or empty when it
    // cannot be used (the message has been shown).
    QString productList(const QList<ProductItem> &items);
    // A member's MemberAllTrans statement and its MemberTrans twin, read.
    Money bothTables(const Selection &sel, QString sql, const std::function<Money(const QString &)> &read);
    Money balanceOf(const Selection &sel, const QString &member);
    Outcome run(const Selection &sel, const QDate &end, const Checking *checking);
    MemberFigures figuresOf(const Selection &sel, const QString &member, const QDate &end, bool checking);
    QString returnPath() const;
    // The run: creates the file, opens the member selection, writes the
    // header and a record for each member that has one (or "NilReturn").
    bool writeReturn(const QString &path, const QDate &end, const QString &selection, const std::function<void()> &selectionOpened,
                     const std::function<MemberFigures(const QString &member)> &figuresOf, const Checking *checking);

    SettingFields m_settings;
    Connection m_member;
    Connection m_tran;
};

} // namespace annual
