#include "platform/registrystore.h"

#include <QFile>
#include <QStringDecoder>

namespace {

const QString kV5 = QStringLiteral("Windows Registry Editor Version 5.00");
const QString kV4 = QStringLiteral("REGEDIT4");

QString escapeText(const QString &s)
{
    QString out;
    out.reserve(s.size() + 2);
    for (QChar c : s) {
        if (c == '\\' || c == '"')
            out += '\\';
        out += c;
    }
    return out;
}

// Reads a quoted text starting at pos (on the opening quote); returns the
// unescaped text and moves pos past the closing quote.
std::optional<QString> readQuoted(const QString &line, int &pos)
{
    if (pos >= line.size() || line[pos] != '"')
        return std::nullopt;
    QString out;
    for (++pos; pos < line.size(); ++pos) {
        const QChar c = line[pos];
        if (c == '\\' && pos + 1 < line.size()) {
            out += line[++pos];
        } else if (c == '"') {
            ++pos;
            return out;
        } else {
            out += c;
        }
    }
    return std::nullopt;
}

QString valueLine(const QString &name, const QString &data)
{
    return (name.isEmpty() ? QStringLiteral("@") : '"' + escapeText(name) + '"') + '=' + data;
}

} // namespace

RegistryStore::RegistryStore()
{
    m_headerLine = kV5;
    m_sections.append(Section{});
}

RegistryStore RegistryStore::load(const QString &file)
{
    QFile f(file);
    if (!f.exists())
        return RegistryStore();
    if (!f.open(QIODevice::ReadOnly)) {
        RegistryStore s;
        s.m_error = QStringLiteral("Cannot read the registry file %1: %2").arg(file, f.errorString());
        return s;
    }
    return parse(f.readAll());
}

