#include "setupapistandin.h"
#include "simulatedmachine_p.h"

#include <QList>

#include <cstring>
#include <vector>

namespace {

using Win32StandIn::RegistryValue;
using Win32StandIn::SimulatedDevice;
using Values = std::map<QString, RegistryValue>;

const QString servicesKey = QStringLiteral("SYSTEM\\CurrentControlSet\\services\\");

struct Watch
{
    HKEY key;
    QString path;
    bool subtree;
    HANDLE event;
};

struct DeviceState
{
    std::map<DWORD, SimulatedDevice> devices;
    DWORD nextInstance = 1;
    // Keys by lower-case path below HKLM.
    std::map<QString, Values> registry;
    std::map<HKEY, QString> keys;
    std::map<HDEVINFO, std::vector<DWORD>> sets;
    QList<Watch> watches;
    int windowsMajor = 10;
};

DeviceState &state()
{
    static DeviceState instance;
    return instance;
}

LSTATUS fail(DWORD error)
{
    SetLastError(error);
    return LSTATUS(error);
}

BOOL refuse(DWORD error)
{
    SetLastError(error);
    return FALSE;
}

QString deviceKeyPath(DWORD instance)
{
    return QStringLiteral("SYSTEM\\CurrentControlSet\\Enum\\STANDIN\\%1\\Device Parameters")
        .arg(instance);
}

QString serviceOf(const SimulatedDevice &device)
{
    const auto found = device.properties.find(SPDRP_SERVICE);
    if (found == device.properties.end())
        return QString();
    return QString::fromUtf16(reinterpret_cast<const char16_t *>(found->second.data.constData()))
        .section(QChar(u'\0'), 0, 0);
}

// A change under a key fires, once, every watch on it or on a key above it.
void changed(const QString &path)
{
    QList<Watch> &watches = state().watches;
    for (qsizetype i = 0; i < watches.size();) {
        const Watch &watch = watches.at(i);
        if (path == watch.path || (watch.subtree && path.startsWith(watch.path + u'\\'))) {
            SetEvent(watch.event);
            watches.removeAt(i);
        } else {
            ++i;
        }
    }
}

void removeValue(const QString &key, const QString &name)
{
    state().registry[key.toLower()].erase(name);
    changed(key.toLower());
}

const Values *valuesOf(HKEY key)
{
    const auto found = state().keys.find(key);
    if (found == state().keys.end())
        return nullptr;
    return &state().registry[found->second];
}

SimulatedDevice *deviceOf(HDEVINFO set, const SP_DEVINFO_DATA *data)
{
    if (!data || state().sets.count(set) == 0)
        return nullptr;
    const auto found = state().devices.find(data->DevInst);
    return found == state().devices.end() ? nullptr : &found->second;
}

HKEY openKey(const QString &path)
{
    const HKEY key = static_cast<HKEY>(Win32StandIn::Machine::newHandle());
    state().keys[key] = path.toLower();
    return key;
}

// Copies a value out as the registry calls do: the size always, the data when it fits.
LSTATUS copyOut(const RegistryValue &value, LPDWORD type, LPBYTE data, LPDWORD size)
{
    if (type)
        *type = value.type;
    if (!size)
        return data ? fail(ERROR_INVALID_PARAMETER) : ERROR_SUCCESS;
    const DWORD wanted = DWORD(value.data.size());
    const DWORD room = *size;
    *size = wanted;
    if (!data)
        return ERROR_SUCCESS;
    if (room < wanted)
        return fail(ERROR_MORE_DATA);
    std::memcpy(data, value.data.constData(), wanted);
    return ERROR_SUCCESS;
}

} // namespace

