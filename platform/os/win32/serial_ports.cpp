#include "platform/os/serial_ports.h"

#include <algorithm>
#include <map>
#include <mutex>

#include "platform/os/win32/wide.h"
#include "platform/os/win32/win32_sdk.h"

// After the SDK: the class GUIDs are defined in this unit, not looked for in a library.
#include <initguid.h>
#include <devguid.h>
#include <setupapi.h>

namespace platform {

namespace {

// "COM10" after "COM9".
bool ComNameLess(const std::string& a, const std::string& b) {
  if (a.size() != b.size()) return a.size() < b.size();
  return a < b;
}

std::wstring ReadStringValue(::HKEY key, const wchar_t* name) {
  wchar_t buffer[256] = {};
  ::DWORD type = 0;
  ::DWORD size = sizeof(buffer) - sizeof(wchar_t);
  if (::RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<::BYTE*>(buffer), &size) !=
          ERROR_SUCCESS ||
      type != REG_SZ) {
    return std::wstring();
  }
  return std::wstring(buffer);
}

// The device manager's names of the ports, by COM name.
std::map<std::string, std::string> FriendlyNames() {
  std::map<std::string, std::string> names;
  const ::HDEVINFO set = ::SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
  if (set == INVALID_HANDLE_VALUE) return names;
  ::SP_DEVINFO_DATA device{};
  device.cbSize = sizeof(device);
  for (::DWORD i = 0; ::SetupDiEnumDeviceInfo(set, i, &device); ++i) {
    const ::HKEY key = ::SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
    if (key == INVALID_HANDLE_VALUE) continue;
    const std::string port = WideToUtf8(ReadStringValue(key, L"PortName"));
    ::RegCloseKey(key);
    wchar_t friendly[256] = {};
    if (!port.empty() &&
        ::SetupDiGetDeviceRegistryPropertyW(set, &device, SPDRP_FRIENDLYNAME, nullptr,
                                            reinterpret_cast<::BYTE*>(friendly),
                                            sizeof(friendly) - sizeof(wchar_t), nullptr)) {
      names[port] = WideToUtf8(friendly);
    }
  }
  ::SetupDiDestroyDeviceInfoList(set);
  return names;
}

}  // namespace

CSerialPortFinder::CSerialPortFinder() : CSerialPortFinder(std::string(), std::string(), nullptr) {}

CSerialPortFinder::CSerialPortFinder(std::string devRoot, std::string sysRoot, UartProbe probe)
    : m_devRoot(std::move(devRoot)), m_sysRoot(std::move(sysRoot)), m_probe(std::move(probe)) {}

bool CSerialPortFinder::CanAssignDevices() { return false; }

UartAnswer CSerialPortFinder::ProbeUart(const std::string& devicePath) const {
  return m_probe ? m_probe(devicePath) : UartAnswer::CannotTell;
}

UartAnswer CSerialPortFinder::ProbeKernelUart(const std::string&, const std::string&) {
  return UartAnswer::CannotTell;
}

UartAnswer CSerialPortFinder::UartFromSysfs(const std::string&, const std::string&) {
  return UartAnswer::CannotTell;
}

bool CSerialPortFinder::SameDevice(const std::string& a, const std::string& b) {
  auto plain = [](std::string name) {
    if (name.compare(0, 4, "\\\\.\\") == 0) name.erase(0, 4);
    for (char& c : name) {
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return name;
  };
  return !a.empty() && plain(a) == plain(b);
}

bool CSerialPortFinder::Exists(const std::string& path) const {
  if (path.empty()) return false;
  // A COM port exists when the system can tell its configuration; nothing is opened.
  std::string name = path;
  if (name.compare(0, 4, "\\\\.\\") == 0) name.erase(0, 4);
  COMMCONFIG config{};
  ::DWORD size = sizeof(config);
  config.dwSize = sizeof(config);
  if (::GetDefaultCommConfigW(Utf8ToWide(name).c_str(), &config, &size)) return true;
  for (const SerialPortInfo& port : Find()) {
    if (port.path == name) return true;
  }
  return false;
}

std::vector<SerialPortInfo> CSerialPortFinder::Find() const {
  std::vector<SerialPortInfo> found;
  ::HKEY key = nullptr;
  if (::RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_READ, &key) !=
      ERROR_SUCCESS) {
    return found;
  }
  for (::DWORD i = 0;; ++i) {
    wchar_t valueName[256] = {};
    ::DWORD nameLength = 255;
    wchar_t data[256] = {};
    ::DWORD dataSize = sizeof(data) - sizeof(wchar_t);
    ::DWORD type = 0;
    const ::LONG result = ::RegEnumValueW(key, i, valueName, &nameLength, nullptr, &type,
                                          reinterpret_cast<::BYTE*>(data), &dataSize);
    if (result == ERROR_NO_MORE_ITEMS) break;
    if (result != ERROR_SUCCESS || type != REG_SZ) continue;
    SerialPortInfo info;
    info.path = WideToUtf8(data);
    // The value's name is the driver's device object (\Device\Serial0, \Device\VCP0).
    info.usb = std::wstring(valueName).find(L"VCP") != std::wstring::npos ||
               std::wstring(valueName).find(L"USB") != std::wstring::npos;
    if (!info.path.empty()) found.push_back(std::move(info));
  }
  ::RegCloseKey(key);

  const std::map<std::string, std::string> friendly = FriendlyNames();
  for (SerialPortInfo& port : found) {
    auto it = friendly.find(port.path);
    if (it != friendly.end()) port.description = it->second;
  }
  std::sort(found.begin(), found.end(),
            [](const SerialPortInfo& a, const SerialPortInfo& b) { return ComNameLess(a.path, b.path); });
  return found;
}

namespace {

std::mutex g_finderMutex;
std::unique_ptr<CSerialPortFinder> g_finder;

}  // namespace

const CSerialPortFinder& SerialPortFinder() {
  std::lock_guard<std::mutex> lock(g_finderMutex);
  if (!g_finder) g_finder = std::make_unique<CSerialPortFinder>();
  return *g_finder;
}

void SetSerialPortFinder(std::unique_ptr<CSerialPortFinder> finder) {
  std::lock_guard<std::mutex> lock(g_finderMutex);
  g_finder = std::move(finder);
}

}  // namespace platform
