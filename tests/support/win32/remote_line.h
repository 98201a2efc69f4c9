// The Windows suites run under Wine, where a test cannot make a pseudo-terminal or start the
// receiver simulator itself. A broker on the Linux side (quorin-line-broker) lends them: this
// is its client. CRemoteLine offers what CPseudoTerminal offers the Linux suites, for a line
// the broker holds; MapComPortRemote points a COM port of Wine's at a Linux path.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

// One request, one answer ("OK ..." or "ERR ..."); an empty answer when the broker is out of
// reach (QUORIN_LINE_BROKER names its port).
std::string AskLineBroker(const std::string& request);
std::string ToHex(const std::string& bytes);
std::string FromHex(const std::string& hex);
// The Linux path of a Windows path (Wine's own translation); a Linux path stays as it is.
std::string UnixPathOf(const std::string& path);
bool MapComPortRemote(const std::string& name, const std::string& devicePath);

class CRemoteLine {
 public:
  CRemoteLine() = default;
  ~CRemoteLine();
  CRemoteLine(const CRemoteLine&) = delete;
  CRemoteLine& operator=(const CRemoteLine&) = delete;

  bool Open();
  void Close();
  bool IsOpen() const { return m_id > 0; }
  const std::string& SlavePath() const { return m_slavePath; }
  std::uint32_t SlaveSpeed() const;
  bool SetSlaveCooked();
  bool SetSlaveSpeed(std::uint32_t baud);
  int Read(void* buffer, std::size_t n, int timeoutMs);
  std::size_t ReadExact(void* buffer, std::size_t n, int timeoutMs);
  bool Write(const void* data, std::size_t n);
  bool WaitDrained(int timeoutMs);
  int PendingToSlave() const;
  void DiscardInput();

 private:
  std::string Ask(const std::string& verb, const std::string& rest = std::string()) const;
  int m_id = 0;
  std::string m_slavePath;
};
