// CSimReceiver: the receiver's loader as the PC meets it. It plays one exchange from the
// reboot text to the end of a job, checks every byte the PC sends against the protocol, and
// sums the exchange up in one verdict line.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "tools/sim_line.h"
#include "tools/sim_options.h"

class CSimReceiver {
 public:
  CSimReceiver(CSimLine& line, const CSimOptions& options);

  // Plays the exchange; true when the PC kept to the protocol from start to end.
  bool Run();
  // "OK: ..." or "FAIL: ...".
  const std::string& Verdict() const { return m_verdict; }
  // A send job's data phase, from the first data block's first byte on the wire to the end of
  // a reply to the last block (8 bytes after its last byte arrived); empty before one ended.
  std::string Timing() const;

  // The database a read job serves when no file is given: every byte differs from its
  // neighbours and the pattern does not repeat within a piece.
  static std::vector<std::uint8_t> PatternDatabase();

 private:
  bool LoadDatabase();
  bool WaitForReboot();
  bool SendHello();
  bool SwitchSpeed();
  bool WaitForReopen(std::uint32_t oldBaud, std::uint32_t newBaud);
  bool TakeStartCommand();
  bool ReceiveImage();
  bool TakeDataBlock(long k, std::uint8_t number, std::uint32_t n, std::uint8_t* out);
  bool SendProgressAndDone();
  bool ServeDatabase();
  bool EndAfterError(std::uint8_t code, const std::string& where);
  bool FinishJob(const std::string& summary);

  bool ReadExact(std::uint8_t* p, std::size_t n, const std::string& what);
  bool ReadCommand(std::uint8_t header[8], std::uint8_t code, const std::string& what);
  bool Reply(std::uint8_t code, std::uint8_t paramA = 0, bool bTrace = true);
  bool WriteBytes(const std::vector<std::uint8_t>& bytes, const std::string& what,
                  bool bTrace = true);
  bool ExpectSilence(int ms, const std::string& when);
  bool WaitForSpeed(std::uint32_t baud, int ms);
  bool CheckSpeed(std::uint32_t baud, const std::string& what);
  bool SaveImage();
  int MsLeft() const;

  bool Fail(const std::string& why);
  void Trace(const std::string& text) const;
  static std::string Hex(const std::uint8_t* p, std::size_t n, std::size_t max = 16);

  CSimLine& m_line;
  const CSimOptions& m_opt;
  std::chrono::steady_clock::time_point m_deadline;
  std::string m_verdict;

  SimJob m_job = SimJob::Auto;
  int m_nSpeedIndex = 0;            // proposed by the PC for the data phase
  std::uint32_t m_nDataBaud = 0;
  long m_nTimedBlocks = 0;
  std::chrono::steady_clock::time_point m_tFirstBlock{};
  std::chrono::steady_clock::time_point m_tLastBlock{};
  std::uint32_t m_nBaseBaud = 0;
  bool m_bReopenSeen = false;
  std::uint32_t m_nImageSize = 0;
  std::vector<std::uint8_t> m_image;     // what a send job delivered
  std::vector<std::uint8_t> m_database;  // what a read job serves
  long m_nResends = 0;
  long m_nCommErrors = 0;
};
