// CTransferEngine: the jobs. It owns the link to the receiver and carries an armed job through
// the receiver's replies; it reports what a person should see to its observers and never knows
// who watches.
//
// How it is driven. The window it was opened with receives the serial reader's deliveries
// (WM_SERIAL_DATA), the reader's report of a lost device (WM_SERIAL_LINK_LOST) and the engine's
// own timer (WM_TIMER, TIMER_STEP); its owner forwards the three to OnReceiverEvent, OnLinkLost
// and OnTimer on the window thread. What the user picks reaches it through calls: the lists'
// selections, the chosen file, a port change.
//
// Pauses. The receiver's side expects pauses: 100 ms between closing and opening the port again,
// a second after a boot image, 10 ms between the pieces of a raw channel list (after their own
// time on the wire). They are timer steps, so the window thread never waits in them. While one
// runs the engine is busy: a delivery that arrives is not acted on (the reader stays held, so
// later bytes wait in the driver) until the pause is over, and a delivery already being handled
// resumes where it stopped. Send, Read and the lists are the owner's to refuse meanwhile.
// Every reply, box and status comes in the same order as when the pauses held the thread.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/os/file.h"
#include "transfer/job_observer.h"
#include "transfer/receiver_link.h"

// The job's phase. A send job is armed until its first block goes out and then sends until its
// last; it then waits for the receiver's completion. A read job is armed until the first raw
// piece is announced, reads raw bytes within a piece and frames between pieces.
enum class JobPhase {
  Idle,
  SendArmed,
  Sending,
  AwaitingDone,
  ReadArmed,
  ReadingFrames,
  ReadingRaw,
};

class CTransferEngine {
 public:
  static constexpr UINT_PTR TIMER_STEP = 1;

  CTransferEngine();
  ~CTransferEngine();
  CTransferEngine(const CTransferEngine&) = delete;
  CTransferEngine& operator=(const CTransferEngine&) = delete;

  void AddObserver(IJobObserver* pObserver);
  void RemoveObserver(IJobObserver* pObserver);

  // Creates the link and opens the port at the base speed for the window hOwner (" Ready " or
  // " Not Connected" and "Port Open Error"); TRUE when it is open.
  BOOL OpenLink(HWND hOwner);
  // Closes the port if it is open and deletes the link; once, whoever comes first.
  void ReleaseLink();
  BOOL IsLinkOpen() const;
  HWND Owner() const { return m_hOwner; }

  // The lists' selections.
  void SelectPort(int nPortIndex);
  void SelectSpeed(int nSpeedIndex);
  int SelectedPortIndex() const { return m_nPortIndex; }
  int SelectedSpeedIndex() const { return m_nSpeedIndex; }
  // The user picked another COM entry: reopen there, remember it in the settings, " Ready".
  void ChangePort(int nPortIndex);

  // The Send button after the file was chosen: abandons a running job, shows the file's name,
  // classifies the file; JOB_INVALID after "Invalid File". Then StartSendJob with the result.
  int PrepareSend(const std::string& path, const std::string& fileName);
  void StartSendJob(int nJob, const std::string& path);
  // The job a file stands for, by its first bytes, name and length: JOB_SOFTWARE,
  // JOB_DATABASE, JOB_CHANNEL_LIST or JOB_INVALID (after "File Open Error" when it cannot be
  // read); a list for the companion program is handed over and the program ends.
  int ClassifyFile(const std::string& path);
  // The Read button, before the file is chosen: abandons a running job.
  void PrepareRead();
  // The job starters (also for the command line): each arms its job or says why not. A port
  // that is not open is opened again at the base speed first; a job is never armed without it.
  void StartSoftwareJob(const std::string& path);
  void StartDatabaseJob(const std::string& path);
  void StartBootJob(const std::string& path);
  void StartReadJob(const std::string& path);
  // A job that is still open ends here without a word to the receiver (Interrupted).
  void AbandonJob();

  // A read job writes into this file beside the target; it takes the target's place when the
  // database is whole, and stays behind, named so, when the job ends any other way.
  static std::string PartialPath(const std::string& target) { return target + ".part"; }

  // Forwarded messages.
  LRESULT OnReceiverEvent(WPARAM wParam, LPARAM lParam);
  LRESULT OnLinkLost(WPARAM wParam, LPARAM lParam);
  void OnTimer(UINT_PTR nIDEvent);

