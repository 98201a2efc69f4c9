// quorin-receiver-sim: a receiver's loader on a pseudo-terminal (or a real line), for tests and
// demonstrations. The first line of output is the device path the PC is to open; the last is
// the verdict. Exit status 0: the exchange kept to the protocol; 1: it did not; 2: bad usage or
// no line.
#include <cstdio>
#include <string>

#include "tools/sim_line.h"
#include "tools/sim_options.h"
#include "tools/sim_receiver.h"
#include "transfer/protocol.h"

int main(int argc, char** argv) {
  CSimOptions options;
  std::string error;
  if (!options.Parse(argc, argv, error)) {
    std::fprintf(stderr, "quorin-receiver-sim: %s\n%s", error.c_str(), CSimOptions::Usage());
    return 2;
  }
  if (options.m_bHelp) {
    std::fputs(CSimOptions::Usage(), stdout);
    return 0;
  }

  CSimLine line;
  if (options.m_device.empty()) {
    if (!line.OpenPty()) {
      std::fprintf(stderr, "quorin-receiver-sim: cannot create a pseudo-terminal\n");
      return 2;
    }
  } else if (!line.OpenDevice(options.m_device, SPEED_TABLE[options.m_nStartSpeed], error)) {
    std::fprintf(stderr, "quorin-receiver-sim: %s\n", error.c_str());
    return 2;
  }
  line.SetLineRate(options.m_bLineRate);
  line.SetReplyLatency(options.m_nReplyLatencyMs);
  std::printf("%s\n", line.Path().c_str());
  std::fflush(stdout);

  CSimReceiver receiver(line, options);
  const bool ok = receiver.Run();
  std::printf("%s\n", receiver.Verdict().c_str());
  if (options.m_bTiming && ok && !receiver.Timing().empty()) {
    std::printf("%s\n", receiver.Timing().c_str());
  }
  std::fflush(stdout);
  line.Close();
  return ok ? 0 : 1;
}
