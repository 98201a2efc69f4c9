#include "tools/sim_receiver.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "platform/os/file.h"
#include "platform/os/sync.h"
#include "transfer/frame_codec.h"
#include "transfer/protocol.h"

using quorin::ByteSum;
using quorin::GetBigEndian;
using quorin::PutBigEndian;

namespace {

using Clock = std::chrono::steady_clock;

// A speed no program would choose, parked on the PC's side after 0x31 when the speed does not
// change: the moment it goes away, the PC has configured its port again.
constexpr std::uint32_t PARKED_BAUD = 50;
// How long a PC that may or may not reopen at the same speed is given to do so.
constexpr int MAYBE_REOPEN_MS = 1000;
constexpr int SETTLE_MS = 10;
constexpr int FINAL_DRAIN_MS = 5000;
constexpr std::uint32_t FLASH_SECTOR_SIZE = 65536;

std::string Format(const char* fmt, unsigned long a, unsigned long b = 0, unsigned long c = 0) {
  char text[256];
  std::snprintf(text, sizeof(text), fmt, a, b, c);
  return text;
}

std::string Code(std::uint8_t code) { return Format("0x%02lX", code); }

}  // namespace

CSimReceiver::CSimReceiver(CSimLine& line, const CSimOptions& options)
    : m_line(line), m_opt(options) {}

std::vector<std::uint8_t> CSimReceiver::PatternDatabase() {
  std::vector<std::uint8_t> db(DATABASE_SIZE);
  for (std::uint32_t i = 0; i < DATABASE_SIZE; ++i) {
    db[i] = static_cast<std::uint8_t>((i * 7) ^ (i >> 9) ^ 0x5A);
  }
  return db;
}

bool CSimReceiver::Run() {
  m_deadline = Clock::now() + std::chrono::seconds(m_opt.m_nTimeoutS);
  m_nBaseBaud = SPEED_TABLE[m_opt.m_nStartSpeed];
  const bool ok = LoadDatabase() && WaitForReboot() && SendHello() && SwitchSpeed() &&
                  TakeStartCommand() &&
                  (m_opt.m_nRefuseCode != 0
                       ? Reply(m_opt.m_nRefuseCode) &&
                             EndAfterError(m_opt.m_nRefuseCode, "in answer to the start command")
                       : (m_job == SimJob::Read ? ServeDatabase() : ReceiveImage()));
  // Closing the line throws away what the PC has not read yet.
  m_line.WaitTaken(FINAL_DRAIN_MS);
  return ok;
}

bool CSimReceiver::LoadDatabase() {
  if (m_opt.m_dbPath.empty()) {
    m_database = PatternDatabase();
    return true;
  }
  CFile file;
  if (!file.Open(m_opt.m_dbPath, CFile::modeRead)) {
    return Fail("the database " + m_opt.m_dbPath + " cannot be opened");
  }
  m_database.assign(DATABASE_SIZE, 0xFF);
  const long long got = file.Read(m_database.data(), m_database.size());
  if (got < 0 || file.GetLength() != static_cast<long long>(DATABASE_SIZE)) {
    return Fail("the database " + m_opt.m_dbPath + " is not a readable file of " +
                std::to_string(DATABASE_SIZE) + " bytes");
  }
  return true;
}

bool CSimReceiver::WaitForReboot() {
  std::uint8_t text[REBOOT_TEXT_SIZE];
  if (!ReadExact(text, sizeof(text), "the reboot text")) return false;
  if (std::memcmp(text, REBOOT_TEXT, REBOOT_TEXT_SIZE) != 0) {
    return Fail("expected the reboot text, got " + Hex(text, sizeof(text)));
  }
  Trace("PC: reboot text");
  return CheckSpeed(m_nBaseBaud, "the reboot text");
}

bool CSimReceiver::SendHello() {
  if (m_opt.m_nHelloDelayMs > 0) Sleep(static_cast<DWORD>(m_opt.m_nHelloDelayMs));
  std::vector<std::uint8_t> bytes;
  if (m_opt.m_bNoise) {
    // What a loader prints while it comes up; never the frame marker.
    static const char chatter[] = "\xff\xfe\r\nLDR 2.07 rev C\r\nDRAM 64M ok\r\nflash 8M\r\n\x80\x13";
    bytes.insert(bytes.end(), chatter, chatter + sizeof(chatter) - 1);
  }
  const std::uint8_t hello[quorin::FRAME_HEADER_SIZE] = {quorin::FRAME_MARKER, 0, RSP_CONNECT};
  bytes.insert(bytes.end(), hello, hello + sizeof(hello));
  return WriteBytes(bytes, m_opt.m_bNoise ? "noise and hello (0x20)" : "hello (0x20)");
}

