#include "platform/ui/headless/headless_backend.h"

#include "platform/os/file.h"

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <map>
#include <set>

namespace platform {

struct CHeadlessBackend::Impl {
  // Guards everything below; never held while a message, action or observer runs.
  mutable std::mutex mutex;
  std::condition_variable cond;
  bool woken = false;
  std::deque<std::function<void()>> actions;

  std::vector<HeadlessEvent> events;
  IHeadlessObserver* observer = nullptr;
  std::deque<std::optional<std::string>> answers;
  std::deque<int> boxAnswers;
  std::vector<FileDialogRequest> requests;
  std::vector<POINT> moveDrags;

  std::vector<HWND> dialogs;
  std::set<HWND> endRequested;
  std::map<HWND, CPixelBuffer> presented;
  struct ProgressSeen {
    int low = 0, high = 100, pos = 0;
  };
  std::map<HWND, ProgressSeen> progress;
};

CHeadlessBackend::CHeadlessBackend() : m_impl(std::make_unique<Impl>()) {}

CHeadlessBackend::~CHeadlessBackend() = default;

CHeadlessBackend& GetHeadlessBackend() {
  // Never destroyed: windows and observers may still report during the process's exit.
  static CHeadlessBackend* backend = new CHeadlessBackend;
  return *backend;
}

// ---- scripting ----------------------------------------------------------------------------

void CHeadlessBackend::SetObserver(IHeadlessObserver* observer) {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  m_impl->observer = observer;
}

std::vector<HeadlessEvent> CHeadlessBackend::Events() const {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  return m_impl->events;
}

void CHeadlessBackend::ClearEvents() {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  m_impl->events.clear();
}

void CHeadlessBackend::Reset() {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  m_impl->events.clear();
  m_impl->observer = nullptr;
  m_impl->answers.clear();
  m_impl->boxAnswers.clear();
  m_impl->requests.clear();
  m_impl->moveDrags.clear();
  m_impl->presented.clear();
}

std::vector<std::string> CHeadlessBackend::Texts(HeadlessEvent::Kind kind, int id) const {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  std::vector<std::string> texts;
  for (const HeadlessEvent& e : m_impl->events) {
    if (e.kind == kind && (id == -1 || e.id == id)) texts.push_back(e.text);
  }
  return texts;
}

std::vector<int> CHeadlessBackend::Values(HeadlessEvent::Kind kind, int id) const {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  std::vector<int> values;
  for (const HeadlessEvent& e : m_impl->events) {
    if (e.kind == kind && (id == -1 || e.id == id)) values.push_back(e.value);
  }
  return values;
}

void CHeadlessBackend::QueueFileDialogAnswer(std::optional<std::string> path) {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  m_impl->answers.push_back(std::move(path));
}

std::vector<FileDialogRequest> CHeadlessBackend::FileDialogRequests() const {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  return m_impl->requests;
}

std::vector<POINT> CHeadlessBackend::MoveDrags() const {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  return m_impl->moveDrags;
}

namespace {

// Makes room in a full history: the oldest bar positions go first (a job records one per
// block), texts, boxes and the rest only when positions alone cannot make room.
void TrimHistory(std::vector<HeadlessEvent>& events, std::size_t nDrop) {
  std::size_t nDropped = 0;
  auto it = std::remove_if(events.begin(), events.end(), [&nDropped, nDrop](const HeadlessEvent& e) {
    if (nDropped >= nDrop || e.kind != HeadlessEvent::Progress) return false;
    ++nDropped;
    return true;
  });
  events.erase(it, events.end());
  if (nDropped < nDrop) {
    const std::size_t nMore = std::min(events.size(), nDrop - nDropped);
    events.erase(events.begin(), events.begin() + static_cast<std::ptrdiff_t>(nMore));
  }
}

}  // namespace

void CHeadlessBackend::Record(const HeadlessEvent& event) {
  IHeadlessObserver* observer;
  {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    std::vector<HeadlessEvent>& events = m_impl->events;
    // A long job or terminal session must not grow the history without end.
    if (events.size() >= kMaxRecordedEvents) TrimHistory(events, kMaxRecordedEvents / 4);
    events.push_back(event);
    observer = m_impl->observer;
  }
  if (observer != nullptr) observer->OnHeadlessEvent(event);
}

// ---- the loop -----------------------------------------------------------------------------

void CHeadlessBackend::PostAction(std::function<void()> action) {
  {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->actions.push_back(std::move(action));
  }
  m_impl->cond.notify_all();
}

void CHeadlessBackend::Wake() {
  {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->woken = true;
  }
  m_impl->cond.notify_all();
}

void CHeadlessBackend::RunRound() {
  std::size_t budget;
  {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    budget = m_impl->actions.size();
  }
  for (; budget > 0; --budget) {
    std::function<void()> action;
    {
      std::lock_guard<std::mutex> lock(m_impl->mutex);
      if (m_impl->actions.empty()) break;
      action = std::move(m_impl->actions.front());
      m_impl->actions.pop_front();
    }
    if (action) action();
  }
  PumpPostedMessages();
  DispatchDueTimers();
  PaintInvalidated();
}

// What a desktop does when the queue is empty: paint what was invalidated and is on screen.
void CHeadlessBackend::PaintInvalidated() {
  std::vector<HWND> dialogs;
  {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    dialogs = m_impl->dialogs;
  }
  for (HWND hDlg : dialogs) UpdateWindow(hDlg);
}

bool CHeadlessBackend::WaitForWork(std::optional<std::chrono::steady_clock::time_point> deadline,
                                   HWND hModal) {
  // Timers change on this thread only, so the time read here holds through the wait.
  const std::optional<std::chrono::steady_clock::time_point> due = NextTimerDue();
  const bool timerFirst = due && (!deadline || *due < *deadline);
  std::unique_lock<std::mutex> lock(m_impl->mutex);
  const auto ready = [this, hModal] {
    return m_impl->woken || !m_impl->actions.empty() ||
           (hModal != nullptr && m_impl->endRequested.count(hModal) != 0);
  };
  bool work = true;
  if (timerFirst) {
    m_impl->cond.wait_until(lock, *due, ready);
  } else if (deadline) {
    work = m_impl->cond.wait_until(lock, *deadline, ready);
  } else {
    m_impl->cond.wait(lock, ready);
  }
  m_impl->woken = false;
  return work;
}

void CHeadlessBackend::RunModalLoop(HWND hDlg) {
  for (;;) {
    RunRound();
    {
      std::lock_guard<std::mutex> lock(m_impl->mutex);
      if (m_impl->endRequested.erase(hDlg) != 0) break;
    }
    WaitForWork(std::nullopt, hDlg);
  }
}

void CHeadlessBackend::EndModalLoop(HWND hDlg) {
  {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->endRequested.insert(hDlg);
  }
  m_impl->cond.notify_all();
}

bool CHeadlessBackend::PumpUntil(const std::function<bool()>& predicate, DWORD timeoutMs) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    RunRound();
    if (predicate && predicate()) return true;
    if (!WaitForWork(deadline, nullptr)) {
      RunRound();
      return predicate && predicate();
    }
  }
}

