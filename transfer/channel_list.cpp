// Channel-list files: written to the line byte for byte at the selected speed, with no
// protocol; or, when they begin with 0xB1 0xE8, handed to the companion program, which takes
// over the port while this program ends.
#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "app/quorin_dlg.h"
#include "platform/os/file.h"
#include "platform/os/process.h"
#include "platform/os/sync.h"

namespace {

constexpr DWORD CHANNEL_PIECE_SIZE = 128;
constexpr DWORD SETTLE_PAUSE_MS = 100;
constexpr DWORD PIECE_PAUSE_MS = 10;
constexpr DWORD FINAL_PAUSE_MS = 1000;
const char* const COMPANION_NAME = "Kestrelhub.exe";

}  // namespace

void CQuorinDlg::SendChannelListRaw(const std::string& path) {
  CFile file;
  if (!file.Open(path, CFile::modeRead)) {
    AfxMessageBox("File Open Error");
    return;
  }
  const long long nLength = file.GetLength();
  if (nLength < 0) {
    AfxMessageBox("File Read Error");
    return;
  }
  const std::uint64_t nTotal = static_cast<std::uint64_t>(nLength);

  if (!ReopenLink(SelectedSpeedIndex())) {
    AfxMessageBox("Port Open Error");
    return;
  }
  Sleep(SETTLE_PAUSE_MS);

  BOOL bReadFailed = FALSE;
  BYTE piece[CHANNEL_PIECE_SIZE];
  for (std::uint64_t nOffset = 0; nOffset < nTotal; nOffset += CHANNEL_PIECE_SIZE) {
    const DWORD nWant = static_cast<DWORD>(std::min<std::uint64_t>(CHANNEL_PIECE_SIZE, nTotal - nOffset));
    DWORD nGot = 0;
    while (nGot < nWant) {
      const long long r = file.Read(piece + nGot, nWant - nGot);
      if (r <= 0) break;
      nGot += static_cast<DWORD>(r);
    }
    if (nGot < nWant) {
      // The file changed or failed under us: what was not read cannot be sent.
      bReadFailed = TRUE;
      break;
    }
    if (m_pLink != nullptr) m_pLink->Write(piece, nWant);
    const std::uint64_t k = nOffset / CHANNEL_PIECE_SIZE;
    SetProgressPos(static_cast<int>(k * 12800u / nTotal));
    Sleep(PIECE_PAUSE_MS);
  }

  ReopenLink(SPEED_INDEX_BASE);
  file.Close();
  if (bReadFailed) {
    AfxMessageBox("File Read Error");
    return;
  }
  Sleep(FINAL_PAUSE_MS);
  SetProgressPos(100);
  AfxMessageBox("Done");
}

void CQuorinDlg::HandOffChannelList(const std::string& path) {
  const int nPortNumber = SelectedPortIndex() + 1;
  ReleaseLink();

  // An argument vector, no shell: the path arrives as one argument whatever it holds.
  const std::vector<std::string> args = {"-c", std::to_string(nPortNumber), "-p", path};
  const std::string self = GetModuleFileName();
  const std::size_t nSep = self.rfind(PATH_SEPARATOR);
  const std::string folder = nSep == std::string::npos ? std::string(".") : self.substr(0, nSep);
  StartDetachedProcess(folder + PATH_SEPARATOR + COMPANION_NAME, args);
  ExitProcessNow(0);
}