bool CSimReceiver::SwitchSpeed() {
  std::uint8_t h[quorin::FRAME_HEADER_SIZE];
  if (!ReadCommand(h, CMD_SET_BAUD, "the speed proposal (0x01)")) return false;
  if (!CheckSpeed(m_nBaseBaud, "the speed proposal")) return false;
  m_nSpeedIndex = h[quorin::FRAME_OFS_PARAM_B];
  if (m_nSpeedIndex >= SPEED_COUNT) {
    return Fail("the PC proposes speed index " + std::to_string(m_nSpeedIndex) +
                ", which does not exist");
  }
  if (m_opt.m_nExpectSpeed >= 0 && m_nSpeedIndex != m_opt.m_nExpectSpeed) {
    return Fail(Format("the PC proposes speed index %lu, expected %lu",
                       static_cast<unsigned long>(m_nSpeedIndex),
                       static_cast<unsigned long>(m_opt.m_nExpectSpeed)));
  }
  m_nDataBaud = SPEED_TABLE[m_nSpeedIndex];
  Trace(Format("PC: speed proposal index %lu (%lu baud)", static_cast<unsigned long>(m_nSpeedIndex),
               m_nDataBaud));
  if (!Reply(RSP_BAUD_OK)) return false;
  if (!ReadCommand(h, CMD_SWITCH_BAUD, "the speed switch (0x31)")) return false;
  Trace("PC: speed switch");

  const std::uint32_t oldBaud = m_line.Speed();
  if (m_line.IsPty()) {
    if (!WaitForReopen(oldBaud, m_nDataBaud)) return false;
  } else {
    if (!m_line.SetSpeed(m_nDataBaud)) return Fail("this side cannot change its speed");
    Sleep(static_cast<DWORD>(m_opt.m_nSwitchDelayMs));
  }
  return Reply(RSP_READY);
}

bool CSimReceiver::WaitForReopen(std::uint32_t oldBaud, std::uint32_t newBaud) {
  if (newBaud != oldBaud) {
    if (!WaitForSpeed(newBaud, MsLeft())) {
      return Fail(Format("the PC did not set %lu baud after 0x31 (the line stays at %lu)", newBaud,
                         m_line.Speed()));
    }
    m_bReopenSeen = true;
    Sleep(SETTLE_MS);
    return true;
  }
  // Same speed: a read job reopens anyway, a send job does not; without --job the start
  // command tells later which it was.
  if (m_opt.m_job != SimJob::Auto && m_opt.m_job != SimJob::Read) return true;
  const bool bMaybe = m_opt.m_job == SimJob::Auto;
  if (!m_line.SetSpeed(PARKED_BAUD)) return Fail("cannot watch the PC's side of the line");
  const auto until = Clock::now() + std::chrono::milliseconds(bMaybe ? MAYBE_REOPEN_MS : MsLeft());
  while (m_line.Speed() == PARKED_BAUD && Clock::now() < until) Sleep(2);
  if (m_line.Speed() == PARKED_BAUD) {
    m_line.SetSpeed(oldBaud);
    if (bMaybe) return true;
    return Fail("the PC did not reopen its port after 0x31");
  }
  m_bReopenSeen = true;
  Sleep(SETTLE_MS);
  return CheckSpeed(newBaud, "the reopened port");
}

