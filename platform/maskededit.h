#pragma once
// The masked entry field of the screens. It shows the mask's literals and a
// "_" prompt in every position not yet typed; text() is that displayed text
// and clipText() the typed characters alone. Mask characters: "#" a digit
// (required), "9" a digit (optional), "A" a letter or digit (required), "a" a
// letter or digit (optional), ">" upper-cases the letters after it; anything
// else is a literal. Characters a position does not take are refused with a
// beep, as the original control did.
#include <QLineEdit>
#include <QVector>

class MaskedEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit MaskedEdit(const QString &mask, QWidget *parent = nullptr);

    QString mask() const { return m_mask; }
    // Sets the displayed text: characters are laid into the positions in
    // order, literals of the mask skipped where the text carries them.
    void setMaskedText(const QString &text);
    QString clipText() const;
    // The displayed text without the prompts of optional positions left
    // unfilled at its end ("AB123456" for a URN typed without its last letter).
    QString trimmedText() const;
    static constexpr QChar kPrompt = QLatin1Char('_');

protected:
    void keyPressEvent(QKeyEvent *event) override;

private:
    struct Slot {
        bool literal = false;
        QChar literalChar;
        bool digitOnly = false;
        bool optional = false;
        bool upper = false;
        QChar value; // null when not typed
    };
    bool accepts(const Slot &s, QChar c) const;
    int nextEditable(int from) const;
    int previousEditable(int before) const;
    void clearRange(int from, int to);
    void refresh(int cursor);
    void typeChar(QChar c);

    QString m_mask;
    QVector<Slot> m_slots;
};

// Whether a focus event is the operator moving between fields. The window
// being activated or deactivated (another window clicked, a message box, the
// screen closing) and a popup opening or closing are not: the screens' field
// rules (look-ups, defaults, checks, the type list refill) do not run for them.
bool isFieldMove(const QEvent *focusEvent);

// The background of an entry field: cyan while it has the focus, white otherwise.
void setFieldColour(QWidget *field, const QColor &colour);

// The field colours every screen shares: cyan under the focus; out of it
// white on the output and annual screens, the window background on the
// maintenance screen.
QColor focusColour();
QColor whiteColour();
QColor windowColour();

// A field receiving the focus: cyan, its whole text selected, caret at the start.
void highlightField(QLineEdit *field);

// Enter on either key: the screens take it as Tab or as a move of their own.
bool isEnterKey(const QEvent *event);
