// CQuorinDlg: the main window. It owns the transfer engine, forwards the serial link's
// messages, its timer and the user's buttons and lists to it, and shows what the engine
// reports: status line, progress bar and message boxes.
#pragma once

#include <string>
#include <vector>

#include "app/command_line.h"
#include "controls/ellipsis_label.h"
#include "controls/shaded_progress_ctrl.h"
#include "platform/ui/window.h"
#include "resources/resource.h"
#include "transfer/transfer_engine.h"

class CQuorinDlg : public CDialog, public IJobObserver {
 public:
  // argc/argv: the command line the options come from (none by default).
  explicit CQuorinDlg(CWnd* pParent = nullptr, int argc = 0, const char* const* argv = nullptr);
  ~CQuorinDlg() override;

  CEllipsisLabel m_ctlFileName;
  CStatic m_ctlStatus;
  CShadedProgressCtrl m_ctlProgress;
  CComboBox m_cboBaud;
  CComboBox m_cboComPort;
  HICON m_hIcon;

  // Another watcher of the engine besides the window (the terminal mode); before DoModal.
  void AddJobObserver(IJobObserver* pObserver) { m_engine.AddObserver(pObserver); }
  CTransferEngine& Engine() { return m_engine; }
  const CTransferEngine& Engine() const { return m_engine; }

  void SetStatusText(const std::string& text);

  // The Ports dialog's assignment of a device to a COM entry: written to the settings' section
  // "Devices", and the port reopened (at the base speed) when it is the selected one. FALSE,
  // after a box that says why, while a job is under way or when the settings cannot be written.
  BOOL AssignPortDevice(int nPortIndex, const std::string& path);

  // IJobObserver: what the engine reports, shown as the window always showed it.
  void OnStatusText(const std::string& text) override;
  void OnProgress(const JobProgress& progress) override;
  void OnMessageBox(const std::string& text, BoxKind kind) override;
  void OnJobEnded(const JobResult& result) override;
  void OnJobArmed(const JobSummary& summary) override;

  // Handlers.
  BOOL OnInitDialog() override;
  void OnOK() override;
  void OnCancel() override;
  void DoDataExchange() override;
  void OnSysCommand(UINT nID, LPARAM lParam);
  void OnPaint();
  HICON OnQueryDragIcon();
  void OnComPortChanged();
  void OnSpeedChanged();
  void OnSendToReceiver();
  void OnExit();
  void OnLButtonDown(UINT nFlags, POINT point);
  void OnReadFromReceiver();
  void ChooseReadFile();
  void OnClose();
  void OnTimer(UINT_PTR nIDEvent);
  LRESULT OnReceiverEvent(WPARAM wParam, LPARAM lParam);
  LRESULT OnLinkLost(WPARAM wParam, LPARAM lParam);

  DECLARE_MESSAGE_MAP()

 protected:
  void PostNcDestroy() override;

 private:
  // Arms the job the command line names, if any; returns the file-name line's text.
  std::string StartCommandLineJob(const std::string& fileText);
  // Whether the program may end now: a job that is under way (past arming) ends only when the
  // user says so, and is then abandoned.
  bool MayEndNow();
  // Puts the lists back to what the engine runs with (a change during a pause does nothing).
  void ShowEngineSelection();
  void ShowPortDevices();

  CTransferEngine m_engine;
  CCommandLine m_commandLine;
};

// The About box (template 100): no members and no handlers of its own.
class CAboutDlg : public CDialog {
 public:
  CAboutDlg() : CDialog(IDD_ABOUTBOX) {}
};