namespace Win32StandIn {

RegistryValue RegistryValue::text(const QString &value, DWORD type)
{
    RegistryValue result;
    result.type = type;
    result.data = QByteArray(reinterpret_cast<const char *>(value.utf16()),
                             (value.size() + 1) * qsizetype(sizeof(char16_t)));
    return result;
}

RegistryValue RegistryValue::texts(const QStringList &values)
{
    RegistryValue result = text(values.join(QChar(u'\0')) + QChar(u'\0'));
    result.type = REG_MULTI_SZ;
    return result;
}

RegistryValue RegistryValue::number(DWORD value)
{
    RegistryValue result;
    result.type = REG_DWORD;
    result.data = QByteArray(reinterpret_cast<const char *>(&value), sizeof(value));
    return result;
}

DWORD plugDevice(const SimulatedDevice &device)
{
    const DWORD instance = state().nextInstance++;
    state().devices[instance] = device;
    if (device.hasDeviceKey) {
        Values &values = state().registry[deviceKeyPath(instance).toLower()];
        values = device.deviceKey;
    }
    const QString service = serviceOf(device);
    if (!service.isEmpty())
        setRegistryValue(servicesKey + service + QStringLiteral("\\Enum"),
                         QString::number(instance), RegistryValue::text(deviceKeyPath(instance)));
    return instance;
}

void unplugDevice(DWORD instance)
{
    const auto found = state().devices.find(instance);
    if (found == state().devices.end())
        return;
    const QString service = serviceOf(found->second);
    state().devices.erase(found);
    state().registry.erase(deviceKeyPath(instance).toLower());
    if (!service.isEmpty())
        removeValue(servicesKey + service + QStringLiteral("\\Enum"), QString::number(instance));
}

void setRegistryValue(const QString &key, const QString &name, const RegistryValue &value)
{
    state().registry[key.toLower()][name] = value;
    changed(key.toLower());
}

void setWindowsMajorVersion(int major)
{
    state().windowsMajor = major;
}

int registryWatches()
{
    return int(state().watches.size());
}

void Machine::resetDevices()
{
    state() = DeviceState();
}

} // namespace Win32StandIn

int windowsMajorVersion()
{
    return state().windowsMajor;
}

HDEVINFO SetupDiGetClassDevsW(const GUID *classGuid, PCWSTR, HWND, DWORD flags)
{
    if (!classGuid || !(flags & DIGCF_PRESENT)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    std::vector<DWORD> members;
    for (const auto &[instance, device] : state().devices) {
        if (std::memcmp(&device.classGuid, classGuid, sizeof(GUID)) == 0)
            members.push_back(instance);
    }
    const HDEVINFO set = Win32StandIn::Machine::newHandle();
    state().sets[set] = members;
    return set;
}

BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA *data)
{
    const auto found = state().sets.find(set);
    if (found == state().sets.end() || !data || data->cbSize != sizeof(SP_DEVINFO_DATA))
        return refuse(ERROR_INVALID_PARAMETER);
    if (index >= found->second.size())
        return refuse(ERROR_NO_MORE_ITEMS);
    data->DevInst = found->second[index];
    data->ClassGuid = state().devices[data->DevInst].classGuid;
    return TRUE;
}

HKEY SetupDiOpenDevRegKey(HDEVINFO set, SP_DEVINFO_DATA *data, DWORD scope, DWORD, DWORD keyType,
                          REGSAM)
{
    const SimulatedDevice *device = deviceOf(set, data);
    if (!device || !device->hasDeviceKey || scope != DICS_FLAG_GLOBAL || keyType != DIREG_DEV) {
        SetLastError(device ? ERROR_FILE_NOT_FOUND : ERROR_INVALID_PARAMETER);
        return static_cast<HKEY>(INVALID_HANDLE_VALUE);
    }
    return openKey(deviceKeyPath(data->DevInst));
}

