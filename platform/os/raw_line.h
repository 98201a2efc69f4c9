// The plainest use of a terminal line: opened by path, raw eight-bit mode, blocking reads and
// writes and nothing else. It is what a peer with no work of its own does on a line, so the
// time it takes is the line's own cost and no program's.
#pragma once

#include <cstddef>
#include <string>

#include "platform/win_types.h"

namespace platform {

class CRawLine {
 public:
  CRawLine() = default;
  ~CRawLine();
  CRawLine(const CRawLine&) = delete;
  CRawLine& operator=(const CRawLine&) = delete;

  BOOL Open(const std::string& path);
  BOOL IsOpen() const { return m_fd >= 0 ? TRUE : FALSE; }
  void Close();
  // Blocks until n bytes were read; FALSE when the line ends or fails first.
  BOOL ReadExact(void* buffer, std::size_t n);
  // Blocks until the driver has taken all n bytes.
  BOOL WriteAll(const void* data, std::size_t n);
  // Sets the line's speed in bits per second (any speed the driver takes).
  BOOL SetSpeed(unsigned baud);

 private:
  int m_fd = -1;
};

}  // namespace platform
