#include "tools/sim_options.h"

#include <cerrno>
#include <cstdlib>
#include <string_view>

#include "transfer/protocol.h"

namespace {

bool ParseNumber(const std::string& text, long lo, long hi, long& value) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  const long v = std::strtol(text.c_str(), &end, 0);
  if (errno != 0 || end == nullptr || *end != '\0' || v < lo || v > hi) return false;
  value = v;
  return true;
}

// Error replies the simulator may send on request: those that end a job, and 0x41, which
// does not.
bool IsErrorReply(long code) {
  switch (code) {
    case RSP_CHECKSUM_ERROR_1:
    case RSP_CHECKSUM_ERROR_2:
    case RSP_LINK_ERROR_1:
    case RSP_DATA_COMM_ERROR:
    case RSP_COMM_ERROR:
    case RSP_INVALID_SW:
    case RSP_LINK_ERROR_2:
    case RSP_DIFFERENT_MODEL:
      return true;
    default:
      return false;
  }
}

}  // namespace

const char* CSimOptions::Usage() {
  return "usage: quorin-receiver-sim [options]\n"
         "Plays a receiver's loader on a new pseudo-terminal (its path is the first line of\n"
         "output) or on --device PATH. Exits 0 only when the PC side kept to the protocol.\n"
         "  --job software|database|boot|read  job to expect (default: as the start command says)\n"
         "  --device PATH           use a serial device instead of a pseudo-terminal\n"
         "  --expect-speed N        speed index the PC must propose (0-6)\n"
         "  --start-speed N         speed index the reboot text must come at (default 0)\n"
         "  --out FILE              store the image a send job delivered\n"
         "  --db FILE               database a read job serves (default: a generated pattern)\n"
         "  --resend-at K[,K..]     ask once for block K again\n"
         "  --error-at K:CODE       answer block K (read job: piece K) with an error reply\n"
         "  --comm-error-at K       the same with 0x41, after which the job goes on\n"
         "  --refuse CODE           answer the start command with CODE (e.g. 0x70, 0x51)\n"
         "  --progress N            progress replies after the last block (default 3)\n"
         "  --noise                 power-on chatter in the same write as the hello\n"
         "  --hello-delay MS        pause between the reboot text and the hello\n"
         "  --join-progress-done    last progress reply and the done reply in one write\n"
         "  --join-raw              a read job's 0x26 reply and its data in one write\n"
         "  --quiet-ms MS           how long the PC must stay silent where it must (default 300)\n"
         "  --switch-delay MS       device only: pause after the speed change (default 300)\n"
         "  --timeout S             give up after S seconds (default 60)\n"
         "  --line-rate             pseudo-terminal: bytes take their time on the wire (10 bits\n"
         "                          a byte at the speed the PC set)\n"
         "  --flash-ms N            pause N ms per 64 KiB received, as flash is written\n"
         "  --reply-latency-ms N    hold every write N ms first, as an adapter's latency timer\n"
         "  --timing                after the verdict of a send job, a line \"timing: BLOCKS\n"
         "                          SECONDS BAUD\": from the first data block's start to the\n"
         "                          moment a reply to the last block would have arrived\n"
         "  --verbose               trace every exchange on standard error\n";
}

const char* CSimOptions::JobName(SimJob job) {
  switch (job) {
    case SimJob::Software: return "software";
    case SimJob::Database: return "database";
    case SimJob::Boot: return "boot";
    case SimJob::Read: return "read";
    default: return "auto";
  }
}

