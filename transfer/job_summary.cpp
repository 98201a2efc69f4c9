#include "transfer/job_summary.h"

#include "platform/os/file.h"
#include "transfer/protocol.h"

namespace {

constexpr std::uint64_t MIN_IMAGE_SIZE = 0x10000;
constexpr std::uint64_t DATABASE_RANGE_LOW = 0x30000;   // exclusive
constexpr std::uint64_t DATABASE_RANGE_HIGH = 0x60000;  // exclusive
constexpr std::uint64_t DATABASE_GRANULE = 1024;
constexpr std::uint64_t SOFTWARE_SIZE_LIMIT = 0x400000;  // exclusive
constexpr BYTE HANDOFF_MARK_0 = 0xB1;
constexpr BYTE HANDOFF_MARK_1 = 0xE8;

std::string KindName(int nJob) {
  switch (nJob) {
    case JOB_SOFTWARE:
      return "Software image";
    case JOB_DATABASE:
      return "Database";
    case JOB_BOOT:
      return "Boot image";
    case JOB_CHANNEL_LIST:
      return "Channel list";
    default:
      return "Unknown job";
  }
}

std::string LowerFirst(std::string text) {
  if (!text.empty() && text[0] >= 'A' && text[0] <= 'Z') text[0] = static_cast<char>(text[0] - 'A' + 'a');
  return text;
}

}  // namespace

std::string GroupThousands(std::uint64_t n) {
  const std::string digits = std::to_string(n);
  std::string out;
  const std::size_t len = digits.size();
  for (std::size_t i = 0; i < len; ++i) {
    if (i > 0 && (len - i) % 3 == 0) out += ',';
    out += digits[i];
  }
  return out;
}

int ClassifyByContent(const std::string& path, std::uint64_t nLength, const BYTE* head,
                      std::size_t nHead) {
  if (nHead >= 2 && head[0] == HANDOFF_MARK_0 && head[1] == HANDOFF_MARK_1) return JOB_CHANNEL_LIST;
  if (path.find(".sdx") != std::string::npos) return JOB_CHANNEL_LIST;
  if (nLength < MIN_IMAGE_SIZE) return JOB_INVALID;
  if (nLength > DATABASE_RANGE_LOW && nLength < DATABASE_RANGE_HIGH) {
    return nLength % DATABASE_GRANULE == 0 ? JOB_DATABASE : JOB_INVALID;
  }
  if (nLength < SOFTWARE_SIZE_LIMIT) return JOB_SOFTWARE;
  return JOB_INVALID;
}

std::string JobSummaryText(const JobSummary& summary) {
  if (!summary.bSend) {
    return "Database from the receiver into " + FileNameOf(summary.sPath) + ", " +
           GroupThousands(summary.nAnnounced) + " bytes, at " + std::to_string(summary.nBaud) +
           " baud";
  }
  std::string text = KindName(summary.nJob) + ", " + GroupThousands(summary.nFileSize) + " bytes";
  // A database always announces its fixed size, a boot image of an odd length a fallback one.
  if (summary.nAnnounced != summary.nFileSize) {
    text += " (announced as " + GroupThousands(summary.nAnnounced) + ")";
  }
  return text + ", data at " + std::to_string(summary.nBaud) + " baud";
}

std::string JobKindWarning(const JobSummary& summary) {
  if (!summary.bSend || summary.nJob == JOB_BOOT || summary.nClassifiedJob == summary.nJob) {
    return std::string();
  }
  const std::string file =
      FileNameOf(summary.sPath) + " (" + GroupThousands(summary.nFileSize) + " bytes)";
  const std::string asked =
      "it is sent as a " + LowerFirst(KindName(summary.nJob)) + ", as the command line asks";
  if (summary.nClassifiedJob == JOB_INVALID) {
    return "the Send button would refuse " + file +
           " as \"Invalid File\" (it takes 64 KiB to under 4 MiB as a software image, whole KiB "
           "above 192 KiB and below 384 KiB as a database); " + asked + ".";
  }
  return "the Send button would take " + file + " for a " +
         LowerFirst(KindName(summary.nClassifiedJob)) + "; " + asked + ".";
}