bool CSimReceiver::TakeStartCommand() {
  std::uint8_t h[quorin::FRAME_HEADER_SIZE];
  std::uint8_t b[quorin::JOB_BLOCK_SIZE];
  if (!ReadExact(h, sizeof(h), "the start command")) return false;
  const std::uint8_t code = h[quorin::FRAME_OFS_CODE];
  if (h[0] != quorin::FRAME_MARKER || (code != CMD_START_SEND && code != CMD_START_READ) ||
      h[quorin::FRAME_OFS_PARAM_A] != 0 || h[quorin::FRAME_OFS_PARAM_B] != 0) {
    return Fail("expected a start command (0x30 or 0x40), got " + Hex(h, sizeof(h)));
  }
  if (!ReadExact(b, sizeof(b), "the job block")) return false;
  if (!CheckSpeed(m_nDataBaud, "the start command")) return false;
  const std::uint32_t sum = ByteSum(b, sizeof(b));
  if (GetBigEndian(h + quorin::FRAME_OFS_CHECKSUM) != sum) {
    return Fail(Format("start command checksum 0x%08lX, the job block sums to 0x%08lX",
                       GetBigEndian(h + quorin::FRAME_OFS_CHECKSUM), sum));
  }
  for (int i = 16; i < 32; ++i) {
    if (b[i] != 0) return Fail("job block byte " + std::to_string(i) + " is not zero");
  }
  for (int i = JOBBLK_OFS_JOB_CODE + 1; i < quorin::JOB_BLOCK_SIZE; ++i) {
    if (b[i] != 0) return Fail("job block byte " + std::to_string(i) + " is not zero");
  }
  const std::uint8_t jobCode = b[JOBBLK_OFS_JOB_CODE];
  const std::uint32_t parameter = GetBigEndian(b + JOBBLK_OFS_PARAMETER);
  m_nImageSize = GetBigEndian(b + JOBBLK_OFS_SIZE);

  SimJob job;
  if (code == CMD_START_READ) {
    job = SimJob::Read;
    if (jobCode != JOB_DATABASE) return Fail("a read job announces job code " + Code(jobCode));
  } else if (jobCode == JOB_SOFTWARE) {
    job = SimJob::Software;
  } else if (jobCode == JOB_DATABASE) {
    job = SimJob::Database;
  } else if (jobCode == JOB_BOOT) {
    job = SimJob::Boot;
  } else {
    return Fail("unknown job code " + Code(jobCode));
  }
  if (m_opt.m_job != SimJob::Auto && m_opt.m_job != job) {
    return Fail(std::string("the PC starts a ") + CSimOptions::JobName(job) + " job, expected " +
                CSimOptions::JobName(m_opt.m_job));
  }
  const bool bDatabase = jobCode == JOB_DATABASE;
  if (parameter != (bDatabase ? JOB_PARAMETER_DATABASE : 0)) {
    return Fail(Format("job parameter 0x%06lX for job code 0x%02lX", parameter, jobCode));
  }
  if (bDatabase && m_nImageSize != DATABASE_SIZE) {
    return Fail(Format("a database job announces %lu bytes", m_nImageSize));
  }
  if (m_nImageSize == 0) return Fail("the job announces 0 bytes");
  if (job == SimJob::Read) {
    if (m_nSpeedIndex != SPEED_INDEX_BASE) {
      return Fail("a read job proposed speed index " + std::to_string(m_nSpeedIndex));
    }
    if (m_line.IsPty() && !m_bReopenSeen) return Fail("the PC did not reopen its port after 0x31");
  }
  m_job = job;
  Trace(std::string("PC: start command, ") + CSimOptions::JobName(job) + " job, " +
        std::to_string(m_nImageSize) + " bytes, identity " + Hex(b, 16));
  return true;
}

bool CSimReceiver::TakeDataBlock(long k, std::uint8_t number, std::uint32_t n,
                                 std::uint8_t* out) {
  const std::string what = "block " + std::to_string(k);
  std::uint8_t h[quorin::FRAME_HEADER_SIZE];
  if (!ReadExact(h, sizeof(h), what)) return false;
  if (h[0] != quorin::FRAME_MARKER || h[quorin::FRAME_OFS_CODE] != CMD_DATA ||
      h[quorin::FRAME_OFS_PARAM_B] != 0) {
    return Fail(what + ": expected a data block (0x13), got " + Hex(h, sizeof(h)));
  }
  if (h[quorin::FRAME_OFS_PARAM_A] != number) {
    return Fail(what + Format(" carries number %lu, expected %lu", h[quorin::FRAME_OFS_PARAM_A],
                              number));
  }
  if (!ReadExact(out, n, "the data of " + what)) return false;
  const std::uint32_t sum = ByteSum(out, n);
  if (GetBigEndian(h + quorin::FRAME_OFS_CHECKSUM) != sum) {
    return Fail(what + Format(": checksum 0x%08lX, the data sum to 0x%08lX",
                              GetBigEndian(h + quorin::FRAME_OFS_CHECKSUM), sum));
  }
  return CheckSpeed(m_nDataBaud, what);
}

