#include "tests/support/win32/remote_line.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <mutex>
#include <sstream>

#include "platform/os/win32/wide.h"

namespace {

std::mutex g_mutex;  // one request at a time on the connection
SOCKET g_socket = INVALID_SOCKET;
std::string g_pending;

bool Connect() {
  if (g_socket != INVALID_SOCKET) return true;
  const char* port = std::getenv("QUORIN_LINE_BROKER");
  if (port == nullptr || *port == '\0') return false;
  WSADATA data;
  if (WSAStartup(MAKEWORD(2, 2), &data) != 0) return false;
  const SOCKET s = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
  if (s == INVALID_SOCKET) return false;
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_port = htons(static_cast<u_short>(std::atoi(port)));
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  if (connect(s, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    closesocket(s);
    return false;
  }
  const BOOL one = TRUE;
  setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
  g_socket = s;
  return true;
}

}  // namespace

std::string AskLineBroker(const std::string& request) {
  std::lock_guard<std::mutex> lock(g_mutex);
  if (!Connect()) return std::string();
  const std::string line = request + "\n";
  for (std::size_t done = 0; done < line.size();) {
    const int sent = send(g_socket, line.data() + done, static_cast<int>(line.size() - done), 0);
    if (sent <= 0) return std::string();
    done += static_cast<std::size_t>(sent);
  }
  for (;;) {
    const std::size_t newline = g_pending.find('\n');
    if (newline != std::string::npos) {
      std::string answer = g_pending.substr(0, newline);
      g_pending.erase(0, newline + 1);
      return answer;
    }
    char buffer[65536];
    const int got = recv(g_socket, buffer, sizeof buffer, 0);
    if (got <= 0) return std::string();
    g_pending.append(buffer, static_cast<std::size_t>(got));
  }
}

std::string ToHex(const std::string& bytes) {
  if (bytes.empty()) return "-";
  static const char digits[] = "0123456789abcdef";
  std::string hex;
  for (unsigned char c : bytes) {
    hex += digits[c >> 4];
    hex += digits[c & 15];
  }
  return hex;
}

std::string FromHex(const std::string& hex) {
  std::string bytes;
  if (hex == "-") return bytes;
  for (std::size_t i = 0; i + 1 < hex.size(); i += 2) {
    bytes += static_cast<char>(std::strtol(hex.substr(i, 2).c_str(), nullptr, 16));
  }
  return bytes;
}

std::string UnixPathOf(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  using Translate = char*(__cdecl*)(const wchar_t*);
  const auto translate = reinterpret_cast<Translate>(reinterpret_cast<void*>(
      GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "wine_get_unix_file_name")));
  if (translate == nullptr) return path;
  char* unix = translate(platform::Utf8ToWide(path).c_str());
  if (unix == nullptr) return path;
  const std::string result = unix;
  HeapFree(GetProcessHeap(), 0, unix);
  return result;
}

bool MapComPortRemote(const std::string& name, const std::string& devicePath) {
  return AskLineBroker("LINK " + name + " " + ToHex(UnixPathOf(devicePath))) == "OK";
}

// ---- a borrowed line -----------------------------------------------------------------------

CRemoteLine::~CRemoteLine() { Close(); }

std::string CRemoteLine::Ask(const std::string& verb, const std::string& rest) const {
  std::string request = verb + " " + std::to_string(m_id);
  if (!rest.empty()) request += " " + rest;
  return AskLineBroker(request);
}

bool CRemoteLine::Open() {
  Close();
  std::istringstream answer(AskLineBroker("PTY"));
  std::string ok;
  answer >> ok >> m_id >> m_slavePath;
  if (ok != "OK") m_id = 0;
  return m_id > 0;
}

void CRemoteLine::Close() {
  if (m_id > 0) Ask("CLOSE");
  m_id = 0;
  m_slavePath.clear();
}

std::uint32_t CRemoteLine::SlaveSpeed() const {
  std::istringstream answer(Ask("SPEED"));
  std::string ok;
  std::uint32_t baud = 0;
  answer >> ok >> baud;
  return ok == "OK" ? baud : 0;
}

bool CRemoteLine::SetSlaveCooked() { return Ask("COOKED") == "OK"; }

bool CRemoteLine::SetSlaveSpeed(std::uint32_t baud) {
  return Ask("SETSPEED", std::to_string(baud)) == "OK";
}

int CRemoteLine::Read(void* buffer, std::size_t n, int timeoutMs) {
  std::istringstream answer(Ask("READ", std::to_string(n) + " " + std::to_string(std::max(timeoutMs, 0))));
  std::string ok, hex;
  answer >> ok >> hex;
  if (ok != "OK") return -1;
  const std::string bytes = FromHex(hex);
  const std::size_t got = std::min(n, bytes.size());
  std::copy(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(got), static_cast<char*>(buffer));
  return static_cast<int>(got);
}

std::size_t CRemoteLine::ReadExact(void* buffer, std::size_t n, int timeoutMs) {
  auto* out = static_cast<char*>(buffer);
  std::size_t done = 0;
  while (done < n) {
    const int got = Read(out + done, n - done, timeoutMs);
    if (got <= 0) break;
    done += static_cast<std::size_t>(got);
  }
  return done;
}

bool CRemoteLine::Write(const void* data, std::size_t n) {
  return Ask("WRITE", ToHex(std::string(static_cast<const char*>(data), n))) == "OK";
}

bool CRemoteLine::WaitDrained(int timeoutMs) { return Ask("DRAINED", std::to_string(timeoutMs)) == "OK 1"; }

int CRemoteLine::PendingToSlave() const {
  std::istringstream answer(Ask("PENDING"));
  std::string ok;
  int n = -1;
  answer >> ok >> n;
  return ok == "OK" ? n : -1;
}

void CRemoteLine::DiscardInput() { Ask("DISCARD"); }
