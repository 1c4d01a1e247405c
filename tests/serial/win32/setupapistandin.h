#pragma once

// The part of SetupAPI and the registry that the Windows port enumerator uses, with the
// Windows names and meanings, over a simulated set of devices and a simulated registry.
#include "win32standin.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <map>

using LONG = qint32;
using LSTATUS = LONG;
using REGSAM = DWORD;
using PBYTE = BYTE *;
using LPBYTE = BYTE *;
using PDWORD = DWORD *;
using LPWSTR = WCHAR *;
using PCWSTR = const WCHAR *;
using HKEY = struct HKEY__ *;
using PHKEY = HKEY *;
using HWND = struct HWND__ *;
using HDEVINFO = void *;

struct GUID
{
    DWORD Data1;
    WORD Data2;
    WORD Data3;
    BYTE Data4[8];
};

struct SP_DEVINFO_DATA
{
    DWORD cbSize;
    GUID ClassGuid;
    DWORD DevInst;
    ULONG_PTR Reserved;
};

inline const HKEY HKEY_LOCAL_MACHINE = reinterpret_cast<HKEY>(quintptr(0x80000002));

constexpr DWORD ERROR_INVALID_DATA = 13;
constexpr DWORD ERROR_INSUFFICIENT_BUFFER = 122;
constexpr DWORD ERROR_MORE_DATA = 234;
constexpr DWORD ERROR_NO_MORE_ITEMS = 259;

constexpr DWORD DIGCF_PRESENT = 0x2;
constexpr DWORD DICS_FLAG_GLOBAL = 0x1;
constexpr DWORD DIREG_DEV = 0x1;

constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_READ = 0x20019;

constexpr DWORD REG_NONE = 0;
constexpr DWORD REG_SZ = 1;
constexpr DWORD REG_EXPAND_SZ = 2;
constexpr DWORD REG_DWORD = 4;
constexpr DWORD REG_MULTI_SZ = 7;
constexpr DWORD REG_NOTIFY_CHANGE_LAST_SET = 0x4;

constexpr DWORD SPDRP_DEVICEDESC = 0x00;
constexpr DWORD SPDRP_HARDWAREID = 0x01;
constexpr DWORD SPDRP_SERVICE = 0x04;
constexpr DWORD SPDRP_CLASS = 0x07;
constexpr DWORD SPDRP_MFG = 0x0B;
constexpr DWORD SPDRP_FRIENDLYNAME = 0x0C;
constexpr DWORD SPDRP_LOCATION_INFORMATION = 0x0D;
constexpr DWORD SPDRP_PHYSICAL_DEVICE_OBJECT_NAME = 0x0E;
constexpr DWORD SPDRP_ENUMERATOR_NAME = 0x16;

HDEVINFO SetupDiGetClassDevsW(const GUID *classGuid, PCWSTR enumerator, HWND parent, DWORD flags);
BOOL SetupDiEnumDeviceInfo(HDEVINFO set, DWORD index, SP_DEVINFO_DATA *data);
HKEY SetupDiOpenDevRegKey(HDEVINFO set, SP_DEVINFO_DATA *data, DWORD scope, DWORD profile,
                          DWORD keyType, REGSAM access);
BOOL SetupDiGetDeviceRegistryPropertyW(HDEVINFO set, SP_DEVINFO_DATA *data, DWORD property,
                                       PDWORD type, PBYTE buffer, DWORD size, PDWORD required);
BOOL SetupDiDestroyDeviceInfoList(HDEVINFO set);

LSTATUS RegOpenKeyExW(HKEY parent, LPCWSTR subKey, DWORD options, REGSAM access, PHKEY result);
LSTATUS RegEnumValueW(HKEY key, DWORD index, LPWSTR name, LPDWORD nameLength, LPDWORD reserved,
                      LPDWORD type, LPBYTE data, LPDWORD dataLength);
LSTATUS RegQueryValueExW(HKEY key, LPCWSTR name, LPDWORD reserved, LPDWORD type, LPBYTE data,
                         LPDWORD dataLength);
LSTATUS RegNotifyChangeKeyValue(HKEY key, BOOL watchSubtree, DWORD filter, HANDLE event,
                                BOOL asynchronous);
LSTATUS RegCloseKey(HKEY key);

// The Windows version the simulated machine reports (10 unless set).
int windowsMajorVersion();

namespace Win32StandIn {

struct RegistryValue
{
    DWORD type = REG_NONE;
    QByteArray data;

    static RegistryValue text(const QString &value, DWORD type = REG_SZ);
    static RegistryValue texts(const QStringList &values);
    static RegistryValue number(DWORD value);
};

// A device of the simulated machine, as SetupAPI sees it.
struct SimulatedDevice
{
    GUID classGuid = {};
    bool hasDeviceKey = true;
    std::map<QString, RegistryValue> deviceKey; // the hardware key's values ("PortName")
    std::map<DWORD, RegistryValue> properties;  // SPDRP_*
};

// Plugs a device in; its service's Enum key under HKLM\SYSTEM\CurrentControlSet\services
// changes as it does on Windows. Returns its instance number.
DWORD plugDevice(const SimulatedDevice &device);
void unplugDevice(DWORD instance);
// A value under HKLM; watches on the key or above it fire.
void setRegistryValue(const QString &key, const QString &name, const RegistryValue &value);
void setWindowsMajorVersion(int major);
// RegNotifyChangeKeyValue registrations that have not fired yet.
int registryWatches();

} // namespace Win32StandIn