bool CSimOptions::Parse(int argc, const char* const* argv, std::string& error) {
  for (int i = 1; i < argc; ++i) {
    const std::string_view arg = argv[i];
    auto value = [&](std::string& out) {
      if (i + 1 >= argc) {
        error = std::string(arg) + " needs a value";
        return false;
      }
      out = argv[++i];
      return true;
    };
    auto number = [&](long lo, long hi, long& out) {
      std::string text;
      if (!value(text)) return false;
      if (!ParseNumber(text, lo, hi, out)) {
        error = std::string(arg) + ": bad value \"" + text + "\"";
        return false;
      }
      return true;
    };
    long n = 0;
    std::string text;

    if (arg == "--help" || arg == "-h") {
      m_bHelp = true;
    } else if (arg == "--job") {
      if (!value(text)) return false;
      if (text == "software") m_job = SimJob::Software;
      else if (text == "database") m_job = SimJob::Database;
      else if (text == "boot") m_job = SimJob::Boot;
      else if (text == "read") m_job = SimJob::Read;
      else if (text == "auto") m_job = SimJob::Auto;
      else {
        error = "--job: unknown job \"" + text + "\"";
        return false;
      }
    } else if (arg == "--device") {
      if (!value(m_device)) return false;
    } else if (arg == "--out") {
      if (!value(m_outPath)) return false;
    } else if (arg == "--db") {
      if (!value(m_dbPath)) return false;
    } else if (arg == "--expect-speed") {
      if (!number(0, SPEED_COUNT - 1, n)) return false;
      m_nExpectSpeed = static_cast<int>(n);
    } else if (arg == "--start-speed") {
      if (!number(0, SPEED_COUNT - 1, n)) return false;
      m_nStartSpeed = static_cast<int>(n);
    } else if (arg == "--resend-at") {
      if (!value(text)) return false;
      std::size_t start = 0;
      while (start <= text.size()) {
        const std::size_t comma = text.find(',', start);
        const std::string item = text.substr(start, comma - start);
        if (!ParseNumber(item, 0, 0x7FFFFFFF, n)) {
          error = "--resend-at: bad block \"" + item + "\"";
          return false;
        }
        m_resendAt.insert(n);
        if (comma == std::string::npos) break;
        start = comma + 1;
      }
    } else if (arg == "--error-at" || arg == "--comm-error-at") {
      if (!value(text)) return false;
      long code = RSP_COMM_ERROR;
      std::string block = text;
      if (arg == "--error-at") {
        const std::size_t colon = text.find(':');
        if (colon == std::string::npos || !ParseNumber(text.substr(colon + 1), 0, 255, code) ||
            !IsErrorReply(code)) {
          error = "--error-at: expected BLOCK:CODE with an error reply code, got \"" + text + "\"";
          return false;
        }
        block = text.substr(0, colon);
      }
      if (!ParseNumber(block, 0, 0x7FFFFFFF, n)) {
        error = std::string(arg) + ": bad block \"" + block + "\"";
        return false;
      }
      m_errorAt[n] = static_cast<std::uint8_t>(code);
    } else if (arg == "--refuse") {
      if (!number(0, 255, n)) return false;
      if (!IsErrorReply(n) || n == RSP_COMM_ERROR) {
        error = "--refuse: not a reply that ends a job";
        return false;
      }
      m_nRefuseCode = static_cast<std::uint8_t>(n);
    } else if (arg == "--progress") {
      if (!number(0, 255, n)) return false;
      m_nProgress = static_cast<int>(n);
    } else if (arg == "--noise") {
      m_bNoise = true;
    } else if (arg == "--hello-delay") {
      if (!number(0, 600000, n)) return false;
      m_nHelloDelayMs = static_cast<int>(n);
    } else if (arg == "--join-progress-done") {
      m_bJoinProgressDone = true;
    } else if (arg == "--join-raw") {
      m_bJoinRaw = true;
    } else if (arg == "--quiet-ms") {
      if (!number(0, 600000, n)) return false;
      m_nQuietMs = static_cast<int>(n);
    } else if (arg == "--switch-delay") {
      if (!number(0, 600000, n)) return false;
      m_nSwitchDelayMs = static_cast<int>(n);
    } else if (arg == "--timeout") {
      if (!number(1, 86400, n)) return false;
      m_nTimeoutS = static_cast<int>(n);
    } else if (arg == "--verbose" || arg == "-v") {
      m_bVerbose = true;
    } else if (arg == "--timing") {
      m_bTiming = true;
    } else if (arg == "--line-rate") {
      m_bLineRate = true;
    } else if (arg == "--flash-ms") {
      if (!number(0, 600000, n)) return false;
      m_nFlashMs = static_cast<int>(n);
    } else if (arg == "--reply-latency-ms") {
      if (!number(0, 60000, n)) return false;
      m_nReplyLatencyMs = static_cast<int>(n);
    } else {
      error = "unknown option \"" + std::string(arg) + "\"";
      return false;
    }
  }
  return true;
}
