// Fuzzes the reply-frame parser of CReceiverLink against a plain reference scanner written from
// the parser's rules. The input is a script of calls: chunks of bytes handed to ParseBytes
// (short ones from the input, long ones repeating a pattern from it, past the hold queue's
// size), ParseFrame with no new delivery, TakeHeldBytes, and runs of ParseFrame until no frame
// is left. After every call both must agree on the result, the code and parameter A of a
// frame, the bytes taken and the number of bytes held; the accumulator never holds more than
// its 256 bytes and the hold queue never more than two deliveries. At the end both give up the
// same held bytes. The link is never opened.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <vector>

#include "platform/ui/window.h"
#include "transfer/receiver_link.h"

namespace platform {

// Only a link's reader thread posts, and no port is opened here.
BOOL PostMessage(HWND, UINT, WPARAM, LPARAM) {
  std::fprintf(stderr, "frame parser: a message was posted, so a port was opened\n");
  std::abort();
}

}  // namespace platform

class CReceiverLinkProbe {
 public:
  static std::int32_t Accumulated(const CReceiverLink& link) { return link.m_nFill; }
  static DWORD Waiting(const CReceiverLink& link) { return link.m_nHeld; }
};

namespace {

constexpr std::uint8_t kMarker = 0x01;
constexpr std::size_t kHeader = 8;
constexpr std::size_t kAccumulator = 256;
constexpr std::size_t kHoldLimit = 2 * 2048;

// Every byte held sits in one queue; the first ones have entered the accumulator, the others
// wait behind it until there is room.
class CReferenceScanner {
 public:
  void Receive(const std::uint8_t* p, std::size_t n) {
    if (p == nullptr || n == 0) return;
    if (Waiting() + n > kHoldLimit) {
      // The owner stopped taking frames: everything held goes, and of the new bytes only as
      // many as the hold queue takes, the newest.
      m_bytes.clear();
      m_nAccumulated = 0;
      if (n > kHoldLimit) {
        p += n - kHoldLimit;
        n = kHoldLimit;
      }
    }
    m_bytes.insert(m_bytes.end(), p, p + n);
  }

  ParseResult Parse(const std::uint8_t* p, std::size_t n, BYTE& code, BYTE& paramA) {
    Receive(p, n);
    while (!m_bytes.empty() && m_bytes.front() != kMarker) m_bytes.pop_front();
    Fill();
    if (m_bytes.size() < kHeader) return ParseResult::NoFrame;
    if (m_bytes[2] == 0) {
      m_bytes.pop_front();
      --m_nAccumulated;
      return ParseResult::CodeZero;
    }
    code = m_bytes[2];
    paramA = m_bytes[1];
    m_bytes.erase(m_bytes.begin(), m_bytes.begin() + kHeader);
    m_nAccumulated -= kHeader;
    Fill();
    return ParseResult::Frame;
  }

  // The accumulator is emptied to the caller and filled again, in turn.
  std::vector<std::uint8_t> Take(std::size_t nMax) {
    std::vector<std::uint8_t> out;
    while (out.size() < nMax) {
      Fill();
      const std::size_t n = std::min(nMax - out.size(), m_nAccumulated);
      if (n == 0) break;
      out.insert(out.end(), m_bytes.begin(), m_bytes.begin() + static_cast<std::ptrdiff_t>(n));
      m_bytes.erase(m_bytes.begin(), m_bytes.begin() + static_cast<std::ptrdiff_t>(n));
      m_nAccumulated -= n;
    }
    return out;
  }

  std::size_t Held() const { return m_bytes.size(); }

 private:
  std::size_t Waiting() const { return m_bytes.size() - m_nAccumulated; }
  void Fill() { m_nAccumulated = std::min(kAccumulator, m_bytes.size()); }

  std::deque<std::uint8_t> m_bytes;
  std::size_t m_nAccumulated = 0;
};

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "frame parser: %s\n", what);
  std::abort();
}

class CScript {
 public:
  CScript(const std::uint8_t* p, std::size_t n) : m_p(p), m_n(n) {}
  bool Empty() const { return m_n == 0; }
  std::uint8_t Byte() {
    if (m_n == 0) return 0;
    --m_n;
    return *m_p++;
  }
  std::vector<std::uint8_t> Bytes(std::size_t want) {
    const std::size_t n = std::min(want, m_n);
    std::vector<std::uint8_t> out(m_p, m_p + n);
    m_p += n;
    m_n -= n;
    return out;
  }

 private:
  const std::uint8_t* m_p;
  std::size_t m_n;
};

