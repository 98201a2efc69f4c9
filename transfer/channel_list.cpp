// Channel-list files: written to the line byte for byte at the selected speed, with no
// protocol, piece by piece from timer steps; or, when they begin with 0xB1 0xE8, handed to the
// companion program, which takes over the port while this program ends.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/os/file.h"
#include "platform/os/process.h"
#include "transfer/progress.h"
#include "transfer/transfer_engine.h"

namespace {

constexpr DWORD CHANNEL_PIECE_SIZE = 128;
constexpr DWORD SETTLE_PAUSE_MS = 100;
constexpr DWORD PIECE_PAUSE_MS = 10;
constexpr DWORD FINAL_PAUSE_MS = 1000;
constexpr DWORD BITS_PER_BYTE = 10;  // start bit, 8 data bits, stop bit
const char* const COMPANION_NAME = "Kestrelhub.exe";

// How long n bytes take on the wire at the speed, rounded up to whole milliseconds.
DWORD WireTimeMs(DWORD nBytes, int nSpeedIndex) {
  const std::uint64_t baud = SPEED_TABLE[std::clamp(nSpeedIndex, 0, SPEED_COUNT - 1)];
  return static_cast<DWORD>((std::uint64_t{nBytes} * BITS_PER_BYTE * 1000u + baud - 1) / baud);
}

}  // namespace

void CTransferEngine::SendChannelListRaw(const std::string& path) {
  if (!m_listFile.Open(path, CFile::modeRead)) {
    RefuseFile(path, m_listFile.LastErrorText());
    return;
  }
  const long long nLength = m_listFile.GetLength();
  if (nLength < 0) {
    m_listFile.Close();
    ShowBox("File Read Error", BoxKind::Error);
    ReportEnd({JobOutcome::FileError, 0, path});
    return;
  }
  m_nListLength = static_cast<std::uint64_t>(nLength);
  m_nListOffset = 0;

  // This road runs at the selected speed from its first byte, with no handshake.
  ReopenLink(m_nSpeedIndex, [this](BOOL bOpened) {
    if (!bOpened) {
      m_listFile.Close();
      ShowBox(PortOpenErrorText(), BoxKind::Error);
      ReportEnd({JobOutcome::PortOpenError, 0, PortOpenReason()});
      return;
    }
    Pause(SETTLE_PAUSE_MS, [this] { SendNextListPiece(); });
  });
}

void CTransferEngine::SendNextListPiece() {
  if (m_nListOffset >= m_nListLength) {
    FinishChannelList(false);
    return;
  }
  const DWORD nWant = static_cast<DWORD>(
      std::min<std::uint64_t>(CHANNEL_PIECE_SIZE, m_nListLength - m_nListOffset));
  BYTE piece[CHANNEL_PIECE_SIZE];
  if (m_listFile.Read(piece, nWant) != static_cast<long long>(nWant)) {
    // The file changed or failed under us: what was not read cannot be sent.
    FinishChannelList(true);
    return;
  }
  if (m_pLink != nullptr) m_pLink->Write(piece, nWant);
  const std::uint64_t k = m_nListOffset / CHANNEL_PIECE_SIZE;
  SetProgressPos(ChannelListProgress(k, m_nListLength), m_nListOffset, m_nListLength);
  m_nListOffset += nWant;
  // The piece leaves the line while the timer runs; the gap behind it is the designed 10 ms.
  Pause(WireTimeMs(nWant, m_nSpeedIndex) + PIECE_PAUSE_MS, [this] { SendNextListPiece(); });
}

void CTransferEngine::FinishChannelList(bool bReadFailed) {
  ReopenLink(SPEED_INDEX_BASE, [this, bReadFailed](BOOL) {
    m_listFile.Close();
    if (bReadFailed) {
      ShowBox("File Read Error", BoxKind::Error);
      ReportEnd({JobOutcome::FileError, 0, m_listFile.GetFilePath()});
      return;
    }
    Pause(FINAL_PAUSE_MS, [this] {
      SetProgressPos(PROGRESS_FULL, m_nListLength, m_nListLength);
      ShowBox("Done", BoxKind::Information);
      ReportEnd({JobOutcome::Done, 0, std::string()});
    });
  });
}

void CTransferEngine::HandOffChannelList(const std::string& path) {
  const int nPortNumber = m_nPortIndex + 1;
  ReleaseLink();

  // An argument vector, no shell: the path arrives as one argument whatever it holds.
  const std::vector<std::string> args = {"-c", std::to_string(nPortNumber), "-p", path};
  const std::string self = GetModuleFileName();
  const std::size_t nSep = self.rfind(PATH_SEPARATOR);
  const std::string folder = nSep == std::string::npos ? std::string(".") : self.substr(0, nSep);
  StartDetachedProcess(folder + PATH_SEPARATOR + COMPANION_NAME, args);
  ExitProcessNow(0);
}
