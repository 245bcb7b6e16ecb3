#pragma once
// One registry value addressed by root key, key path and value name, read,
// written or deleted. The store behind it is the office's system.reg.
#include <QString>
#include <QVariant>
#include <functional>

class RegistryStore;

namespace registryfile {
// Changes system.reg: read, changed and written back as one state, one
// program of this machine at a time (the screen and the command line beside
// it), the new file written beside it under a name of its own and renamed
// over it. False when it could not be read or written (the reason in
// *error), or when `change` says there is nothing to write.
bool change(const std::function<bool(RegistryStore &)> &change, QString *error = nullptr);
} // namespace registryfile

class Registry {
public:
    // Value: a 32-bit number (int), text (QString), or an invalid QVariant
    // for empty.
    QVariant Value();
    void setValue(const QVariant &value);

    qint32 HKEY() const { return m_hkey; }
    void setHKEY(qint64 h) { m_hkey = static_cast<qint32>(h); }
    QString Path() const { return m_path; }
    void setPath(const QString &path);
    QString Name() const { return m_name; }
    void setName(const QString &name) { m_name = name; }

    void CreateKey();
    void DeleteKey();
    void DeleteValue();
    void SetLocation(qint64 newHKEY, const QString &newPath, const QString &newName);
    bool ERROR_SUCCESS() const { return m_success; }

    qint32 lastResult() const { return m_lastResult; }

private:
    // The full key path in the store, or empty for a root the store lacks.
    QString storeKey() const;
    void raise(quint32 offset, const char *description) const;

    qint32 m_hkey = 0;
    QString m_path;
    QString m_name;
    qint32 m_lastResult = 0;
    bool m_success = false;
};
