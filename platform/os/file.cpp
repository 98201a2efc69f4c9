// What every system's file object gives in the same way (posix/file.cpp, win32/file.cpp).
#include "platform/os/file.h"

namespace platform {

BOOL ReadFileHead(const std::string& path, std::uint64_t& length, BYTE* head, std::size_t n,
                  std::size_t& headCount, std::string* why) {
  length = 0;
  headCount = 0;
  CFile file;
  const auto fail = [&] {
    if (why != nullptr) *why = file.LastErrorText();
    return FALSE;
  };
  if (!file.Open(path, CFile::modeRead)) return fail();
  const long long size = file.GetLength();
  if (size < 0) return fail();
  const long long got = n > 0 ? file.Read(head, n) : 0;
  if (got < 0) return fail();
  length = static_cast<std::uint64_t>(size);
  headCount = static_cast<std::size_t>(got);
  return TRUE;
}

}  // namespace platform
