#include "app/sysinfo.h"

#include "app/appsettings.h"
#include "platform/officeroot.h"
#include "platform/pathmapper.h"
#include "platform/registrystore.h"
#include "platform/userinterface.h"

bool GetKeyValue(quint32 rootKey, const QString &keyName, const QString &valueName, QString &value)
{
    if (rootKey != appsettings::kHkeyLocalMachine) {
        value.clear();
        return false;
    }
    const QString key = QStringLiteral("HKEY_LOCAL_MACHINE\\") + keyName;
    const RegistryStore store = RegistryStore::load(officeroot::registryFile());
    if (!store.keyExists(key)) {
        value.clear();
        return false;
    }
    const std::optional<RegValue> v = store.value(key, valueName);
    if (!v) {
        value.clear();
        return false;
    }
    if (v->type == RegType::String) {
        QString text = v->text;
        if (text.endsWith(QChar(0)))
            text.chop(1);
        value = text;
    } else if (v->type == RegType::Dword) {
        value = QString::number(v->dword);
    }
    return true;
}

void StartSysInfo()
{
    const quint32 hklm = appsettings::kHkeyLocalMachine;
    QString path;
    bool found = GetKeyValue(hklm, QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools\\MSINFO"), QStringLiteral("PATH"), path);
    if (!found) {
        QString folder;
        if (GetKeyValue(hklm, QStringLiteral("SOFTWARE\\Microsoft\\Shared Tools Location"), QStringLiteral("MSINFO"), folder)
            && pathmapper::fileExists(folder + QStringLiteral("\\MSINFO32.EXE"))) {
            path = folder + QStringLiteral("\\MSINFO32.EXE");
            found = true;
        }
    }
    if (found && ui::current().startProgram(path, WindowStyle::Normal))
        return;
    ui::current().message(QStringLiteral("System Information Is Unavailable At This Time"),
                          QString::fromLatin1(appsettings::kProgramTitle), MsgIcon::None);
}
