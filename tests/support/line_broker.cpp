// quorin-line-broker: lends pseudo-terminals and receiver simulators to test programs that
// cannot make them themselves: the Windows suites, which run under Wine and reach Linux
// devices only as COM ports that Wine's registry maps to paths. Those paths are symbolic links
// in one folder (--links); a test points COMn's link at a line it borrowed, and the Windows
// program opens COMn.
//
// A test program connects over TCP on the loopback (the port goes to --port-file) and sends
// one request per line; each gets one line back, "OK ..." or "ERR reason". Bytes and paths
// travel as hexadecimal text ("-" for none). What a connection borrowed goes when it closes.
//
//   PTY                          -> OK <id> <slave path>
//   WRITE <id> <hex>             -> OK
//   READ <id> <max> <timeoutMs>  -> OK <hex>          (what came within the time, maybe none)
//   SPEED <id>                   -> OK <baud>         (the speed the program set on its side)
//   SETSPEED <id> <baud> | COOKED <id> | DISCARD <id> | CLOSE <id> -> OK
//   PENDING <id>                 -> OK <bytes not yet read by the program>
//   DRAINED <id> <timeoutMs>     -> OK 1|0
//   LINK <COMn> <hex path>       -> OK                (path "-": the link goes)
//   SIM <hex arg> ...            -> OK <id> <slave path>
//   SIMWAIT <id> <timeoutMs>     -> OK <exit status> <hex output> | ERR running
//   SIMKILL <id>                 -> OK
#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "platform/os/pty.h"
#include "tests/support/sim_runner.h"

namespace {

namespace fs = std::filesystem;

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

bool FromHex(const std::string& hex, std::string& bytes) {
  bytes.clear();
  if (hex == "-") return true;
  if (hex.size() % 2 != 0) return false;
  for (std::size_t i = 0; i < hex.size(); i += 2) {
    char* end = nullptr;
    const std::string pair = hex.substr(i, 2);
    const long v = std::strtol(pair.c_str(), &end, 16);
    if (end != pair.c_str() + 2) return false;
    bytes += static_cast<char>(v);
  }
  return true;
}

class CSession {
 public:
  CSession(int fd, std::string links) : m_fd(fd), m_links(std::move(links)) {}
  ~CSession() { ::close(m_fd); }

  void Run() {
    std::string line;
    while (ReadLine(line)) {
      if (!Send(Handle(line) + "\n")) break;
    }
  }

 private:
  std::string Handle(const std::string& line) {
    std::istringstream in(line);
    std::string verb;
    in >> verb;
    if (verb == "PTY") {
      auto pty = std::make_unique<CPseudoTerminal>();
      if (!pty->Open()) return "ERR no pseudo-terminal";
      const int id = ++m_nLastId;
      const std::string path = pty->SlavePath();
      m_ptys[id] = std::move(pty);
      return "OK " + std::to_string(id) + " " + path;
    }
    if (verb == "LINK") return Link(in);
    if (verb == "SIM") return StartSim(in);
    if (verb == "SIMWAIT" || verb == "SIMKILL") return Sim(verb, in);
    int id = 0;
    in >> id;
    const auto it = m_ptys.find(id);
    if (it == m_ptys.end()) return "ERR no such line";
    CPseudoTerminal& pty = *it->second;
    if (verb == "WRITE") {
      std::string hex, bytes;
      in >> hex;
      if (!FromHex(hex, bytes)) return "ERR bad bytes";
      return pty.Write(bytes.data(), bytes.size()) ? "OK" : "ERR write failed";
    }
    if (verb == "READ") {
      std::size_t max = 0;
      int timeoutMs = 0;
      in >> max >> timeoutMs;
      std::string bytes(std::min<std::size_t>(max, 65536), '\0');
      const int got = pty.Read(bytes.data(), bytes.size(), timeoutMs);
      if (got < 0) return "ERR read failed";
      bytes.resize(static_cast<std::size_t>(got));
      return "OK " + ToHex(bytes);
    }
    if (verb == "SPEED") return "OK " + std::to_string(pty.SlaveSpeed());
    if (verb == "SETSPEED") {
      std::uint32_t baud = 0;
      in >> baud;
      return pty.SetSlaveSpeed(baud) ? "OK" : "ERR speed refused";
    }
    if (verb == "COOKED") return pty.SetSlaveCooked() ? "OK" : "ERR";
    if (verb == "DISCARD") {
      pty.DiscardInput();
      return "OK";
    }
    if (verb == "PENDING") return "OK " + std::to_string(pty.PendingToSlave());
    if (verb == "DRAINED") {
      int timeoutMs = 0;
      in >> timeoutMs;
      return pty.WaitDrained(timeoutMs) ? "OK 1" : "OK 0";
    }
    if (verb == "CLOSE") {
      m_ptys.erase(it);
      return "OK";
    }
    return "ERR unknown request";
  }