class CComparison {
 public:
  ParseResult Parse(const std::vector<std::uint8_t>& chunk, bool bDelivery) {
    BYTE code = 0;
    BYTE paramA = 0;
    ParseResult result;
    if (bDelivery) {
      // ParseFrame with no new delivery is a parse of the bytes already held.
      result = m_link.ParseFrame(0, code, paramA);
    } else {
      result = m_link.ParseBytes(chunk.data(), static_cast<DWORD>(chunk.size()), code, paramA);
    }
    BYTE expectedCode = 0;
    BYTE expectedParamA = 0;
    const ParseResult expected =
        m_reference.Parse(chunk.data(), chunk.size(), expectedCode, expectedParamA);
    if (result != expected) Fail("the parse result differs from the reference");
    if (result == ParseResult::Frame && (code != expectedCode || paramA != expectedParamA)) {
      Fail("the frame's code or parameter A differs from the reference");
    }
    CheckHeld();
    return result;
  }

  // Parses with no new bytes until no frame is left, as the engine does for one delivery.
  void Drain() {
    for (int i = 0; i < 600 && Parse({}, true) != ParseResult::NoFrame; ++i) {
    }
  }

  void Take(std::size_t nMax) {
    std::vector<BYTE> out(nMax);
    const DWORD n = m_link.TakeHeldBytes(out.data(), static_cast<DWORD>(nMax));
    if (n > nMax) Fail("TakeHeldBytes wrote more bytes than asked for");
    out.resize(n);
    if (out != m_reference.Take(nMax)) Fail("the bytes taken differ from the reference");
    CheckHeld();
  }

  void TakeIntoNothing(DWORD nMax) {
    if (m_link.TakeHeldBytes(nullptr, nMax) != 0) Fail("TakeHeldBytes took bytes into nothing");
    CheckHeld();
  }

  void HandNothing(DWORD nCount) {
    BYTE code = 0;
    BYTE paramA = 0;
    const ParseResult result = m_link.ParseBytes(nullptr, nCount, code, paramA);
    BYTE expectedCode = 0;
    BYTE expectedParamA = 0;
    if (result != m_reference.Parse(nullptr, 0, expectedCode, expectedParamA)) {
      Fail("a parse of no bytes differs from the reference");
    }
    if (result == ParseResult::Frame && (code != expectedCode || paramA != expectedParamA)) {
      Fail("the frame's code or parameter A differs from the reference");
    }
    CheckHeld();
  }

  void Finish() {
    Take(2 * (kHoldLimit + kAccumulator));
    if (m_link.HeldByteCount() != 0) Fail("bytes are still held after all were taken");
    if (m_link.IsConnected()) Fail("the link is connected");
  }

 private:
  void CheckHeld() const {
    const std::int32_t accumulated = CReceiverLinkProbe::Accumulated(m_link);
    if (accumulated < 0 || static_cast<std::size_t>(accumulated) > kAccumulator) {
      Fail("the accumulator holds more than its size");
    }
    if (CReceiverLinkProbe::Waiting(m_link) > kHoldLimit) {
      Fail("the hold queue holds more than two deliveries");
    }
    if (m_link.HeldByteCount() != m_reference.Held()) {
      Fail("the number of bytes held differs from the reference");
    }
  }

  CReceiverLink m_link;
  CReferenceScanner m_reference;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  CScript script(data, size);
  CComparison comparison;
  for (int step = 0; step < 4096 && !script.Empty(); ++step) {
    switch (script.Byte() % 8) {
      case 0:
      case 1:
      case 2:
        comparison.Parse(script.Bytes(script.Byte()), false);
        break;
      case 3: {
        // A long chunk: a short pattern repeated, up to past twice the hold queue.
        std::size_t length = script.Byte() * 40u;
        length += script.Byte();
        std::vector<std::uint8_t> pattern = script.Bytes(1 + script.Byte() % 16);
        if (pattern.empty()) pattern.push_back(kMarker);
        std::vector<std::uint8_t> chunk(length);
        for (std::size_t i = 0; i < length; ++i) chunk[i] = pattern[i % pattern.size()];
        comparison.Parse(chunk, false);
        break;
      }
      case 4:
        comparison.Parse({}, true);
        break;
      case 5:
        if (script.Byte() % 2 == 0) {
          comparison.HandNothing(script.Byte());
        } else {
          comparison.TakeIntoNothing(script.Byte());
        }
        break;
      case 6: {
        std::size_t nMax = script.Byte() * 20u;
        nMax += script.Byte() % 20;
        comparison.Take(nMax);
        break;
      }
      default:
        comparison.Drain();
        break;
    }
  }
  comparison.Finish();
  return 0;
}
