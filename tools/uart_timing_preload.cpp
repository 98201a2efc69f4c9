// libquorin-uart-timing.so: makes a pseudo-terminal keep a UART's time, for tests and the
// benchmark. Loaded with LD_PRELOAD into a program, it gives every terminal line the program
// opens (not its standard input, output or error) a transmitter at the line's current speed,
// ten bits a byte:
//   - tcdrain waits until the bytes written so far have left the wire;
//   - write waits while more than a UART driver's buffer (4 KiB) is still on the wire.
// A pseudo-terminal alone takes any write at once and drains at once; with this, a program
// that blocks on its line where a real one would shows it.
#include <asm/termbits.h>
#include <dlfcn.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <map>
#include <mutex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

constexpr std::size_t DRIVER_BUFFER = 4096;
constexpr int BITS_PER_BYTE = 10;

struct Transmitter {
  Clock::time_point idleAt{};  // when the last byte written leaves the wire
};

std::mutex g_mutex;
std::map<int, Transmitter> g_lines;

bool IsLine(int fd) {
  if (fd <= 2) return false;
  struct termios2 tio {};
  return ioctl(fd, TCGETS2, &tio) == 0;
}

Clock::duration ByteTime(int fd) {
  struct termios2 tio {};
  std::uint64_t baud = 9600;
  if (ioctl(fd, TCGETS2, &tio) == 0 && tio.c_ospeed > 0) baud = tio.c_ospeed;
  return std::chrono::nanoseconds(BITS_PER_BYTE * 1000000000ULL / baud);
}

template <typename F>
F Real(const char* name) {
  return reinterpret_cast<F>(dlsym(RTLD_NEXT, name));
}

}  // namespace

extern "C" ssize_t write(int fd, const void* data, std::size_t n) {
  static const auto realWrite = Real<ssize_t (*)(int, const void*, std::size_t)>("write");
  if (!IsLine(fd)) return realWrite(fd, data, n);
  const Clock::duration byteTime = ByteTime(fd);
  const auto* bytes = static_cast<const char*>(data);
  std::size_t done = 0;
  while (done < n) {
    // The driver takes what fits beside the bytes still on the wire; a UART's write waits for
    // the rest, whether the descriptor blocks or not.
    Clock::time_point idleAt;
    {
      std::lock_guard<std::mutex> lock(g_mutex);
      idleAt = g_lines[fd].idleAt;
    }
    const Clock::time_point now = Clock::now();
    const auto onWire = idleAt > now ? (idleAt - now) / byteTime : 0;
    const std::size_t room = DRIVER_BUFFER - std::min<std::size_t>(static_cast<std::size_t>(onWire), DRIVER_BUFFER);
    if (room == 0) {
      std::this_thread::sleep_until(idleAt - byteTime * static_cast<long>(DRIVER_BUFFER - 1));
      continue;
    }
    const ssize_t written = realWrite(fd, bytes + done, std::min(room, n - done));
    if (written <= 0) return done > 0 ? static_cast<ssize_t>(done) : written;
    {
      std::lock_guard<std::mutex> lock(g_mutex);
      Transmitter& line = g_lines[fd];
      line.idleAt = std::max(line.idleAt, Clock::now()) + byteTime * written;
    }
    done += static_cast<std::size_t>(written);
  }
  return static_cast<ssize_t>(done);
}

extern "C" int tcdrain(int fd) {
  static const auto realDrain = Real<int (*)(int)>("tcdrain");
  Clock::time_point idleAt{};
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    const auto it = g_lines.find(fd);
    if (it != g_lines.end()) idleAt = it->second.idleAt;
  }
  std::this_thread::sleep_until(idleAt);
  return realDrain(fd);
}

extern "C" int close(int fd) {
  static const auto realClose = Real<int (*)(int)>("close");
  {
    std::lock_guard<std::mutex> lock(g_mutex);
    g_lines.erase(fd);
  }
  return realClose(fd);
}