BOOL SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, SP_DEVINFO_DATA *data, DWORD property,
                                       PDWORD type, PBYTE buffer, DWORD size, PDWORD required)
{
    const SimulatedDevice *device = deviceOf(set, data);
    if (!device)
        return refuse(ERROR_INVALID_PARAMETER);
    const auto found = device->properties.find(property);
    if (found == device->properties.end())
        return refuse(ERROR_INVALID_DATA);
    if (type)
        *type = found->second.type;
    const DWORD wanted = DWORD(found->second.data.size());
    if (required)
        *required = wanted;
    if (!buffer || size < wanted)
        return refuse(ERROR_INSUFFICIENT_BUFFER);
    std::memcpy(buffer, found->second.data.constData(), wanted);
    return TRUE;
}

BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set)
{
    if (state().sets.erase(set) == 0)
        return refuse(ERROR_INVALID_HANDLE);
    Win32StandIn::Machine::releaseHandle(set);
    return TRUE;
}

LSTATUS RegOpenKeyExW(HKEY parent, LPCWSTR subKey, DWORD, REGSAM, PHKEY result)
{
    QString path;
    if (parent != HKEY_LOCAL_MACHINE) {
        const auto found = state().keys.find(parent);
        if (found == state().keys.end())
            return fail(ERROR_INVALID_HANDLE);
        path = found->second + u'\\';
    }
    path = (path + QString::fromUtf16(subKey)).toLower();
    // A key exists when it or a key below it holds values.
    for (const auto &entry : state().registry) {
        if (entry.first == path || entry.first.startsWith(path + u'\\')) {
            *result = openKey(path);
            return ERROR_SUCCESS;
        }
    }
    return fail(ERROR_FILE_NOT_FOUND);
}

LSTATUS RegEnumValueW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameLength, LPDWORD, LPDWORD type,
                      LPBYTE data, LPDWORD dataLength)
{
    const Values *values = valuesOf(key);
    if (!values)
        return fail(ERROR_INVALID_HANDLE);
    if (index >= values->size())
        return fail(ERROR_NO_MORE_ITEMS);
    const auto entry = std::next(values->begin(), index);
    const QString &valueName = entry->first;
    if (*nameLength <= DWORD(valueName.size()))
        return fail(ERROR_MORE_DATA);
    std::memcpy(name, valueName.utf16(), (valueName.size() + 1) * sizeof(WCHAR));
    *nameLength = DWORD(valueName.size());
    return copyOut(entry->second, type, data, dataLength);
}

LSTATUS RegQueryValueExW(HKEY key, LPCWSTR name, LPDWORD, LPDWORD type, LPBYTE data,
                         LPDWORD dataLength)
{
    const Values *values = valuesOf(key);
    if (!values)
        return fail(ERROR_INVALID_HANDLE);
    const QString wanted = QString::fromUtf16(name);
    for (const auto &[valueName, value] : *values) {
        if (valueName.compare(wanted, Qt::CaseInsensitive) == 0)
            return copyOut(value, type, data, dataLength);
    }
    return fail(ERROR_FILE_NOT_FOUND);
}

LSTATUS RegNotifyChangeKeyValue(HKEY key, BOOL watchSubtree, DWORD, HANDLE event, BOOL asynchronous)
{
    const auto found = state().keys.find(key);
    if (found == state().keys.end())
        return fail(ERROR_INVALID_HANDLE);
    if (!asynchronous || !event)
        return fail(ERROR_INVALID_PARAMETER); // a waiting call would hang the simulation
    state().watches.append(Watch{key, found->second, watchSubtree != FALSE, event});
    return ERROR_SUCCESS;
}

LSTATUS RegCloseKey(HKEY key)
{
    if (state().keys.erase(key) == 0)
        return fail(ERROR_INVALID_HANDLE);
    // Watches end with their key, and say so through their event.
    QList<Watch> &watches = state().watches;
    for (qsizetype i = watches.size() - 1; i >= 0; --i) {
        if (watches.at(i).key == key) {
            SetEvent(watches.at(i).event);
            watches.removeAt(i);
        }
    }
    Win32StandIn::Machine::releaseHandle(key);
    return ERROR_SUCCESS;
}