bool CSimReceiver::ReceiveImage() {
  if (!Reply(RSP_FIRST_BLOCK)) return false;
  const long nBlocks = static_cast<long>((m_nImageSize + quorin::DATA_BLOCK_SIZE - 1) /
                                         quorin::DATA_BLOCK_SIZE);
  m_image.assign(m_nImageSize, 0);
  std::uint8_t again[quorin::DATA_BLOCK_SIZE];
  for (long k = 0; k < nBlocks; ++k) {
    const std::uint32_t offset = static_cast<std::uint32_t>(k) * quorin::DATA_BLOCK_SIZE;
    const std::uint32_t n =
        std::min<std::uint32_t>(quorin::DATA_BLOCK_SIZE, m_nImageSize - offset);
    const bool bLast = k == nBlocks - 1;
    if (!TakeDataBlock(k, static_cast<std::uint8_t>((k % 256) % 255), n, &m_image[offset])) {
      return false;
    }
    if (k == 0) m_tFirstBlock = std::chrono::steady_clock::now();
    if (bLast) {
      m_tLastBlock = std::chrono::steady_clock::now();
      m_nTimedBlocks = nBlocks;
    }
    const bool bTrace = k < 3 || bLast || k % 256 == 0;
    if (bTrace) Trace("PC: block " + std::to_string(k) + ", " + std::to_string(n) + " bytes");
    if (m_opt.m_resendAt.count(k) != 0) {
      if (!Reply(RSP_RESEND)) return false;
      if (bLast) {
        // The PC has closed the file after the last block and does not answer.
        if (!ExpectSilence(m_opt.m_nQuietMs, "after a resend request for the last block")) {
          return false;
        }
      } else {
        if (!TakeDataBlock(k, static_cast<std::uint8_t>((k + 1) % 256), n, again)) return false;
        if (std::memcmp(again, &m_image[offset], n) != 0) {
          return Fail("the resend of block " + std::to_string(k) + " differs from the block");
        }
        Trace("PC: block " + std::to_string(k) + " again");
        ++m_nResends;
      }
    }
    const auto error = m_opt.m_errorAt.find(k);
    if (error != m_opt.m_errorAt.end()) {
      if (!Reply(error->second)) return false;
      if (error->second != RSP_COMM_ERROR) {
        return EndAfterError(error->second, "after block " + std::to_string(k));
      }
      ++m_nCommErrors;
    }
    // The receiver writes each 64 KiB to its flash before it asks for more.
    if (m_opt.m_nFlashMs > 0 && (offset + n) % FLASH_SECTOR_SIZE == 0) {
      Sleep(static_cast<DWORD>(m_opt.m_nFlashMs));
    }
    if (!bLast && !Reply(RSP_NEXT_BLOCK, 0, bTrace)) return false;
  }
  if (!ExpectSilence(m_opt.m_nQuietMs, "after the last block")) return false;
  if (!SendProgressAndDone()) return false;

  std::string summary = std::string(CSimOptions::JobName(m_job)) + " job, " +
                        std::to_string(nBlocks) + " blocks (" + std::to_string(m_nImageSize) +
                        " bytes) at " + std::to_string(m_nDataBaud) + " baud";
  if (m_nResends > 0) summary += ", " + std::to_string(m_nResends) + " resent";
  if (m_nCommErrors > 0) summary += ", " + std::to_string(m_nCommErrors) + " x 0x41";
  summary += ", " + std::to_string(m_opt.m_nProgress) + " progress replies";
  return FinishJob(summary);
}

bool CSimReceiver::SendProgressAndDone() {
  const std::uint8_t done[quorin::FRAME_HEADER_SIZE] = {quorin::FRAME_MARKER, 0, RSP_DONE};
  for (int a = 1; a <= m_opt.m_nProgress; ++a) {
    std::uint8_t progress[quorin::FRAME_HEADER_SIZE] = {quorin::FRAME_MARKER,
                                                        static_cast<std::uint8_t>(a), RSP_PROGRESS};
    std::vector<std::uint8_t> bytes(progress, progress + sizeof(progress));
    const bool bJoin = m_opt.m_bJoinProgressDone && a == m_opt.m_nProgress;
    if (bJoin) bytes.insert(bytes.end(), done, done + sizeof(done));
    if (!WriteBytes(bytes, bJoin ? "progress and done (0x80, 0x14)" : "progress (0x80)")) {
      return false;
    }
    if (bJoin) return true;
    // Each reply on its own, so the PC meets them one delivery at a time.
    m_line.WaitTaken(MsLeft());
  }
  return Reply(RSP_DONE);
}

