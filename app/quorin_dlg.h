// CQuorinDlg: the main window. Start-up, port change, About box and the ways out live in
// app/quorin_dlg.cpp; the transfer handlers (received data, send and read jobs, channel lists)
// are members of the same class and live in transfer/.
#pragma once

#include <cstdint>
#include <string>

#include "controls/ellipsis_label.h"
#include "controls/shaded_progress_ctrl.h"
#include "platform/os/file.h"
#include "platform/ui/window.h"
#include "resources/resource.h"
#include "transfer/receiver_link.h"

class CQuorinDlg : public CDialog {
 public:
  // argc/argv: the command line the job options come from (none by default).
  explicit CQuorinDlg(CWnd* pParent = nullptr, int argc = 0, const char* const* argv = nullptr);
  ~CQuorinDlg() override;

  // Members in declared order (the transfer engine's among them).
  BOOL m_bAwaitDone;
  CEllipsisLabel m_ctlFileName;
  CStatic m_ctlStatus;
  CShadedProgressCtrl m_ctlProgress;
  CComboBox m_cboBaud;
  CComboBox m_cboComPort;
  HICON m_hIcon;
  std::uint32_t m_nRemaining;
  std::uint32_t m_nTotal;
  BOOL m_bSendMode;
  BOOL m_bSendFileOpen;
  BOOL m_bReceiveFileOpen;
  BOOL m_bRawReceive;
  CFile m_file;
  CReceiverLink* m_pLink;
  int m_nJob;

  // Read job's received-byte count.
  std::int32_t m_nReceived = 0;
  // The reply code being acted on (0 outside a reply), so that an observer of a message box
  // can tell a "Communication Error" the job survives (0x41) from one that ends it.
  BYTE m_nReplyInHand = 0;
  // The serial link reported that its device went away.
  BOOL m_bLinkLost = FALSE;

  // Port name and speed name to list entry (the start-up tables).
  static int PortIndexFromName(const std::string& name);
  static int SpeedIndexFromName(const std::string& name);

  // Transfer engine operations.
  void SetStatusText(const std::string& text);
  void CloseJobFile();
  void ReturnToBaseSpeed();
  void SendNextBlock(int nKind);
  void ReceiveRawChunk(const BYTE* pData, DWORD nCount);
  int ClassifyFile(const std::string& path);
  void StartSoftwareJob(const std::string& path);
  void StartDatabaseJob(const std::string& path);
  void StartBootJob(const std::string& path);
  void StartReadJob(const std::string& path);
  void SetJobSize();
  void ChooseReadFile();
  void SendChannelListRaw(const std::string& path);
  void HandOffChannelList(const std::string& path);
  void ReleaseLink();

  // Handlers.
  BOOL OnInitDialog() override;
  void DoDataExchange() override;
  void OnSysCommand(UINT nID, LPARAM lParam);
  void OnPaint();
  HICON OnQueryDragIcon();
  void OnComPortChanged();
  void OnSendToReceiver();
  void OnExit();
  void OnLButtonDown(UINT nFlags, POINT point);
  void OnReadFromReceiver();
  void OnClose();
  LRESULT OnReceiverEvent(WPARAM wParam, LPARAM lParam);
  LRESULT OnLinkLost(WPARAM wParam, LPARAM lParam);

  DECLARE_MESSAGE_MAP()

 protected:
  void PostNcDestroy() override;

 private:
  // The job's end after an error reply or a file error: file closed, back to base speed, box.
  void EndJobWithError(const std::string& message);
  void ActOnReply(BYTE code, BYTE paramA);

  // ---- transfer engine helpers (transfer/*.cpp) ----
  void ConsumeDelivery(const BYTE* pData, DWORD nCount);
  // Moves bytes that arrived behind a 0x26 reply into the current raw piece.
  void TakeHeldRawBytes();
  DWORD RawPieceRoom() const;
  void ReleaseReader();
  void SetProgressPos(int nPos);
  int SelectedPortIndex();
  int SelectedSpeedIndex();
  // Reopens the link on the selected port; a failure leaves the status " Not Connected".
  BOOL ReopenLink(int nSpeedIndex);
  // Opens the job file for reading and clears what the previous job left in the block buffer.
  BOOL OpenSendFile(const std::string& path);
  // Closes an empty job file with "Invalid File"; TRUE when it did.
  BOOL RefuseEmptyImage();
  void RememberFolder(const std::string& path);
  // ---- end of transfer engine helpers ----

  int m_argc;
  const char* const* m_argv;
};

// The About box (template 100): no members and no handlers of its own.
class CAboutDlg : public CDialog {
 public:
  CAboutDlg() : CDialog(IDD_ABOUTBOX) {}
};
