// The responder against a scripted PC on the slave side of a real pseudo-terminal: it must
// take a correct job through to the end and refuse one whose bytes on the line are wrong, or
// the benchmark could report figures for a transfer that did not happen.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "bench/bench_responder.h"
#include "platform/os/raw_line.h"
#include "transfer/protocol.h"

namespace {

enum class Fault { None, FlipByte, BadChecksum, BadNumber };

std::vector<BYTE> Image(std::size_t n) {
  std::vector<BYTE> image(n);
  for (std::size_t i = 0; i < n; ++i) image[i] = static_cast<BYTE>((i * 131 + i / 512) & 0xFF);
  return image;
}

void PutBigEndian(BYTE* p, std::uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<BYTE>(v >> (24 - 8 * i));
}

// The PC's side of a software job at speed index 5, with one fault put in on purpose. Ends
// when the line goes away.
void PlayPc(std::string slavePath, const std::vector<BYTE>& image, Fault fault, std::uint32_t nBadBlock) {
  CRawLine line;
  if (!line.Open(slavePath)) return;
  BYTE reply[8];
  BYTE frame[8 + 512];
  auto command = [&](BYTE code, BYTE paramB) {
    const BYTE header[8] = {1, 0, code, paramB, 0, 0, 0, 0};
    return line.WriteAll(header, sizeof header);
  };
  if (!line.WriteAll(REBOOT_TEXT, REBOOT_TEXT_SIZE)) return;
  if (!line.ReadExact(reply, 8) || !command(CMD_SET_BAUD, 5)) return;
  if (!line.ReadExact(reply, 8) || !command(CMD_SWITCH_BAUD, 0)) return;
  line.SetSpeed(115200);  // the PC's reopen at the proposed speed
  if (!line.ReadExact(reply, 8)) return;
  BYTE job[8 + quorin::JOB_BLOCK_SIZE] = {1, 0, CMD_START_SEND};
  PutBigEndian(job + 8 + JOBBLK_OFS_SIZE, static_cast<std::uint32_t>(image.size()));
  job[8 + JOBBLK_OFS_JOB_CODE] = JOB_SOFTWARE;
  if (!line.WriteAll(job, sizeof job)) return;
  for (std::uint32_t k = 0, nSent = 0; nSent < image.size(); ++k) {
    if (!line.ReadExact(reply, 8)) return;
    const std::uint32_t n = std::min<std::uint32_t>(512, static_cast<std::uint32_t>(image.size()) - nSent);
    std::memcpy(frame + 8, image.data() + nSent, n);
    // A consistent frame with the wrong content: only the comparison with the image sees it.
    if (k == nBadBlock && fault == Fault::FlipByte) frame[8 + n / 2] ^= 0x40;
    std::uint32_t sum = 0;
    for (std::uint32_t i = 0; i < n; ++i) sum += frame[8 + i];
    frame[0] = 1;
    frame[1] = static_cast<BYTE>((k & 0xFF) % 255);
    frame[2] = CMD_DATA;
    frame[3] = 0;
    if (k == nBadBlock) {
      if (fault == Fault::BadChecksum) ++sum;
      if (fault == Fault::BadNumber) ++frame[1];
    }
    PutBigEndian(frame + 4, sum);
    if (!line.WriteAll(frame, 8 + n)) return;
    nSent += n;
  }
  // Progress and completion, then back to the base speed.
  if (line.ReadExact(reply, 8) && line.ReadExact(reply, 8)) line.SetSpeed(9600);
  line.ReadExact(reply, 1);  // until the line goes away
}

struct JobCase {
  Fault fault;
  std::uint32_t nBadBlock;
  const char* pError;  // nullptr: the job must go through
};

class ResponderJob : public ::testing::TestWithParam<JobCase> {};

TEST_P(ResponderJob, AcceptsOnlyTheImageAsSent) {
  const JobCase& c = GetParam();
  CPseudoTerminal pty;
  ASSERT_TRUE(pty.Open());
  // 40 full blocks and a short one: the last block's length comes from the image size.
  const std::vector<BYTE> image = Image(40 * 512 + 220);
  std::thread pc(PlayPc, pty.SlavePath(), std::cref(image), c.fault, c.nBadBlock);
  CBenchResponder responder(pty, image, 5, 0);
  std::uint32_t nPauses = 0;
  responder.SetBetweenBlocks([&](std::uint32_t nDone, std::uint32_t nBlocks) {
    EXPECT_EQ(nDone, nPauses + 1);
    EXPECT_EQ(nBlocks, 41u);
    ++nPauses;
    return TRUE;
  });
  const BOOL bRan = responder.Run();
  pty.Close();
  pc.join();
  if (c.pError == nullptr) {
    ASSERT_TRUE(bRan) << responder.Error();
    EXPECT_EQ(responder.Figures().nBlocks, 41u);
    EXPECT_EQ(responder.Turnaround().Count(), 41u);
    EXPECT_EQ(nPauses, 40u) << "a pause between every two blocks, none after the last";
    EXPECT_GT(responder.Figures().dDataPhaseSeconds, 0.0);
  } else {
    EXPECT_FALSE(bRan);
    EXPECT_NE(responder.Error().find(c.pError), std::string::npos) << responder.Error();
  }
}

INSTANTIATE_TEST_SUITE_P(
    Faults, ResponderJob,
    ::testing::Values(JobCase{Fault::None, 0, nullptr},
                      JobCase{Fault::FlipByte, 7, "block 7 differs from the image"},
                      JobCase{Fault::FlipByte, 40, "block 40 differs from the image"},
                      JobCase{Fault::BadChecksum, 12, "block 12 fails its checksum"},
                      JobCase{Fault::BadNumber, 0, "block 0 carries a wrong number"}));

}  // namespace
