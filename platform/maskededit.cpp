#include "platform/maskededit.h"

#include <QApplication>
#include <QKeyEvent>

MaskedEdit::MaskedEdit(const QString &mask, QWidget *parent) : QLineEdit(parent), m_mask(mask)
{
    bool upper = false;
    for (QChar c : mask) {
        if (c == '>') {
            upper = true;
            continue;
        }
        Slot s;
        s.upper = upper;
        if (c == '#' || c == '9') {
            s.digitOnly = true;
            s.optional = c == '9';
        } else if (c == 'A' || c == 'a') {
            s.digitOnly = false;
            s.optional = c == 'a';
        } else {
            s.literal = true;
            s.literalChar = c;
        }
        m_slots << s;
    }
    setMaxLength(int(m_slots.size()));
    refresh(0);
}

bool MaskedEdit::accepts(const Slot &s, QChar c) const
{
    if (s.literal)
        return false;
    if (s.digitOnly)
        return c.isDigit() && c.unicode() < 128;
    return c.unicode() < 128 && c.isLetterOrNumber();
}

int MaskedEdit::nextEditable(int from) const
{
    for (int i = qMax(0, from); i < m_slots.size(); ++i)
        if (!m_slots[i].literal)
            return i;
    return -1;
}

int MaskedEdit::previousEditable(int before) const
{
    for (int i = qMin(before, int(m_slots.size())) - 1; i >= 0; --i)
        if (!m_slots[i].literal)
            return i;
    return -1;
}

void MaskedEdit::clearRange(int from, int to)
{
    for (int i = from; i < to && i < m_slots.size(); ++i)
        m_slots[i].value = QChar();
}

void MaskedEdit::refresh(int cursor)
{
    QString shown;
    shown.reserve(m_slots.size());
    for (const Slot &s : m_slots)
        shown += s.literal ? s.literalChar : (s.value.isNull() ? kPrompt : s.value);
    QLineEdit::setText(shown);
    setCursorPosition(qBound(0, cursor, int(shown.size())));
}

void MaskedEdit::setMaskedText(const QString &text)
{
    for (Slot &s : m_slots)
        s.value = QChar();
    int pos = 0;
    for (QChar c : text) {
        if (pos >= m_slots.size())
            break;
        Slot &s = m_slots[pos];
        if (s.literal) {
            ++pos;
            if (c == s.literalChar)
                continue;
            if (pos >= m_slots.size())
                break;
        }
        Slot &target = m_slots[pos];
        if (!target.literal && accepts(target, c))
            target.value = target.upper ? c.toUpper() : c;
        ++pos;
    }
    refresh(0);
}

QString MaskedEdit::clipText() const
{
    QString typed;
    for (const Slot &s : m_slots)
        if (!s.literal && !s.value.isNull())
            typed += s.value;
    return typed;
}

QString MaskedEdit::trimmedText() const
{
    QString shown = text();
    int end = int(m_slots.size());
    while (end > 0 && !m_slots[end - 1].literal && m_slots[end - 1].optional && m_slots[end - 1].value.isNull())
        --end;
    return shown.left(end);
}

void MaskedEdit::typeChar(QChar c)
{
    int pos = cursorPosition();
    if (hasSelectedText()) {
        pos = selectionStart();
        clearRange(pos, pos + int(selectedText().size()));
    }
    // Typing a literal moves past it.
    if (pos < m_slots.size() && m_slots[pos].literal && c == m_slots[pos].literalChar) {
        refresh(pos + 1);
        return;
    }
    int slot = nextEditable(pos);
    // An empty field whose caret was left at its end (a selection lost as the
    // window went and came back) takes typing from its start, not a beep.
    if (slot < 0 && clipText().isEmpty())
        slot = nextEditable(0);
    if (slot < 0 || !accepts(m_slots[slot], c)) {
        QApplication::beep();
        refresh(pos);
        return;
    }
    m_slots[slot].value = m_slots[slot].upper ? c.toUpper() : c;
    int next = slot + 1;
    while (next < m_slots.size() && m_slots[next].literal)
        ++next;
    refresh(next);
}

void MaskedEdit::keyPressEvent(QKeyEvent *event)
{
    const int key = event->key();
    if (key == Qt::Key_Backspace) {
        if (hasSelectedText()) {
            const int from = selectionStart();
            clearRange(from, from + int(selectedText().size()));
            refresh(from);
        } else {
            const int prev = previousEditable(cursorPosition());
            if (prev >= 0) {
                m_slots[prev].value = QChar();
                refresh(prev);
            }
        }
        return;
    }
    if (key == Qt::Key_Delete) {
        if (hasSelectedText()) {
            const int from = selectionStart();
            clearRange(from, from + int(selectedText().size()));
            refresh(from);
        } else {
            const int at = nextEditable(cursorPosition());
            if (at >= 0) {
                m_slots[at].value = QChar();
                refresh(cursorPosition());
            }
        }
        return;
    }
    const QString t = event->text();
    if (!t.isEmpty() && t[0].isPrint() && !(event->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        for (QChar c : t)
            typeChar(c);
        return;
    }
    if (event->matches(QKeySequence::Paste) || event->matches(QKeySequence::Cut) || event->matches(QKeySequence::Undo))
        return; // the mask decides every character; nothing arrives wholesale
    QLineEdit::keyPressEvent(event);
}

void setFieldColour(QWidget *field, const QColor &colour)
{
    QPalette p = field->palette();
    p.setColor(QPalette::Base, colour);
    field->setPalette(p);
}

QColor focusColour() { return {0, 255, 255}; }
QColor whiteColour() { return {255, 255, 255}; }
QColor windowColour() { return QApplication::palette().color(QPalette::Base); }

void highlightField(QLineEdit *field)
{
    setFieldColour(field, focusColour());
    field->setCursorPosition(0);
    field->setSelection(0, int(field->text().size()));
}

bool isEnterKey(const QEvent *event)
{
    if (event->type() != QEvent::KeyPress)
        return false;
    const int key = static_cast<const QKeyEvent *>(event)->key();
    return key == Qt::Key_Return || key == Qt::Key_Enter;
}

bool isFieldMove(const QEvent *event)
{
    const Qt::FocusReason reason = static_cast<const QFocusEvent *>(event)->reason();
    return reason != Qt::ActiveWindowFocusReason && reason != Qt::PopupFocusReason;
}
