#include "tests/support/pty_peer.h"

#include <stdlib.h>

#include <chrono>
#include <thread>

#include "platform/settings.h"

CPtyPeer::~CPtyPeer() { Close(); }

std::string CPtyPeer::IsolateSettings() {
  static const std::string folder = [] {
    char pattern[] = "/tmp/quorin-test-config-XXXXXX";
    const char* made = mkdtemp(pattern);
    const std::string path = made != nullptr ? made : "/tmp";
    setenv("XDG_CONFIG_HOME", path.c_str(), 1);
    return path;
  }();
  return folder;
}

bool CPtyPeer::Open() {
  IsolateSettings();
  return m_pty.Open();
}

void CPtyPeer::Close() { m_pty.Close(); }

bool CPtyPeer::MapToPort(int nPort) {
  IsolateSettings();
  const std::string key = nPort >= 11 ? "TELNET" : "COM" + std::to_string(nPort);
  return WriteProfileString("Devices", key, m_pty.SlavePath()) != FALSE;
}

std::vector<std::uint8_t> CPtyPeer::ReadBytes(std::size_t n, int timeoutMs) {
  std::vector<std::uint8_t> bytes(n);
  bytes.resize(m_pty.ReadExact(bytes.data(), n, timeoutMs));
  return bytes;
}

std::vector<std::uint8_t> CPtyPeer::ReadUntilQuiet(int timeoutMs, int quietMs) {
  std::vector<std::uint8_t> bytes;
  std::uint8_t buffer[4096];
  int wait = timeoutMs;
  for (;;) {
    const int got = m_pty.Read(buffer, sizeof(buffer), wait);
    if (got <= 0) break;
    bytes.insert(bytes.end(), buffer, buffer + got);
    wait = quietMs;
  }
  return bytes;
}

bool CPtyPeer::Write(const std::vector<std::uint8_t>& bytes) {
  return m_pty.Write(bytes.data(), bytes.size());
}

std::vector<std::uint8_t> CPtyPeer::Frame(std::uint8_t code, std::uint8_t paramA) {
  return {0x01, paramA, code, 0, 0, 0, 0, 0};
}

bool CPtyPeer::SendReply(std::uint8_t code, std::uint8_t paramA) {
  return Write(Frame(code, paramA));
}

bool CPtyPeer::WaitDrained(int timeoutMs) { return m_pty.WaitDrained(timeoutMs); }

bool CPtyPeer::WaitForSpeed(std::uint32_t baud, int timeoutMs) {
  const auto until = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (m_pty.SlaveSpeed() != baud) {
    if (std::chrono::steady_clock::now() >= until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

std::vector<std::uint8_t> Bytes(std::initializer_list<int> values) {
  std::vector<std::uint8_t> bytes;
  for (int v : values) bytes.push_back(static_cast<std::uint8_t>(v));
  return bytes;
}