  // The status line, for texts of the owner's own (a chosen file's name).
  void SetStatusText(const std::string& text);

  JobPhase Phase() const { return m_phase; }
  int JobCode() const { return m_nJob; }
  std::uint32_t JobSize() const { return m_nTotal; }
  // A pause or a raw channel list is running.
  bool IsBusy() const { return static_cast<bool>(m_afterPause); }
  // Blocks or pieces are moving, or the receiver is finishing: a stop now leaves it half done.
  bool IsPastArming() const;

 private:
  friend class CTransferEngineProbe;  // tests

  // ---- the state machine (job_state_machine.cpp) ----
  void TakeDelivery();
  void ActOnHeldBytes();
  void ActOnReply(BYTE code, BYTE paramA);
  void SendNextBlock(BlockKind kind);
  void ReceiveRawChunk(const BYTE* pData, DWORD nCount);
  DWORD RawPieceRoom() const;
  void CloseJobFile();
  BOOL PutReadFileInPlace();
  // Back to the base speed when another is selected, then the rest.
  void ReturnToBaseSpeed(std::function<void()> then);
  void EndJobWithError(const std::string& message, JobResult result);
  void ReleaseReader();

  // ---- send jobs (send_jobs.cpp) ----
  BOOL OpenSendFile(const std::string& path);
  BOOL RefuseUnannounceableImage();
  void RefuseFile(const std::string& path, const std::string& why);
  void ArmSendJob(int nJob);
  // Tells the observers what was armed (bSend: a send job, else the read job).
  void ReportArmed(bool bSend);
  void SetJobSize();
  void RememberFolder(const std::string& path);

  // ---- channel lists (channel_list.cpp) ----
  void SendChannelListRaw(const std::string& path);
  void SendNextListPiece();
  void FinishChannelList(bool bReadFailed);
  [[noreturn]] void HandOffChannelList(const std::string& path);

  // ---- pauses, the link and the observers (transfer_engine.cpp) ----
  void Pause(DWORD dwMilliseconds, std::function<void()> then);
  void ResumeAfterPause();
  // Closes the port, pauses, opens it again on the selected port at the speed; then calls
  // then(opened). A failure shows " Not Connected".
  void ReopenLink(int nSpeedIndex, std::function<void(BOOL)> then);
  std::string PortOpenReason() const;
  // "Port Open Error", with the reason on a line of its own.
  std::string PortOpenErrorText() const;
  // Before a job is armed: the port open at the base speed, or "Port Open Error" and FALSE.
  BOOL EnsureLinkOpen();
  void SetProgressPos(int nPos, std::uint64_t nDone, std::uint64_t nTotal);
  // The bar back at 0 for the job just armed, so the last job's end does not stand for it.
  void ReportJobArmed();
  void ShowBox(const std::string& text, BoxKind kind);
  void ReportEnd(const JobResult& result);
  bool IsSendPhase() const;
  bool IsReadPhase() const;
  bool HasJobFile() const;

  std::vector<IJobObserver*> m_observers;
  CReceiverLink* m_pLink = nullptr;
  HWND m_hOwner = nullptr;
  int m_nPortIndex = 0;
  int m_nSpeedIndex = 0;
  std::string m_status;

  JobPhase m_phase = JobPhase::Idle;
  int m_nJob = JOB_SOFTWARE;
  std::uint32_t m_nTotal = 0;
  std::uint32_t m_nRemaining = 0;
  std::int32_t m_nReceived = 0;  // read job: bytes received
  CFile m_file;
  std::string m_readTarget;   // read job: the file its data are for
  std::string m_partialPath;  // an unfinished read's data, until its end is reported

  // The step a running pause ends with; empty when none runs.
  std::function<void()> m_afterPause;
  bool m_bDeliveryInHand = false;   // a delivery was stopped by a pause; its rest is held
  bool m_bDeliveryWaiting = false;  // a delivery came during a pause and waits in the mailbox
  bool m_bLinkLostWaiting = false;  // the device went away during a pause

  // A raw channel list on its way: its own file, its length and the next piece.
  CFile m_listFile;
  std::uint64_t m_nListLength = 0;
  std::uint64_t m_nListOffset = 0;
};