  std::string Link(std::istringstream& in) {
    std::string name, hex, target;
    in >> name >> hex;
    // Only the COM names Wine's registry maps into the folder; nothing else is touched.
    if (name.size() < 4 || name.compare(0, 3, "COM") != 0 ||
        name.find_first_not_of("0123456789", 3) != std::string::npos || !FromHex(hex, target)) {
      return "ERR bad link";
    }
    const fs::path link = fs::path(m_links) / name;
    std::error_code ec;
    fs::remove(link, ec);
    if (target.empty()) return "OK";
    fs::create_symlink(target, link, ec);
    return ec ? "ERR " + ec.message() : "OK";
  }

  std::string StartSim(std::istringstream& in) {
    std::vector<std::string> args;
    for (std::string hex, arg; in >> hex;) {
      if (!FromHex(hex, arg)) return "ERR bad argument";
      args.push_back(arg);
    }
    auto sim = std::make_unique<CSimRunner>();
    if (!sim->Start(args)) return "ERR " + ToHex(sim->Output());
    const int id = ++m_nLastId;
    const std::string path = sim->SlavePath();
    m_sims[id] = std::move(sim);
    return "OK " + std::to_string(id) + " " + path;
  }

  std::string Sim(const std::string& verb, std::istringstream& in) {
    int id = 0;
    in >> id;
    const auto it = m_sims.find(id);
    if (it == m_sims.end()) return "ERR no such simulator";
    if (verb == "SIMKILL") {
      it->second->Kill();
      return "OK";
    }
    int timeoutMs = 0;
    in >> timeoutMs;
    if (!it->second->Wait(timeoutMs)) return "ERR running";
    return "OK " + std::to_string(it->second->ExitStatus()) + " " + ToHex(it->second->Output());
  }

  bool ReadLine(std::string& line) {
    line.clear();
    for (;;) {
      const std::size_t newline = m_in.find('\n');
      if (newline != std::string::npos) {
        line = m_in.substr(0, newline);
        m_in.erase(0, newline + 1);
        if (!line.empty() && line.back() == '\r') line.pop_back();
        return true;
      }
      char buffer[65536];
      const ssize_t got = ::recv(m_fd, buffer, sizeof buffer, 0);
      if (got <= 0) return false;
      m_in.append(buffer, static_cast<std::size_t>(got));
    }
  }

  bool Send(const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
      const ssize_t sent = ::send(m_fd, text.data() + done, text.size() - done, MSG_NOSIGNAL);
      if (sent <= 0) return false;
      done += static_cast<std::size_t>(sent);
    }
    return true;
  }

  int m_fd;
  std::string m_links;
  std::string m_in;
  int m_nLastId = 0;
  std::map<int, std::unique_ptr<CPseudoTerminal>> m_ptys;
  std::map<int, std::unique_ptr<CSimRunner>> m_sims;
};

}  // namespace

int main(int argc, char** argv) {
  std::string links, portFile;
  for (int i = 1; i + 1 < argc; i += 2) {
    const std::string option = argv[i];
    if (option == "--links") links = argv[i + 1];
    if (option == "--port-file") portFile = argv[i + 1];
  }
  if (links.empty() || portFile.empty()) {
    std::fprintf(stderr, "usage: quorin-line-broker --links FOLDER --port-file FILE\n");
    return 2;
  }
  const int listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t length = sizeof address;
  if (listener < 0 || ::bind(listener, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 ||
      ::listen(listener, 16) != 0 ||
      ::getsockname(listener, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    std::perror("quorin-line-broker");
    return 1;
  }
  {
    std::ofstream out(portFile + ".tmp");
    out << ntohs(address.sin_port) << "\n";
  }
  std::filesystem::rename(portFile + ".tmp", portFile);
  for (;;) {
    const int fd = ::accept4(listener, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    const int one = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    std::thread([fd, links] { CSession(fd, links).Run(); }).detach();
  }
}
