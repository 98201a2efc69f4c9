#include "tests/support/pty_peer.h"

#include <chrono>
#include <thread>

#include "platform/os/settings.h"

bool CPtyPeer::SendReply(std::uint8_t code, std::uint8_t paramA) { return Write(Frame(code, paramA)); }

bool MapComPort(const std::string& name, const std::string& devicePath) {
#ifdef _WIN32
  return MapComPortRemote(name, devicePath);
#else
  return WriteProfileString("Devices", name, devicePath) != FALSE;
#endif
}

bool CPtyPeer::MapTo(const std::string& key) const { return MapComPort(key, SlavePath()); }

ByteVec CPtyPeer::ReadBytes(std::size_t n, int timeoutMs) {
  ByteVec bytes(n);
  bytes.resize(ReadExact(bytes.data(), n, timeoutMs));
  return bytes;
}

ByteVec CPtyPeer::ReadUntilQuiet(int timeoutMs, int quietMs) {
  ByteVec bytes;
  std::uint8_t buffer[4096];
  for (int got, wait = timeoutMs; (got = Read(buffer, sizeof buffer, wait)) > 0; wait = quietMs) {
    bytes.insert(bytes.end(), buffer, buffer + got);
  }
  return bytes;
}

bool CPtyPeer::WaitForSpeed(std::uint32_t baud, int timeoutMs) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (SlaveSpeed() != baud) {
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

ByteVec Frame(std::uint8_t code, std::uint8_t paramA) { return {0x01, paramA, code, 0, 0, 0, 0, 0}; }

ByteVec Bytes(std::initializer_list<int> values) {
  ByteVec bytes;
  for (int v : values) bytes.push_back(static_cast<std::uint8_t>(v));
  return bytes;
}