bool CSimReceiver::ServeDatabase() {
  const long nPieces = static_cast<long>(DATABASE_SIZE / quorin::DATA_BLOCK_SIZE);
  for (long p = 0; p < nPieces; ++p) {
    const auto error = m_opt.m_errorAt.find(p);
    if (error != m_opt.m_errorAt.end()) {
      if (!Reply(error->second)) return false;
      if (error->second != RSP_COMM_ERROR) {
        return EndAfterError(error->second, "before piece " + std::to_string(p));
      }
      ++m_nCommErrors;
    }
    const bool bTrace = p < 3 || p == nPieces - 1;
    const std::uint8_t* piece = &m_database[static_cast<std::size_t>(p) * quorin::DATA_BLOCK_SIZE];
    std::vector<std::uint8_t> bytes = {quorin::FRAME_MARKER, 0, RSP_RAW_DATA, 0, 0, 0, 0, 0};
    PutBigEndian(&bytes[quorin::FRAME_OFS_CHECKSUM], ByteSum(piece, quorin::DATA_BLOCK_SIZE));
    if (m_opt.m_bJoinRaw) {
      bytes.insert(bytes.end(), piece, piece + quorin::DATA_BLOCK_SIZE);
      if (!WriteBytes(bytes, "raw data (0x26 and 512 bytes)", bTrace)) return false;
    } else {
      if (!WriteBytes(bytes, "raw data (0x26), piece " + std::to_string(p), bTrace)) return false;
      // The reply and its data reach the PC in separate deliveries.
      m_line.WaitTaken(MsLeft());
      if (!m_line.Write(piece, quorin::DATA_BLOCK_SIZE)) return Fail("the line failed");
    }
    std::uint8_t h[quorin::FRAME_HEADER_SIZE];
    if (!ReadCommand(h, CMD_BLOCK_ACK, "the acknowledgement (0x16) of piece " + std::to_string(p))) {
      return false;
    }
    if (!CheckSpeed(m_nDataBaud, "an acknowledgement")) return false;
    if (bTrace) Trace("PC: acknowledgement of piece " + std::to_string(p));
  }
  if (!ExpectSilence(m_opt.m_nQuietMs, "after the last piece")) return false;
  std::string summary = "read job, " + std::to_string(nPieces) + " pieces (" +
                        std::to_string(DATABASE_SIZE) + " bytes) served";
  if (m_opt.m_bJoinRaw) summary += ", each joined to its reply";
  if (m_nCommErrors > 0) summary += ", " + std::to_string(m_nCommErrors) + " x 0x41";
  return FinishJob(summary);
}

std::string CSimReceiver::Timing() const {
  if (m_nTimedBlocks == 0 || m_nDataBaud == 0) return std::string();
  // The first block is seen once it has arrived whole; its start on the wire was that long
  // before. The last block's reply would take 8 bytes' time after the block.
  const double dByteS = 10.0 / m_nDataBaud;
  const std::uint32_t nFirst = std::min<std::uint32_t>(m_nImageSize, quorin::DATA_BLOCK_SIZE);
  const double dSeconds =
      std::chrono::duration<double>(m_tLastBlock - m_tFirstBlock).count() +
      (quorin::FRAME_HEADER_SIZE + nFirst) * dByteS + quorin::FRAME_HEADER_SIZE * dByteS;
  char text[96];
  std::snprintf(text, sizeof text, "timing: %ld %.6f %lu", m_nTimedBlocks, dSeconds,
                static_cast<unsigned long>(m_nDataBaud));
  return text;
}

bool CSimReceiver::EndAfterError(std::uint8_t code, const std::string& where) {
  if (!ExpectSilence(m_opt.m_nQuietMs, "after the error reply " + Code(code))) return false;
  return FinishJob(std::string(CSimOptions::JobName(m_job)) + " job ended by error reply " +
                   Code(code) + " " + where + " as asked");
}

bool CSimReceiver::FinishJob(const std::string& summary) {
  m_line.WaitTaken(MsLeft());
  if (m_line.IsPty() && !WaitForSpeed(SPEED_TABLE[SPEED_INDEX_BASE], MsLeft())) {
    return Fail(Format("the PC did not return to %lu baud (the line stays at %lu)",
                       SPEED_TABLE[SPEED_INDEX_BASE], m_line.Speed()));
  }
  if (!ExpectSilence(m_opt.m_nQuietMs, "after the end of the job")) return false;
  if (!SaveImage()) return false;
  m_verdict = "OK: " + summary;
  return true;
}

