#include "platform/ui/window_manager.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <utility>

#include "platform/ui/ui_backend.h"

namespace platform {

namespace {

struct Record {
  WindowState state;
  std::vector<HWND> children;
  bool destroying = false;
  std::unique_ptr<CWnd> wrapper;
};

struct Posted {
  HWND hWnd;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

struct ModalRun {
  CDialog* pDlg;
  HWND hWnd;
};

using Clock = std::chrono::steady_clock;
using TimerKey = std::pair<std::uintptr_t, UINT_PTR>;  // window, id

struct Timer {
  Clock::duration period;
  Clock::time_point due;
};

// One lock guards the records map and the posted queue, so a post either finds the window
// alive and queues, or fails; nothing is held while a message is being handled. It guards the
// timers too: lateness is read from other threads.
struct Registry {
  std::mutex mutex;
  std::condition_variable posted;
  std::unordered_map<std::uintptr_t, std::unique_ptr<Record>> records;
  std::uintptr_t nextHandle = 0x10000;
  std::deque<Posted> queue;
  std::vector<ModalRun> modalRuns;  // window thread only
  std::map<TimerKey, Timer> timers;
  std::map<TimerKey, TimerLateness> lateness;
};

// Never destroyed: window objects with static lifetime may outlive any ordering of statics.
Registry& Reg() {
  static Registry* registry = new Registry;
  return *registry;
}

std::uintptr_t Key(HWND hWnd) { return reinterpret_cast<std::uintptr_t>(hWnd); }

TimerKey KeyOf(HWND hWnd, UINT_PTR nIDEvent) { return TimerKey(Key(hWnd), nIDEvent); }

Record* FindRecord(HWND hWnd) {
  if (hWnd == nullptr) return nullptr;
  Registry& reg = Reg();
  std::lock_guard<std::mutex> lock(reg.mutex);
  auto it = reg.records.find(Key(hWnd));
  return it == reg.records.end() ? nullptr : it->second.get();
}

}  // namespace

// ---- records ------------------------------------------------------------------------------

HWND CWindowManager::NewWindow(WindowState state) {
  Registry& reg = Reg();
  auto record = std::make_unique<Record>();
  HWND hWnd;
  {
    std::lock_guard<std::mutex> lock(reg.mutex);
    hWnd = reinterpret_cast<HWND>(reg.nextHandle);
    reg.nextHandle += 4;
    state.hWnd = hWnd;
    record->state = std::move(state);
    const HWND hParent = record->state.hParent;
    const bool isChild = !record->state.isDialog && hParent != nullptr;
    reg.records.emplace(Key(hWnd), std::move(record));
    if (isChild) {
      auto parent = reg.records.find(Key(hParent));
      if (parent != reg.records.end()) parent->second->children.push_back(hWnd);
    }
  }
  return hWnd;
}

WindowState* CWindowManager::Find(HWND hWnd) {
  Record* record = FindRecord(hWnd);
  return record ? &record->state : nullptr;
}

std::vector<HWND> CWindowManager::Children(HWND hWnd) {
  Record* record = FindRecord(hWnd);
  return record ? record->children : std::vector<HWND>{};
}

bool CWindowManager::IsDestroying(HWND hWnd) {
  Record* record = FindRecord(hWnd);
  return record != nullptr && record->destroying;
}

CWnd* CWindowManager::Wrapper(HWND hWnd) {
  Record* record = FindRecord(hWnd);
  if (record == nullptr) return nullptr;
  if (record->state.object != nullptr) return record->state.object;
  if (!record->wrapper) {
    record->wrapper = std::make_unique<CWnd>();
    record->wrapper->m_hWnd = hWnd;
  }
  return record->wrapper.get();
}

HWND CWindowManager::DialogOf(HWND hWnd) {
  const WindowState* state = Find(hWnd);
  if (state == nullptr || state->messageOnly) return nullptr;
  if (state->isDialog) return hWnd;
  const WindowState* parent = Find(state->hParent);
  return parent != nullptr && parent->isDialog ? state->hParent : nullptr;
}

void CWindowManager::RemoveRecord(HWND hWnd) {
  Registry& reg = Reg();
  std::unique_ptr<Record> gone;
  bool hadTimers = false;
  {
    std::lock_guard<std::mutex> lock(reg.mutex);
    auto it = reg.records.find(Key(hWnd));
    if (it == reg.records.end()) return;
    gone = std::move(it->second);
    reg.records.erase(it);
    auto parent = reg.records.find(Key(gone->state.hParent));
    if (parent != reg.records.end()) {
      std::vector<HWND>& siblings = parent->second->children;
      siblings.erase(std::remove(siblings.begin(), siblings.end(), hWnd), siblings.end());
    }
    const auto first = reg.timers.lower_bound(TimerKey(Key(hWnd), 0));
    auto last = first;
    while (last != reg.timers.end() && last->first.first == Key(hWnd)) ++last;
    hadTimers = first != last;
    reg.timers.erase(first, last);
  }
  // The wrapper must not try to remove what is already gone.
  if (gone->wrapper) gone->wrapper->m_hWnd = nullptr;
  if (hadTimers) GetUiBackend().OnTimersChanged();
}

// ---- messages -----------------------------------------------------------------------------

LRESULT CWindowManager::Dispatch(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Record* record = FindRecord(hWnd);
  if (record == nullptr) return 0;
  CWnd* pWnd = record->state.object;
  if (pWnd == nullptr) return DefaultProc(hWnd, message, wParam, lParam);

  const UINT savedMessage = pWnd->m_curMessage;
  const WPARAM savedWParam = pWnd->m_curWParam;
  const LPARAM savedLParam = pWnd->m_curLParam;
  pWnd->m_curMessage = message;
  pWnd->m_curWParam = wParam;
  pWnd->m_curLParam = lParam;
  const LRESULT result = pWnd->WindowProc(message, wParam, lParam);
  // The handler may have destroyed the window and with it the object; touch the object only
  // while it is still the one attached.
  const WindowState* after = Find(hWnd);
  if (after != nullptr && after->object == pWnd) {
    pWnd->m_curMessage = savedMessage;
    pWnd->m_curWParam = savedWParam;
    pWnd->m_curLParam = savedLParam;
  }
  return result;
}

BOOL CWindowManager::Post(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
  Registry& reg = Reg();
  {
    std::lock_guard<std::mutex> lock(reg.mutex);
    if (hWnd == nullptr || reg.records.find(Key(hWnd)) == reg.records.end()) return FALSE;
    reg.queue.push_back(Posted{hWnd, message, wParam, lParam});
  }
  reg.posted.notify_all();
  GetUiBackend().Wake();
  return TRUE;
}

int CWindowManager::Pump() {
  Registry& reg = Reg();
  std::size_t budget;
  {
    std::lock_guard<std::mutex> lock(reg.mutex);
    budget = reg.queue.size();
  }
  // Only what was waiting on entry: a handler that posts to itself cannot keep us here.
  int dispatched = 0;
  for (; budget > 0; --budget) {
    Posted msg;
    bool alive;
    {
      std::lock_guard<std::mutex> lock(reg.mutex);
      if (reg.queue.empty()) break;
      msg = reg.queue.front();
      reg.queue.pop_front();
      alive = reg.records.find(Key(msg.hWnd)) != reg.records.end();
    }
    if (!alive) continue;
    Dispatch(msg.hWnd, msg.message, msg.wParam, msg.lParam);
    ++dispatched;
  }
  return dispatched;
}

void CWindowManager::WaitForPost(DWORD dwMilliseconds) {
  Registry& reg = Reg();
  std::unique_lock<std::mutex> lock(reg.mutex);
  auto ready = [&reg] { return !reg.queue.empty(); };
  if (dwMilliseconds == 0xFFFFFFFF) {
    reg.posted.wait(lock, ready);
  } else {
    reg.posted.wait_for(lock, std::chrono::milliseconds(dwMilliseconds), ready);
  }
}

// ---- timers -------------------------------------------------------------------------------

UINT_PTR CWindowManager::SetTimer(HWND hWnd, UINT_PTR nIDEvent, UINT uElapse) {
  const Clock::duration period =
      std::chrono::milliseconds(std::clamp(uElapse, USER_TIMER_MINIMUM, USER_TIMER_MAXIMUM));
  Registry& reg = Reg();
  {
    std::lock_guard<std::mutex> lock(reg.mutex);
    const auto it = reg.records.find(Key(hWnd));
    if (hWnd == nullptr || it == reg.records.end() || it->second->destroying) return 0;
    const TimerKey key = KeyOf(hWnd, nIDEvent);
    reg.timers[key] = Timer{period, Clock::now() + period};
    reg.lateness[key] = TimerLateness{};
  }
  GetUiBackend().OnTimersChanged();
  return nIDEvent != 0 ? nIDEvent : 1;
}

BOOL CWindowManager::KillTimer(HWND hWnd, UINT_PTR nIDEvent) {
  Registry& reg = Reg();
  bool killed;
  {
    std::lock_guard<std::mutex> lock(reg.mutex);
    killed = reg.timers.erase(KeyOf(hWnd, nIDEvent)) != 0;
  }
  if (killed) GetUiBackend().OnTimersChanged();
  return killed ? TRUE : FALSE;
}

TimerLateness CWindowManager::TimerLatenessOf(HWND hWnd, UINT_PTR nIDEvent) {
  Registry& reg = Reg();
  std::lock_guard<std::mutex> lock(reg.mutex);
  const auto it = reg.lateness.find(KeyOf(hWnd, nIDEvent));
  return it != reg.lateness.end() ? it->second : TimerLateness{};
}

std::optional<Clock::time_point> CWindowManager::NextTimerDue() {
  Registry& reg = Reg();
  std::lock_guard<std::mutex> lock(reg.mutex);
  std::optional<Clock::time_point> next;
  for (const auto& [key, timer] : reg.timers) {
    if (!next || timer.due < *next) next = timer.due;
  }
  return next;
}

int CWindowManager::DispatchDueTimers() {
  Registry& reg = Reg();
  // Each timer goes at most once a round: its next due time lies after the round began.
  const Clock::time_point round = Clock::now();
  int dispatched = 0;
  for (;;) {
    TimerKey key;
    {
      std::lock_guard<std::mutex> lock(reg.mutex);
      auto next = reg.timers.end();
      for (auto it = reg.timers.begin(); it != reg.timers.end(); ++it) {
        if (it->second.due <= round && (next == reg.timers.end() || it->second.due < next->second.due)) {
          next = it;
        }
      }
      if (next == reg.timers.end()) break;
      key = next->first;
      const auto record = reg.records.find(key.first);
      if (record == reg.records.end() || record->second->destroying) {
        reg.timers.erase(next);
        continue;
      }
      const Clock::time_point now = Clock::now();
      TimerLateness& late = reg.lateness[key];
      ++late.count;
      late.maxMs = std::max(late.maxMs,
                            std::chrono::duration<double, std::milli>(now - next->second.due).count());
      next->second.due = now + next->second.period;
    }
    // Told before the handler runs: a box it opens runs a loop that must see the next one.
    GetUiBackend().OnTimersChanged();
    Dispatch(reinterpret_cast<HWND>(key.first), WM_TIMER, key.second, 0);
    ++dispatched;
  }
  return dispatched;
}

// ---- visible state ------------------------------------------------------------------------

void CWindowManager::Invalidate(HWND hWnd, bool erase) {
  WindowState* state = Find(hWnd);
  if (state == nullptr || state->messageOnly) return;
  state->dirty = true;
  state->eraseBackground = state->eraseBackground || erase;
  GetUiBackend().InvalidateWindow(hWnd, erase);
  // A dialog does not clip its controls, so they are invalidated with it.
  if (state->isDialog) {
    for (HWND hChild : Children(hWnd)) Invalidate(hChild, erase);
  }
}

BOOL CWindowManager::Show(HWND hWnd, int nCmdShow) {
  WindowState* state = Find(hWnd);
  if (state == nullptr || state->messageOnly) return FALSE;
  const bool wasVisible = state->visible;
  const bool wasMinimized = state->minimized;
  switch (nCmdShow) {
    case SW_HIDE:
      state->visible = false;
      break;
    case SW_MINIMIZE:
      state->visible = true;
      state->minimized = true;
      break;
    case SW_SHOWNORMAL:
    case SW_RESTORE:
      state->visible = true;
      state->minimized = false;
      break;
    default:  // SW_SHOW and the rest: shown, minimised state kept
      state->visible = true;
      break;
  }
  // What comes into view (or changes between icon and window) must be painted again.
  const bool exposed = state->visible && (!wasVisible || wasMinimized != state->minimized);
  if (exposed) Invalidate(hWnd, true);
  if (state->isDialog) {
    GetUiBackend().ShowWindow(hWnd, nCmdShow);
  } else {
    GetUiBackend().OnWindowChanged(hWnd, WindowChange::Visibility);
  }
  return wasVisible ? TRUE : FALSE;
}

// ---- objects ------------------------------------------------------------------------------

bool CWindowManager::HasMapEntry(const CWnd* pWnd, UINT message) {
  for (const AFX_MSGMAP* map = pWnd->GetMessageMap(); map != nullptr; map = map->pBaseMap) {
    for (const AFX_MSGMAP_ENTRY* entry = map->lpEntries; entry->pfn != nullptr; ++entry) {
      if (entry->nMessage == message) return true;
    }
  }
  return false;
}

BOOL CWindowManager::Attach(HWND hWnd, CWnd* pWnd) {
  WindowState* state = Find(hWnd);
  if (state == nullptr || pWnd == nullptr) return FALSE;
  if (state->object == pWnd && pWnd->m_hWnd == hWnd) return TRUE;
  if (state->object != nullptr || pWnd->m_hWnd != nullptr) return FALSE;
  state->object = pWnd;
  state->ownerPainted = HasMapEntry(pWnd, WM_PAINT);
  pWnd->m_hWnd = hWnd;
  return TRUE;
}

void CWindowManager::ObjectGone(CWnd* pWnd) {
  const HWND hWnd = pWnd->m_hWnd;
  pWnd->m_hWnd = nullptr;
  WindowState* state = Find(hWnd);
  if (state == nullptr || state->object != pWnd) return;
  // The object is half destroyed: nothing may reach it any more.
  state->object = nullptr;
  state->ownerPainted = false;
  if (state->isDialog || state->messageOnly) Destroy(hWnd);
}

// ---- lifetime -----------------------------------------------------------------------------

void CWindowManager::EndModalRunsFor(HWND hWnd, bool all) {
  // Copy: ending a run lets its DoModal pop it only later, but stay safe against changes.
  const std::vector<ModalRun> runs = Reg().modalRuns;
  for (auto it = runs.rbegin(); it != runs.rend(); ++it) {
    if (it->hWnd == nullptr || (!all && it->hWnd != hWnd)) continue;
    if (!it->pDlg->m_bEnded) {
      it->pDlg->m_bEnded = true;
      it->pDlg->m_nResult = IDCANCEL;
    }
    GetUiBackend().EndModalLoop(it->hWnd);
  }
}

BOOL CWindowManager::Destroy(HWND hWnd) {
  Record* record = FindRecord(hWnd);
  if (record == nullptr || record->destroying) return FALSE;
  record->destroying = true;
  const bool isDialog = record->state.isDialog;

  if (isDialog) {
    // The main window's end is the application's end: every modal run stops.
    CWnd* pMain = AfxGetMainWnd();
    EndModalRunsFor(hWnd, pMain != nullptr && pMain->m_hWnd == hWnd);
  }

  // WM_DESTROY goes to the window before its controls; WM_NCDESTROY to the controls first.
  Dispatch(hWnd, WM_DESTROY, 0, 0);
  const std::vector<HWND> children = Children(hWnd);
  for (HWND hChild : children) {
    if (Record* child = FindRecord(hChild)) child->destroying = true;
    Dispatch(hChild, WM_DESTROY, 0, 0);
  }
  if (isDialog) GetUiBackend().DestroyDialogWindow(hWnd);

  auto finish = [](HWND h) {
    WindowState* state = Find(h);
    if (state == nullptr) return;
    GetUiBackend().OnWindowChanged(h, WindowChange::Destroyed);
    Dispatch(h, WM_NCDESTROY, 0, 0);
    state = Find(h);
    if (state == nullptr) return;
    CWnd* pWnd = state->object;
    state->object = nullptr;
    if (pWnd != nullptr) pWnd->m_hWnd = nullptr;
    RemoveRecord(h);
    if (pWnd != nullptr) CallPostNcDestroy(pWnd);
  };
  for (HWND hChild : children) finish(hChild);
  finish(hWnd);
  return TRUE;
}

// ---- dialogs ------------------------------------------------------------------------------

BOOL CWindowManager::CreateDialogFor(CDialog* pDlg) {
  if (pDlg->m_hWnd != nullptr) return FALSE;
  const DialogTemplate* tmpl = FindDialogTemplate(static_cast<int>(pDlg->m_nIDTemplate));
  if (tmpl == nullptr) return FALSE;
  pDlg->m_bEnded = false;
  pDlg->m_nResult = IDCANCEL;

  WindowState dlg;
  dlg.isDialog = true;
  dlg.templateId = tmpl->id;
  dlg.text = tmpl->caption;
  dlg.style = tmpl->style;
  dlg.exStyle = tmpl->exStyle;
  dlg.rectDlu = RECT{0, 0, tmpl->cx, tmpl->cy};
  dlg.visible = false;
  CWnd* pOwner = pDlg->m_pParentWnd != nullptr ? pDlg->m_pParentWnd : AfxGetMainWnd();
  dlg.hParent = pOwner != nullptr && pOwner != pDlg ? pOwner->m_hWnd : nullptr;
  const HWND hDlg = NewWindow(std::move(dlg));
  for (ModalRun& run : Reg().modalRuns) {
    if (run.pDlg == pDlg) run.hWnd = hDlg;
  }

  for (const ControlTemplate& ctl : tmpl->controls) {
    WindowState state;
    state.hParent = hDlg;
    state.kind = ctl.kind;
    state.id = ctl.id;
    state.text = ctl.text;
    state.style = ctl.style;
    state.exStyle = ctl.exStyle;
    state.rectDlu = RECT{ctl.x, ctl.y, ctl.x + ctl.cx, ctl.y + ctl.cy};
    state.items = ctl.items;
    state.iconId = ctl.iconId;
    if (ctl.kind == ControlKind::StaticIcon) state.bigIcon = LoadIconResource(ctl.iconId);
    NewWindow(std::move(state));
  }

  Attach(hDlg, pDlg);
  pDlg->DoDataExchange();
  GetUiBackend().CreateDialogWindow(hDlg);
  Dispatch(hDlg, WM_INITDIALOG, 0, 0);
  if (Find(hDlg) == nullptr || IsDestroying(hDlg)) return TRUE;  // initialisation ended it
  GetUiBackend().OnWindowChanged(hDlg, WindowChange::Created);
  Show(hDlg, SW_SHOW);
  return TRUE;
}

INT_PTR CWindowManager::RunModal(CDialog* pDlg) {
  if (pDlg->m_hWnd != nullptr) return -1;
  Registry& reg = Reg();
  // The run is known before the window exists, so the first dialog is the main window
  // already while it initialises (its message boxes have an owner).
  reg.modalRuns.push_back(ModalRun{pDlg, nullptr});
  auto popRun = [&reg, pDlg] {
    for (auto it = reg.modalRuns.begin(); it != reg.modalRuns.end(); ++it) {
      if (it->pDlg == pDlg) {
        reg.modalRuns.erase(it);
        break;
      }
    }
  };
  if (!CreateDialogFor(pDlg)) {
    popRun();
    return -1;
  }
  // Initialisation may have destroyed the window already (m_hWnd is then cleared).
  HWND hDlg = nullptr;
  for (const ModalRun& run : reg.modalRuns) {
    if (run.pDlg == pDlg) hDlg = run.hWnd;
  }
  if (Find(hDlg) != nullptr && !pDlg->m_bEnded && !IsDestroying(hDlg)) {
    GetUiBackend().RunModalLoop(hDlg);
  }
  popRun();
  if (Find(hDlg) != nullptr) Destroy(hDlg);
  return pDlg->m_nResult;
}

void CWindowManager::EndDialog(CDialog* pDlg, int nResult) {
  pDlg->m_nResult = nResult;
  pDlg->m_bEnded = true;
  if (pDlg->m_hWnd == nullptr) return;
  for (const ModalRun& run : Reg().modalRuns) {
    if (run.pDlg == pDlg && run.hWnd != nullptr) GetUiBackend().EndModalLoop(run.hWnd);
  }
}

CDialog* CWindowManager::OutermostModal() {
  const std::vector<ModalRun>& runs = Reg().modalRuns;
  return runs.empty() ? nullptr : runs.front().pDlg;
}

}  // namespace platform