// One pass over the file's lines: a key heading, a value line or damage,
// each a short case sharing the current key.
RegistryStore RegistryStore::parse(const QByteArray &bytes)
{
    RegistryStore s;
    s.m_sections.clear();
    QString text;
    if (bytes.startsWith("\xFF\xFE")) {
        s.m_utf16 = true;
        text = QStringDecoder(QStringDecoder::Utf16LE).decode(bytes.mid(2));
    } else {
        s.m_utf16 = false;
        text = QString::fromUtf8(bytes.startsWith("\xEF\xBB\xBF") ? bytes.mid(3) : bytes);
    }
    QStringList lines = text.split('\n');
    for (QString &l : lines)
        if (l.endsWith('\r'))
            l.chop(1);
    while (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();

    int i = 0;
    if (!lines.isEmpty() && (lines[0].trimmed() == kV5 || lines[0].trimmed() == kV4)) {
        s.m_headerLine = lines[0].trimmed();
        s.m_unicode = s.m_headerLine == kV5;
        i = 1;
    } else {
        s.m_headerLine = kV5;
    }
    s.m_sections.append(Section{});
    for (; i < lines.size(); ++i) {
        const QString &line = lines[i];
        const QString trimmed = line.trimmed();
        if (trimmed.startsWith('[') && trimmed.endsWith(']')) {
            Section sec;
            sec.header = line;
            sec.key = trimmed.mid(1, trimmed.size() - 2);
            if (sec.key.startsWith('-')) {
                sec.deletion = true;
                sec.key = sec.key.mid(1);
            }
            s.m_sections.append(sec);
            continue;
        }
        Entry e;
        e.lines << line;
        // A hex value may go on over lines ending in "\".
        QString last = line;
        while (last.trimmed().endsWith('\\') && (last.contains(QStringLiteral("=hex")) || e.lines.size() > 1)
               && i + 1 < lines.size()) {
            last = lines[++i];
            e.lines << last;
        }
        int pos = 0;
        if (trimmed.startsWith('@')) {
            e.isValue = true;
        } else if (trimmed.startsWith('"')) {
            QString l = trimmed;
            if (auto name = readQuoted(l, pos)) {
                e.isValue = pos < l.size() && l[pos] == '=';
                e.name = *name;
            }
        }
        s.m_sections.last().entries.append(e);
    }
    return s;
}

QByteArray RegistryStore::serialise() const
{
    QStringList out;
    out << m_headerLine;
    for (const Section &sec : m_sections) {
        if (!sec.header.isEmpty())
            out << sec.header;
        for (const Entry &e : sec.entries)
            out << e.lines;
    }
    const QString text = out.join(QStringLiteral("\r\n")) + QStringLiteral("\r\n");
    if (!m_utf16)
        return text.toUtf8();
    QByteArray bytes("\xFF\xFE", 2);
    for (QChar c : text) {
        bytes.append(char(c.unicode() & 0xFF));
        bytes.append(char(c.unicode() >> 8));
    }
    return bytes;
}

const RegistryStore::Section *RegistryStore::findSection(const QString &key) const
{
    // The last live section of that name wins, as an import would leave it.
    const Section *found = nullptr;
    for (const Section &sec : m_sections) {
        if (sec.header.isEmpty() || sec.key.compare(key, Qt::CaseInsensitive) != 0)
            continue;
        found = sec.deletion ? nullptr : &sec;
    }
    return found;
}

RegistryStore::Section *RegistryStore::findSection(const QString &key)
{
    return const_cast<Section *>(std::as_const(*this).findSection(key));
}

bool RegistryStore::keyExists(const QString &key) const { return findSection(key) != nullptr; }

std::optional<RegValue> RegistryStore::decode(const QStringList &lines, bool unicode)
{
    QString joined;
    for (QString l : lines) {
        l = l.trimmed();
        if (l.endsWith('\\'))
            l.chop(1);
        joined += l;
    }
    int pos = 0;
    if (joined.startsWith('@')) {
        pos = 1;
    } else if (!readQuoted(joined, pos)) {
        return std::nullopt;
    }
    if (pos >= joined.size() || joined[pos] != '=')
        return std::nullopt;
    const QString data = joined.mid(pos + 1);
    RegValue v;
    if (data.startsWith('"')) {
        int p = 0;
        auto t = readQuoted(data, p);
        if (!t)
            return std::nullopt;
        v.type = RegType::String;
        v.text = *t;
        return v;
    }
    if (data.startsWith(QStringLiteral("dword:"), Qt::CaseInsensitive)) {
        bool ok = false;
        v.dword = data.mid(6).toUInt(&ok, 16);
        v.type = ok ? RegType::Dword : RegType::Other;
        return v;
    }
    if (data.startsWith(QStringLiteral("hex(1):"), Qt::CaseInsensitive)) {
        QByteArray bytes;
        for (const QString &b : data.mid(7).split(',', Qt::SkipEmptyParts))
            bytes.append(char(b.trimmed().toUInt(nullptr, 16)));
        v.type = RegType::String;
        if (unicode) {
            for (int i = 0; i + 1 < bytes.size(); i += 2)
                v.text += QChar(uchar(bytes[i]) | (uchar(bytes[i + 1]) << 8));
        } else {
            v.text = QString::fromLatin1(bytes);
        }
        return v;
    }
    if (data == QStringLiteral("-"))
        return std::nullopt;
    v.type = RegType::Other;
    return v;
}

std::optional<RegValue> RegistryStore::value(const QString &key, const QString &name) const
{
    const Section *sec = findSection(key);
    if (!sec)
        return std::nullopt;
    std::optional<RegValue> result;
    for (const Entry &e : sec->entries)
        if (e.isValue && e.name.compare(name, Qt::CaseInsensitive) == 0)
            result = decode(e.lines, m_unicode);
    return result;
}

RegistryStore::Section &RegistryStore::ensureSection(const QString &key)
{
    if (Section *sec = findSection(key))
        return *sec;
    // Parent keys exist implicitly, as after an import.
    if (!m_sections.isEmpty() && !m_sections.last().entries.isEmpty()
        && !m_sections.last().entries.last().lines.last().isEmpty()) {
        m_sections.last().entries.append(Entry{QString(), {QString()}, false});
    } else if (m_sections.size() == 1 && m_sections[0].entries.isEmpty()) {
        m_sections[0].entries.append(Entry{QString(), {QString()}, false});
    }
    Section sec;
    sec.header = '[' + key + ']';
    sec.key = key;
    m_sections.append(sec);
    return m_sections.last();
}

void RegistryStore::setRaw(const QString &key, const QString &name, const QString &line)
{
    Section &sec = ensureSection(key);
    for (Entry &e : sec.entries) {
        if (e.isValue && e.name.compare(name, Qt::CaseInsensitive) == 0) {
            e.lines = {line};
            return;
        }
    }
    // New values go before the blank line that closes the section.
    qsizetype at = sec.entries.size();
    while (at > 0 && !sec.entries[at - 1].isValue && sec.entries[at - 1].lines.join(QString()).trimmed().isEmpty())
        --at;
    sec.entries.insert(at, Entry{name, {line}, true});
    if (at == sec.entries.size() - 1)
        sec.entries.append(Entry{QString(), {QString()}, false});
}

void RegistryStore::setString(const QString &key, const QString &name, const QString &text)
{
    setRaw(key, name, valueLine(name, '"' + escapeText(text) + '"'));
}

void RegistryStore::setDword(const QString &key, const QString &name, quint32 v)
{
    setRaw(key, name, valueLine(name, QStringLiteral("dword:%1").arg(v, 8, 16, QLatin1Char('0'))));
}

bool RegistryStore::deleteValue(const QString &key, const QString &name)
{
    Section *sec = findSection(key);
    if (!sec)
        return false;
    bool removed = false;
    for (qsizetype i = sec->entries.size() - 1; i >= 0; --i) {
        if (sec->entries[i].isValue && sec->entries[i].name.compare(name, Qt::CaseInsensitive) == 0) {
            sec->entries.removeAt(i);
            removed = true;
        }
    }
    return removed;
}

void RegistryStore::createKey(const QString &key) { ensureSection(key); }

bool RegistryStore::deleteKey(const QString &key)
{
    bool removed = false;
    const QString prefix = key + '\\';
    for (qsizetype i = m_sections.size() - 1; i >= 1; --i) {
        const Section &sec = m_sections[i];
        if (sec.key.compare(key, Qt::CaseInsensitive) == 0 || sec.key.startsWith(prefix, Qt::CaseInsensitive)) {
            removed = removed || !sec.deletion;
            m_sections.removeAt(i);
        }
    }
    return removed;
}