bool CSimReceiver::SaveImage() {
  if (m_opt.m_outPath.empty() || m_job == SimJob::Read) return true;
  CFile file;
  if (!file.Open(m_opt.m_outPath, CFile::modeCreate | CFile::modeReadWrite) ||
      !file.Write(m_image.data(), m_image.size())) {
    return Fail("cannot write " + m_opt.m_outPath);
  }
  return true;
}

// ---- line helpers ------------------------------------------------------------------------

int CSimReceiver::MsLeft() const {
  const auto left =
      std::chrono::duration_cast<std::chrono::milliseconds>(m_deadline - Clock::now()).count();
  return left > 0 ? static_cast<int>(left) : 0;
}

bool CSimReceiver::ReadExact(std::uint8_t* p, std::size_t n, const std::string& what) {
  std::size_t done = 0;
  while (done < n) {
    const int got = m_line.Read(p + done, n - done, MsLeft());
    if (got < 0) return Fail("the line failed while waiting for " + what);
    if (got == 0) {
      return Fail("timed out waiting for " + what +
                  (done > 0 ? " (got " + Hex(p, done) + ")" : std::string()));
    }
    done += static_cast<std::size_t>(got);
  }
  return true;
}

bool CSimReceiver::ReadCommand(std::uint8_t header[8], std::uint8_t code, const std::string& what) {
  if (!ReadExact(header, quorin::FRAME_HEADER_SIZE, what)) return false;
  const bool bParamB = code == CMD_SET_BAUD;
  if (header[0] != quorin::FRAME_MARKER || header[quorin::FRAME_OFS_CODE] != code ||
      header[quorin::FRAME_OFS_PARAM_A] != 0 ||
      (!bParamB && header[quorin::FRAME_OFS_PARAM_B] != 0)) {
    return Fail("expected " + what + ", got " + Hex(header, quorin::FRAME_HEADER_SIZE));
  }
  return true;
}

bool CSimReceiver::Reply(std::uint8_t code, std::uint8_t paramA, bool bTrace) {
  const std::vector<std::uint8_t> frame = {quorin::FRAME_MARKER, paramA, code, 0, 0, 0, 0, 0};
  return WriteBytes(frame,
                    "reply " + Code(code) +
                        (code == RSP_PROGRESS ? " A=" + std::to_string(paramA) : ""),
                    bTrace);
}

bool CSimReceiver::WriteBytes(const std::vector<std::uint8_t>& bytes, const std::string& what,
                              bool bTrace) {
  if (!m_line.Write(bytes.data(), bytes.size())) return Fail("the line failed writing " + what);
  if (bTrace) Trace("SIM: " + what);
  return true;
}

bool CSimReceiver::ExpectSilence(int ms, const std::string& when) {
  std::uint8_t extra[64];
  const int got = m_line.Read(extra, sizeof(extra), std::min(ms, std::max(MsLeft(), 1)));
  if (got > 0) {
    return Fail("the PC sent " + Hex(extra, static_cast<std::size_t>(got)) + " " + when);
  }
  return true;
}

bool CSimReceiver::WaitForSpeed(std::uint32_t baud, int ms) {
  const auto until = Clock::now() + std::chrono::milliseconds(ms);
  while (m_line.Speed() != baud) {
    if (Clock::now() >= until) return false;
    Sleep(2);
  }
  return true;
}

bool CSimReceiver::CheckSpeed(std::uint32_t baud, const std::string& what) {
  if (!m_line.IsPty()) return true;
  const std::uint32_t speed = m_line.Speed();
  if (speed == baud) return true;
  return Fail(what + Format(" came at %lu baud, expected %lu", speed, baud));
}

bool CSimReceiver::Fail(const std::string& why) {
  if (m_verdict.empty()) m_verdict = "FAIL: " + why;
  return false;
}

void CSimReceiver::Trace(const std::string& text) const {
  if (!m_opt.m_bVerbose) return;
  std::fprintf(stderr, "%s\n", text.c_str());
}

std::string CSimReceiver::Hex(const std::uint8_t* p, std::size_t n, std::size_t max) {
  std::string text;
  char byte[4];
  for (std::size_t i = 0; i < n && i < max; ++i) {
    std::snprintf(byte, sizeof(byte), i == 0 ? "%02X" : " %02X", p[i]);
    text += byte;
  }
  if (n > max) text += " ... (" + std::to_string(n) + " bytes)";
  return text;
}
