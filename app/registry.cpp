#include "app/registry.h"

#include "common/besidefile.h"
#include "common/error.h"
#include "common/textfile.h"
#include "platform/officeroot.h"
#include "platform/registrystore.h"

#include <QFileInfo>

namespace registryfile {
bool change(const std::function<bool(RegistryStore &)> &change, QString *error)
{
    const QString file = officeroot::registryFile();
    beside::FolderHold hold(QFileInfo(file).absolutePath());
    if (!hold.claimWaiting(beside::Job::Registry, QStringLiteral("Waiting while another program saves the settings in %1").arg(file))) {
        if (error)
            *error = QStringLiteral("Cannot write the registry file %1: the wait for another program was cancelled.").arg(file);
        return false;
    }
    RegistryStore store = RegistryStore::load(file);
    if (!store.error().isEmpty()) {
        if (error)
            *error = store.error();
        return false;
    }
    if (!change(store))
        return false;
    QString why;
    if (textfile::writeReplacing(file, store.serialise(), &why))
        return true;
    if (error)
        *error = QStringLiteral("Cannot write the registry file %1: %2").arg(file, why);
    return false;
}
} // namespace registryfile

namespace {
// Windows result codes, kept so lastResult() reads as on Windows.
constexpr qint32 kErrorSuccess = 0;
constexpr qint32 kErrorFileNotFound = 2;
constexpr qint32 kErrorAccessDenied = 5;

QString rootName(qint32 hkey)
{
    switch (static_cast<quint32>(hkey)) {
    case 0x80000002u: return QStringLiteral("HKEY_LOCAL_MACHINE");
    default: return {}; // only HKEY_LOCAL_MACHINE lives in system.reg
    }
}
} // namespace

void Registry::raise(quint32 offset, const char *description) const
{
    throw CtfError(kUserErrorBase + offset, QStringLiteral("Registry Class"), QString::fromLatin1(description));
}

QString Registry::storeKey() const
{
    const QString root = rootName(m_hkey);
    if (root.isEmpty())
        return {};
    return root + QLatin1Char('\\') + m_path;
}

void Registry::setPath(const QString &path)
{
    if (path.isEmpty())
        raise(1926, "Cannot assign an empty Path.");
    m_path = path;
}

void Registry::SetLocation(qint64 newHKEY, const QString &newPath, const QString &newName)
{
    setHKEY(newHKEY);
    setPath(newPath);
    setName(newName);
}

QVariant Registry::Value()
{
    if (m_hkey == 0)
        raise(1923, "Cannot read a Value with no HKEY.");
    if (m_path.isEmpty())
        raise(1924, "Cannot read a Value in an empty Path.");
    const QString key = storeKey();
    const RegistryStore store = RegistryStore::load(officeroot::registryFile());
    const std::optional<RegValue> v = key.isEmpty() ? std::nullopt : store.value(key, m_name);
    m_lastResult = v ? kErrorSuccess : kErrorFileNotFound;
    m_success = v.has_value();
    if (!v)
        return {};
    switch (v->type) {
    case RegType::Dword:
        return QVariant(static_cast<qint32>(v->dword));
    case RegType::String: {
        const qsizetype zero = v->text.indexOf(QChar(0));
        return QVariant(zero < 0 ? v->text : v->text.left(zero));
    }
    default:
        return {};
    }
}

void Registry::setValue(const QVariant &value)
{
    if (m_hkey == 0)
        raise(1920, "Cannot save a Value with no HKEY.");
    if (m_path.isEmpty())
        raise(1921, "Cannot save a Value in an empty Path.");
    const QString key = storeKey();
    bool isNumber = false;
    const QString text = value.toString();
    const double number = text.trimmed().toDouble(&isNumber);
    m_success = !key.isEmpty() && registryfile::change([&](RegistryStore &store) {
        if (isNumber && !text.trimmed().isEmpty())
            store.setDword(key, m_name, static_cast<quint32>(static_cast<qint64>(number)));
        else
            store.setString(key, m_name, text);
        return true;
    });
    m_lastResult = m_success ? kErrorSuccess : kErrorAccessDenied;
}

void Registry::CreateKey()
{
    if (m_hkey == 0)
        raise(1928, "Cannot create Key with no HKEY.");
    if (m_path.isEmpty())
        raise(1929, "Cannot create Key in an empty Path.");
    const QString key = storeKey();
    bool existed = false;
    m_success = !key.isEmpty() && (registryfile::change([&](RegistryStore &store) {
                    existed = store.keyExists(key);
                    if (!existed)
                        store.createKey(key);
                    return !existed;
                }) || existed);
    m_lastResult = m_success ? kErrorSuccess : kErrorAccessDenied;
}

void Registry::DeleteKey()
{
    if (m_hkey == 0)
        raise(1930, "Cannot delete a Key with no HKEY.");
    if (m_path.isEmpty())
        raise(1931, "Cannot delete a Key in an empty Path.");
    const QString key = storeKey();
    m_success = !key.isEmpty() && registryfile::change([&](RegistryStore &store) { return store.deleteKey(key); });
    m_lastResult = m_success ? kErrorSuccess : kErrorFileNotFound;
}

void Registry::DeleteValue()
{
    if (m_hkey == 0)
        raise(1932, "Cannot delete a Value with no HKEY.");
    if (m_path.isEmpty())
        raise(1933, "Cannot delete a Value in an empty Path.");
    const QString key = storeKey();
    m_success = !key.isEmpty() && registryfile::change([&](RegistryStore &store) { return store.deleteValue(key, m_name); });
    m_lastResult = m_success ? kErrorSuccess : kErrorFileNotFound;
}
