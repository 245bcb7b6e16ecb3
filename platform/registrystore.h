#pragma once
// The registry of the office: system.reg, a file in the export format of the
// Windows registry editor ("Windows Registry Editor Version 5.00" in UTF-16LE
// with BOM or UTF-8, or "REGEDIT4"). Key paths are full
// ("HKEY_LOCAL_MACHINE\Software\Orvel\Tarnwell") and, as in the registry,
// key paths and value names match without regard to letter case. A change
// written back (registryfile::change) keeps every other key, value and line
// exactly as it was.
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

enum class RegType { String, Dword, Other };

struct RegValue {
    RegType type = RegType::Other;
    // String: the characters stored, a terminating zero included when the
    // value was stored with one (hex(1) data); the reader cuts at the first zero.
    QString text;
    quint32 dword = 0;
};

class RegistryStore {
public:
    RegistryStore();
    // A missing file is an empty registry; an unreadable one sets error().
    static RegistryStore load(const QString &file);
    static RegistryStore parse(const QByteArray &bytes);
    QByteArray serialise() const;

    bool keyExists(const QString &key) const;
    std::optional<RegValue> value(const QString &key, const QString &name) const;
    void setString(const QString &key, const QString &name, const QString &text);
    void setDword(const QString &key, const QString &name, quint32 v);
    bool deleteValue(const QString &key, const QString &name);
    void createKey(const QString &key);
    // Removes the key and its subkeys; false when it did not exist.
    bool deleteKey(const QString &key);

    const QString &error() const { return m_error; }

private:
    struct Entry {
        QString name;       // value name; "" for @ (default)
        QStringList lines;  // raw lines as written, continuation lines included
        bool isValue = false;
    };
    struct Section {
        QString header;     // the "[...]" line, or empty for the preamble
        QString key;        // key path inside the brackets
        bool deletion = false;
        QList<Entry> entries;
    };
    Section *findSection(const QString &key);
    const Section *findSection(const QString &key) const;
    Section &ensureSection(const QString &key);
    void setRaw(const QString &key, const QString &name, const QString &line);
    static std::optional<RegValue> decode(const QStringList &lines, bool unicode);

    QString m_headerLine;
    QList<Section> m_sections; // [0] holds lines before the first key
    bool m_utf16 = true;
    bool m_unicode = true;     // version 5 (UTF-16 hex(1) data) rather than REGEDIT4
    QString m_error;
};
