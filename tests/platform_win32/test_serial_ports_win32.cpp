// The ports Windows knows: the COM names of the registry's SERIALCOMM map (a value the test
// adds there is found, and gone again once removed), and this run's device for a COM name.
#define QUORIN_NO_LAYER_IMPORT
#include <gtest/gtest.h>

#include <algorithm>
#include <cwchar>
#include <string>
#include <vector>

#include "platform/os/serial_device.h"
#include "platform/os/serial_ports.h"
#include "tests/platform_win32/os_test_support.h"
#include "platform/os/win32/win32_sdk.h"

namespace {

using platform::CSerialDevice;
using platform::CSerialPortFinder;
using platform::SerialPortInfo;

std::vector<std::string> Names(const std::vector<SerialPortInfo>& ports) {
  std::vector<std::string> names;
  for (const SerialPortInfo& port : ports) names.push_back(port.path);
  return names;
}

TEST(SerialPortsWin32, TheSerialcommMapIsListedInOrderAndNothingCanBeAssigned) {
  ::HKEY key = nullptr;
  if (::RegCreateKeyExW(HKEY_LOCAL_MACHINE, L"HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, nullptr, 0,
                        KEY_READ | KEY_WRITE, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    GTEST_SKIP() << "the registry's SERIALCOMM map cannot be written here";
  }
  const wchar_t* values[][2] = {{L"\\Device\\QuorinTest10", L"COM41"},
                                {L"\\Device\\QuorinVCP0", L"COM40"}};
  for (const auto& value : values) {
    ASSERT_EQ(::RegSetValueExW(key, value[0], 0, REG_SZ, reinterpret_cast<const ::BYTE*>(value[1]),
                               static_cast<::DWORD>((std::wcslen(value[1]) + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
  }
  const std::vector<SerialPortInfo> found = CSerialPortFinder().Find();
  for (const auto& value : values) ::RegDeleteValueW(key, value[0]);
  ::RegCloseKey(key);

  const std::vector<std::string> names = Names(found);
  const auto at40 = std::find(names.begin(), names.end(), "COM40");
  const auto at41 = std::find(names.begin(), names.end(), "COM41");
  ASSERT_NE(at40, names.end());
  ASSERT_NE(at41, names.end());
  EXPECT_LT(at40, at41);
  EXPECT_TRUE(found[static_cast<std::size_t>(at40 - names.begin())].usb) << "a virtual COM port";
  EXPECT_FALSE(found[static_cast<std::size_t>(at41 - names.begin())].usb);
  const std::vector<std::string> after = Names(CSerialPortFinder().Find());
  EXPECT_EQ(std::count(after.begin(), after.end(), "COM40"), 0);
  EXPECT_FALSE(CSerialPortFinder::CanAssignDevices());
  EXPECT_FALSE(CSerialDevice::AssignDevice("COM1", "\\\\.\\COM40"));
}

TEST(SerialPortsWin32, ARunsDeviceStandsInForItsNameUntilCleared) {
  CSerialDevice::SetRunDevice("com3", "\\\\.\\COM12");
  EXPECT_EQ(CSerialDevice::DevicePathFor("COM3"), "\\\\.\\COM12");
  EXPECT_EQ(CSerialDevice::DefaultPathFor("COM3"), "\\\\.\\COM3");
  EXPECT_EQ(CSerialDevice::DevicePathFor("COM4"), "\\\\.\\COM4");
  CSerialDevice::ClearRunDevices();
  EXPECT_EQ(CSerialDevice::DevicePathFor("COM3"), "\\\\.\\COM3");
  EXPECT_TRUE(CSerialPortFinder::SameDevice("\\\\.\\com5", "COM5"));
  EXPECT_FALSE(CSerialPortFinder::SameDevice("COM5", "COM50"));
}

}  // namespace