void CHeadlessBackend::Pump(DWORD milliseconds) { PumpUntil(nullptr, milliseconds); }

// ---- what a person does -------------------------------------------------------------------

void CHeadlessBackend::Click(HWND hDlg, int id) {
  platform::SendMessage(hDlg, WM_COMMAND, MAKEWPARAM(static_cast<unsigned>(id), BN_CLICKED),
                reinterpret_cast<LPARAM>(GetDlgItem(hDlg, id)));
}

void CHeadlessBackend::SelectComboEntry(HWND hDlg, int id, int index) {
  const HWND hCombo = GetDlgItem(hDlg, id);
  if (hCombo == nullptr) return;
  platform::SendMessage(hCombo, CB_SETCURSEL, static_cast<WPARAM>(index));
  platform::SendMessage(hDlg, WM_COMMAND, MAKEWPARAM(static_cast<unsigned>(id), CBN_SELCHANGE),
                reinterpret_cast<LPARAM>(hCombo));
}

void CHeadlessBackend::CloseWindow(HWND hDlg) { platform::SendMessage(hDlg, WM_CLOSE); }

void CHeadlessBackend::PressEnter(HWND hDlg) {
  platform::SendMessage(hDlg, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED), 0);
}

void CHeadlessBackend::PressEscape(HWND hDlg) {
  platform::SendMessage(hDlg, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
}

// ---- IUiBackend ---------------------------------------------------------------------------

void CHeadlessBackend::CreateDialogWindow(HWND hDlg) {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  m_impl->dialogs.push_back(hDlg);
}

void CHeadlessBackend::DestroyDialogWindow(HWND hDlg) {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  std::vector<HWND>& dialogs = m_impl->dialogs;
  dialogs.erase(std::remove(dialogs.begin(), dialogs.end(), hDlg), dialogs.end());
}

void CHeadlessBackend::OnWindowChanged(HWND hWnd, WindowChange what) {
  const WindowState* s = GetWindowState(hWnd);
  if (s == nullptr || s->messageOnly) return;
  const int id = s->isDialog ? s->templateId : s->id;
  switch (what) {
    case WindowChange::Text:
      Record(HeadlessEvent{s->isDialog ? HeadlessEvent::Title : HeadlessEvent::Text, id, s->text,
                           std::string(), 0});
      return;
    case WindowChange::Visibility:
      Record(HeadlessEvent{HeadlessEvent::Visibility, id, std::string(), std::string(),
                           s->visible ? 1 : 0});
      return;
    case WindowChange::Selection:
      Record(HeadlessEvent{HeadlessEvent::Selection, id, s->text, std::string(), s->curSel});
      return;
    case WindowChange::ToolTip:
      Record(HeadlessEvent{HeadlessEvent::ToolTip, id, s->toolTip, std::string(), 0});
      return;
    case WindowChange::Progress: {
      // A new range alone is no new position; a position set again is.
      bool report;
      {
        std::lock_guard<std::mutex> lock(m_impl->mutex);
        Impl::ProgressSeen& seen = m_impl->progress[hWnd];
        const bool rangeChanged = seen.low != s->rangeLow || seen.high != s->rangeHigh;
        report = !rangeChanged || seen.pos != s->pos;
        seen = Impl::ProgressSeen{s->rangeLow, s->rangeHigh, s->pos};
      }
      if (report) {
        Record(HeadlessEvent{HeadlessEvent::Progress, id, std::string(), std::string(), s->pos});
      }
      return;
    }
    case WindowChange::Destroyed: {
      std::lock_guard<std::mutex> lock(m_impl->mutex);
      m_impl->progress.erase(hWnd);
      return;
    }
    default:
      return;
  }
}

void CHeadlessBackend::UpdateWindow(HWND hWnd) {
  const WindowState* s = GetWindowState(hWnd);
  if (s == nullptr || !s->visible) return;
  if (!s->isDialog) {
    const WindowState* parent = GetWindowState(s->hParent);
    if (parent == nullptr || !parent->visible || parent->minimized) return;
  }
  const bool isDialog = s->isDialog;
  const bool minimized = s->minimized;
  if (s->ownerPainted && s->dirty) PaintWindowNow(hWnd);
  if (!isDialog || minimized) return;
  for (HWND hChild : GetChildWindows(hWnd)) {
    const WindowState* child = GetWindowState(hChild);
    if (child != nullptr && child->visible && child->ownerPainted && child->dirty) {
      PaintWindowNow(hChild);
    }
  }
}

void CHeadlessBackend::InvalidateWindow(HWND, bool) {
  // Painted when the loop next finds its queue empty, or at UpdateWindow.
}

int CHeadlessBackend::MessageBox(HWND, const std::string& text, const std::string& caption,
                                 UINT type) {
  Record(HeadlessEvent{HeadlessEvent::MessageBox, -1, text, caption, static_cast<int>(type)});
  if ((type & MB_TYPEMASK) != MB_YESNO) return IDOK;
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  if (m_impl->boxAnswers.empty()) return IDNO;
  const int nAnswer = m_impl->boxAnswers.front();
  m_impl->boxAnswers.pop_front();
  return nAnswer;
}

void CHeadlessBackend::QueueMessageBoxAnswer(int nAnswer) {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  m_impl->boxAnswers.push_back(nAnswer);
}

FileDialogResult CHeadlessBackend::FileDialog(HWND, const FileDialogRequest& request) {
  std::optional<std::string> answer;
  {
    std::lock_guard<std::mutex> lock(m_impl->mutex);
    m_impl->requests.push_back(request);
    if (!m_impl->answers.empty()) {
      answer = std::move(m_impl->answers.front());
      m_impl->answers.pop_front();
    }
  }

  FileDialogResult result;
  if (answer.has_value()) {
    result.ok = true;
    result.path = *answer;
    result.fileName = FileNameOf(result.path);
    const std::string::size_type dot = result.fileName.find_last_of('.');
    if (dot != std::string::npos) result.ext = result.fileName.substr(dot + 1);
  }
  Record(HeadlessEvent{HeadlessEvent::FileDialog, -1, result.path, std::string(),
                       request.save ? 1 : 0});
  return result;
}

void CHeadlessBackend::ShowWindow(HWND hWnd, int) {
  const WindowState* s = GetWindowState(hWnd);
  if (s == nullptr) return;
  Record(HeadlessEvent{HeadlessEvent::Visibility, s->isDialog ? s->templateId : s->id,
                       std::string(), std::string(), s->visible && !s->minimized ? 1 : 0});
}

void CHeadlessBackend::BeginMoveDrag(HWND, POINT screenPoint) {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  m_impl->moveDrags.push_back(screenPoint);
}

RECT CHeadlessBackend::ClientRectPixels(HWND hWnd) {
  const WindowState* s = GetWindowState(hWnd);
  if (s == nullptr || s->messageOnly) return RECT{};
  return RECT{0, 0, s->rectDlu.Width() * kBaseUnitX / 4, s->rectDlu.Height() * kBaseUnitY / 8};
}

COLORREF CHeadlessBackend::GetSysColor(int index) {
  switch (index) {
    case COLOR_HIGHLIGHT:
      return RGB(10, 36, 106);
    case COLOR_BTNFACE:
      return RGB(212, 208, 200);
    case COLOR_BTNSHADOW:
      return RGB(128, 128, 128);
    case COLOR_3DDKSHADOW:
      return RGB(64, 64, 64);
    case COLOR_BTNTEXT:
    case COLOR_WINDOWTEXT:
      return RGB(0, 0, 0);
    default:
      return RGB(255, 255, 255);
  }
}

int CHeadlessBackend::GetSystemMetrics(int index) {
  return index == SM_CXICON || index == SM_CYICON ? 32 : 0;
}

SIZE CHeadlessBackend::MeasureText(HWND, const std::string& text) {
  return SIZE{static_cast<LONG>(text.size()) * 6, 13};
}

void CHeadlessBackend::RenderText(HWND, CPixelBuffer& target, int x, int y,
                                  const std::string& text, COLORREF colour, const RECT& clip) {
  const int left = std::max<int>(clip.left, 0);
  const int top = std::max<int>(clip.top, 0);
  const int right = std::min<int>(clip.right, target.Width());
  const int bottom = std::min<int>(clip.bottom, target.Height());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] == ' ' || text[i] == '\t') continue;
    const int cellX = x + static_cast<int>(i) * 6;
    for (int py = y + 2; py < y + 11; ++py) {
      for (int px = cellX + 1; px < cellX + 5; ++px) {
        if (px >= left && px < right && py >= top && py < bottom) target.Set(px, py, colour);
      }
    }
  }
}

void CHeadlessBackend::PresentPixels(HWND hWnd, const CPixelBuffer& pixels) {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  m_impl->presented[hWnd] = pixels;
}

CPixelBuffer CHeadlessBackend::LastPresented(HWND hWnd) const {
  std::lock_guard<std::mutex> lock(m_impl->mutex);
  auto it = m_impl->presented.find(hWnd);
  return it == m_impl->presented.end() ? CPixelBuffer() : it->second;
}

}  // namespace platform
