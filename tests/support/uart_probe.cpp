// quorin-uart-probe LINE BAUD BYTES: opens the line, sets the speed, writes the bytes in one
// call and drains; prints how long the write and the drain took, in milliseconds. The tests of
// the UART timing preload run it with and without it.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

int main(int argc, char** argv) {
  if (argc != 4) return 2;
  const int fd = open(argv[1], O_RDWR | O_NOCTTY);
  if (fd < 0) return 1;
  struct termios tio {};
  tcgetattr(fd, &tio);
  cfmakeraw(&tio);
  const speed_t speed = std::atoi(argv[2]) == 115200 ? B115200 : B9600;
  cfsetispeed(&tio, speed);
  cfsetospeed(&tio, speed);
  tcsetattr(fd, TCSANOW, &tio);
  const std::vector<char> bytes(static_cast<std::size_t>(std::atoi(argv[3])), 'x');
  using Clock = std::chrono::steady_clock;
  const auto t0 = Clock::now();
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) return 1;
    done += static_cast<std::size_t>(n);
  }
  const auto t1 = Clock::now();
  tcdrain(fd);
  const auto t2 = Clock::now();
  auto ms = [](Clock::duration d) {
    return static_cast<long long>(std::chrono::duration_cast<std::chrono::milliseconds>(d).count());
  };
  std::printf("write %lld drain %lld\n", ms(t1 - t0), ms(t2 - t1));
  close(fd);
  return 0;
}
