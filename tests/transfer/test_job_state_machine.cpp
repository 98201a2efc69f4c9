// The job state machine, with the test as the receiver at the far end of a pseudo-terminal.
#include <algorithm>
#include <cstdio>
#include <ostream>
#include <filesystem>

#ifndef _WIN32
#include <signal.h>
#include <sys/resource.h>
#endif

#include "platform/os/serial_device.h"
#include "platform/os/settings.h"
#include "tests/support/dialog_fixture.h"

namespace {

// What an observer of the engine is told, in order, as one line per call.
class CRecordingObserver : public IJobObserver {
 public:
  void OnStatusText(const std::string& text) override { m_calls.push_back("status " + text); }
  void OnProgress(const JobProgress& p) override {
    m_calls.push_back(std::string(p.bJobArmed ? "armed " : "progress ") + std::to_string(p.nPos) +
                      " " + std::to_string(p.nDone) + "/" + std::to_string(p.nTotal));
  }
  void OnMessageBox(const std::string& text, BoxKind kind) override {
    m_calls.push_back("box " + text + (kind == BoxKind::Warning ? " (warning)" : ""));
  }
  void OnJobEnded(const JobResult& r) override {
    m_calls.push_back("end " + std::to_string(static_cast<int>(r.outcome)) + " " +
                      std::to_string(r.nReplyCode));
  }
  std::vector<std::string> m_calls;
};

std::string Ended(JobOutcome outcome, int code = 0) {
  return "end " + std::to_string(static_cast<int>(outcome)) + " " + std::to_string(code);
}

class JobStateMachine : public CDialogFixture {
 protected:
  // Arms a job the way the Send and Read buttons and the command line do.
  void Arm(int nJob, BOOL bSendMode, const std::string& path) {
    if (!bSendMode) {
      Engine().StartReadJob(path);
    } else if (nJob == JOB_SOFTWARE) {
      Engine().StartSoftwareJob(path);
    } else if (nJob == JOB_DATABASE) {
      Engine().StartDatabaseJob(path);
    } else {
      Engine().StartBootJob(path);
    }
    EXPECT_EQ(Expect(9), kRebootText);
  }
  std::int32_t Received() { return CTransferEngineProbe::Received(Engine()); }
  void WaitForBoxes(std::size_t n) { EXPECT_TRUE(PumpUntil([&] { return Boxes().size() >= n; })); }
  static ByteVec JobFields(const ByteVec& start) { return Slice(start, 8 + 32, 9); }
};

// What the simulator never sends: a read job's reply during a send job, and replies after the
// last block, which must send nothing.
TEST_F(JobStateMachine, SendJobIgnoresStrayRepliesAndReturnsToBaseSpeedWhenDone) {
  const ByteVec image = Pattern(512 + 100);
  Arm(JOB_SOFTWARE, TRUE, MakeFile("sw.bin", image));
  const ByteVec start = Handshake(5);
  EXPECT_EQ(start.size() == 52 ? start[2] : 0, CMD_START_SEND);
  EXPECT_EQ(JobFields(start), (ByteVec{0, 0, 0, 0, 0, 0, 0x02, 0x64, 0x60}));
  Reply(RSP_FIRST_BLOCK);
  EXPECT_EQ(Slice(Expect(520), 8, 512), Slice(image, 0, 512));
  Send(Frame(RSP_RAW_DATA) + Frame(RSP_NEXT_BLOCK));  // 0x26 means nothing to a send job
  EXPECT_EQ(Slice(Expect(108), 8, 100), Slice(image, 512, 100));
  Send(Frame(RSP_NEXT_BLOCK) + Frame(RSP_RESEND));
  EXPECT_TRUE(Settle().empty());
  Send(Frame(RSP_PROGRESS, 1) + Frame(RSP_DONE));
  WaitForBoxes(1);
  EXPECT_EQ(Boxes(), std::vector<std::string>{"Done"});
  EXPECT_EQ(Dlg().m_ctlProgress.GetPos(), 100);
  EXPECT_EQ(LineSpeed(), 9600u);
  EXPECT_EQ(Phase(), JobPhase::Idle);
}

TEST_F(JobStateMachine, SpeedSwitchThatCannotReopenThePortEndsTheJob) {
  SelectSpeed(3);
  Arm(JOB_SOFTWARE, TRUE, MakeFile("sw.bin", Pattern(70000)));
  ASSERT_TRUE(MapComPort("COM1", Path("no-such-device")));
  Reply(RSP_CONNECT);
  Expect(8);
  Reply(RSP_BAUD_OK);
  WaitForBoxes(1);
  EXPECT_EQ(BoxHeads(), std::vector<std::string>{"Port Open Error"});
  EXPECT_EQ(Statuses().back(), " Not Connected");
  EXPECT_FALSE(JobFileOpen());
}

struct ErrorCase {
  BYTE code;
  const char* text;
  int speed;
};
void PrintTo(const ErrorCase& c, std::ostream* os) { *os << c.text << " at speed index " << c.speed; }
class JobErrorReply : public JobStateMachine, public ::testing::WithParamInterface<ErrorCase> {};

TEST_P(JobErrorReply, EndsTheJobAndReturnsToBaseSpeedOnlyWhenAnotherIsSelected) {
  const auto [code, text, speed] = GetParam();
  SelectSpeed(speed);
  Arm(JOB_SOFTWARE, TRUE, MakeFile("sw.bin", Pattern(70000)));
  Handshake(static_cast<BYTE>(speed));
  Reply(RSP_FIRST_BLOCK);
  Expect(520);
  Reply(code);
  WaitForBoxes(1);
  EXPECT_EQ(Boxes(), std::vector<std::string>{text});
  EXPECT_FALSE(JobFileOpen());
  EXPECT_EQ(LineSpeed(), 9600u);
  // At 9600 no port was ever reopened, so no reader of an earlier opening has ended.
  if (speed == 0) {
    EXPECT_EQ(Link()->LastReaderExitCode(), -2);
  }
  Reply(RSP_NEXT_BLOCK);
  EXPECT_TRUE(Settle().empty());
  EXPECT_EQ(Statuses().back(), "Select File");
}

// Each reply once, at the base speed or at another, so both ways back are taken.
INSTANTIATE_TEST_SUITE_P(Replies, JobErrorReply,
                         ::testing::Values(ErrorCase{0x1A, "Check Sum Error 1", 0},
                                           ErrorCase{0x2A, "Check Sum Error 2", 3},
                                           ErrorCase{0x33, "Communication Error", 0},
                                           ErrorCase{0x60, "Communication Error", 3},
                                           ErrorCase{0x36, "Data Communication Error", 0},
                                           ErrorCase{0x51, "Invalid S/W", 3},
                                           ErrorCase{0x70, "Different Model", 0}),
                         [](const ::testing::TestParamInfo<ErrorCase>& param) {
                           char name[32];
                           std::snprintf(name, sizeof name, "reply_%02X_speed_%d", param.param.code,
                                         param.param.speed);
                           return std::string(name);
                         });

TEST_F(JobStateMachine, ReadJobCutsPiecesAtTheirBoundaryAndStopsAtTheDatabaseSize) {
  const std::string out = Path("upload.bin");
  const ByteVec db = Pattern(262144, 7);
  Arm(JOB_DATABASE, FALSE, out);
  const ByteVec start = Handshake(0);
  EXPECT_EQ(start.size() == 52 ? start[2] : 0, CMD_START_READ);
  EXPECT_EQ(JobFields(start), (ByteVec{0x00, 0x19, 0x00, 0x00, 0x00, 0x04, 0x00, 0x00, 0x50}));
  auto expectAck = [&] {
    const ByteVec ack = Expect(8);
    EXPECT_EQ(ack.size() == 8 ? ack[2] : 0, CMD_BLOCK_ACK);
  };

  Reply(RSP_RAW_DATA);
  Send(Slice(db, 0, 300));
  PumpUntil([&] { return Received() == 300; });
  EXPECT_TRUE(Settle().empty());
  Send(Slice(db, 300, 212));
  expectAck();
  // Reply and data in one delivery; the piece ends inside the next chunk, whose rest is a reply.
  Send(Frame(RSP_RAW_DATA) + Slice(db, 512, 500));
  PumpUntil([&] { return Received() == 1012; });
  EXPECT_TRUE(Settle().empty());
  Send(Slice(db, 1012, 12) + Frame(RSP_RAW_DATA));
  expectAck();
  EXPECT_EQ(Phase(), JobPhase::ReadingRaw);
  for (std::size_t at = 1024; at < db.size(); at += 512) {
    ByteVec piece = Slice(db, at, 512);
    if (at + 512 == db.size()) piece = piece + Pattern(100, 9);  // surplus never reaches the file
    Send(at == 1024 ? piece : Frame(RSP_RAW_DATA) + piece);
    expectAck();
    if (at + 512 == db.size() / 2) {
      EXPECT_EQ(Dlg().m_ctlProgress.GetPos(), 50);
    }
  }
  WaitForBoxes(1);
  EXPECT_EQ(Boxes(), std::vector<std::string>{"Done"});
  EXPECT_EQ(Progress().back(), 100);
  EXPECT_FALSE(JobFileOpen());
  EXPECT_EQ(Received(), 0);
  EXPECT_TRUE(ReadWholeFile(out) == db);
}

TEST_F(JobStateMachine, LostLinkClosesTheJobKeepingWhatWasReadAndAComPortChoiceReopens) {
  const std::string out = Path("partial.bin");
  const ByteVec db = Pattern(1024, 3);
  Arm(JOB_DATABASE, FALSE, out);
  Handshake(0);
  Send(Frame(RSP_RAW_DATA) + Slice(db, 0, 512) + Frame(RSP_RAW_DATA) + Slice(db, 512, 512));
  PumpUntil([&] { return Received() == 1024; });
  const std::string device = CSerialDevice::DevicePathFor("COM1");
  m_pty.Close();
  EXPECT_TRUE(PumpUntil([&] { return !Statuses().empty() && Statuses().back() == " Not Connected"; }));
  // The window says so, naming the device: the job is gone, not waiting.
  EXPECT_TRUE(PumpUntil([&] { return !Boxes().empty(); }));
  EXPECT_EQ(Boxes(), std::vector<std::string>{"The serial link to " + device +
                                              " was lost in the middle of the job."});
  EXPECT_FALSE(JobFileOpen());
  EXPECT_FALSE(std::filesystem::exists(out));
  EXPECT_TRUE(ReadWholeFile(CTransferEngine::PartialPath(out)) == db);

  ASSERT_TRUE(m_pty.Open());
  ASSERT_TRUE(MapComPort("COM1", m_pty.SlavePath()));
  CHeadlessBackend::SelectComboEntry(Dlg().m_hWnd, IDC_COMPORT, 0);
  EXPECT_TRUE(WaitUntilIdle());
  EXPECT_EQ(Statuses().back(), " Ready");
  EXPECT_TRUE(Engine().IsLinkOpen());

  // Without a job, a lost line only shows in the status line.
  m_pty.Close();
  EXPECT_TRUE(PumpUntil([&] { return Statuses().back() == " Not Connected"; }));
  Ui().Pump(100);
  EXPECT_EQ(Boxes().size(), 1u);
}

// A file that fails under a running job ends it as an error reply does, never with "Done":
// the working file of a read may grow by 700 bytes only, and a software image shrinks.
TEST_F(JobStateMachine, AFileThatFailsUnderAJobEndsIt) {
#ifdef _WIN32
  GTEST_SKIP() << "needs a limit on the size of the files a process writes";
#else
  const std::string out = Path("upload.bin");
  {
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    struct sigaction before {};
    ASSERT_EQ(sigaction(SIGXFSZ, &ignore, &before), 0);
    struct rlimit limit {};
    ASSERT_EQ(getrlimit(RLIMIT_FSIZE, &limit), 0);
    const rlim_t soft = limit.rlim_cur;
    limit.rlim_cur = 700;
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &limit), 0);
    Arm(JOB_DATABASE, FALSE, out);
    Handshake(0);
    Send(Frame(RSP_RAW_DATA) + Pattern(512) + Frame(RSP_RAW_DATA) + Pattern(512, 2));
    WaitForBoxes(1);
    limit.rlim_cur = soft;
    setrlimit(RLIMIT_FSIZE, &limit);
    sigaction(SIGXFSZ, &before, nullptr);
  }
  EXPECT_EQ(Boxes(), std::vector<std::string>{"File Write Error"});
  EXPECT_EQ(Expect(8).size(), 8u) << "the first piece is acknowledged";
  EXPECT_TRUE(Settle().empty()) << "the second is not";
  EXPECT_FALSE(std::filesystem::exists(out));
  EXPECT_TRUE(Slice(ReadWholeFile(CTransferEngine::PartialPath(out)), 0, 512) == Pattern(512));
  EXPECT_FALSE(JobFileOpen());
  EXPECT_EQ(LineSpeed(), 9600u);
#endif
}

// An empty image is refused before the reboot text goes out, a short database is padded as
// designed; a software image that shrinks under a running job ends it instead of being padded.
TEST_F(JobStateMachine, EmptyImagesAndAShrunkSoftwareImageAreRefused) {
  for (int nJob : {JOB_SOFTWARE, JOB_DATABASE, JOB_BOOT}) {
    const std::string path = MakeFile("empty.bin", {});
    if (nJob == JOB_SOFTWARE) Engine().StartSoftwareJob(path);
    if (nJob == JOB_DATABASE) Engine().StartDatabaseJob(path);
    if (nJob == JOB_BOOT) Engine().StartBootJob(path);
    EXPECT_FALSE(JobFileOpen());
  }
  EXPECT_EQ(Boxes(), std::vector<std::string>(3, "Invalid File"));
  EXPECT_TRUE(Settle().empty());
  Arm(JOB_DATABASE, TRUE, MakeFile("short_db.bin", Pattern(100)));
  EXPECT_EQ(Engine().JobSize(), DATABASE_SIZE);

  const std::string path = MakeFile("shrinks.bin", Pattern(2 * 512));
  Arm(JOB_SOFTWARE, TRUE, path);
  Handshake(5);
  Reply(RSP_FIRST_BLOCK);
  EXPECT_EQ(Expect(520).size(), 520u);
  std::filesystem::resize_file(path, 600);
  Reply(RSP_NEXT_BLOCK);
  WaitForBoxes(4);
  EXPECT_EQ(Boxes().back(), "File Read Error");
  EXPECT_TRUE(Settle().empty());
}

// Whoever watches the engine learns the job's end as a value: a refusal with its reply code,
// while a 0x41 the job survives ends nothing.
TEST_F(JobStateMachine, ObserversSeeTheOutcomeAsAValue) {
  CRecordingObserver observer;
  Engine().AddObserver(&observer);
  Arm(JOB_SOFTWARE, TRUE, MakeFile("sw.bin", Pattern(1024)));
  Handshake(5);
  Reply(RSP_FIRST_BLOCK);
  Expect(520);
  Reply(RSP_COMM_ERROR);
  WaitForBoxes(1);
  Reply(RSP_DIFFERENT_MODEL);
  WaitForBoxes(2);
  Engine().RemoveObserver(&observer);
  EXPECT_EQ(observer.m_calls,
            (std::vector<std::string>{"armed 0 0/1024", "status Communicating with IRD",
                                      "status Transferring Data",
                                      "progress 0 0/1024", "box Communication Error (warning)",
                                      "box Different Model", Ended(JobOutcome::Refused, 0x70)}));
}

// A job armed after another has ended starts with its bar back at 0, whether the last job got
// to its end or stopped half way; the bar does not move again before the first block or piece.
TEST_F(JobStateMachine, ANewJobPutsTheBarBackAtZero) {
  CRecordingObserver observer;
  Engine().AddObserver(&observer);
  Arm(JOB_DATABASE, TRUE, MakeFile("db.bin", Pattern(DATABASE_SIZE)));
  Handshake(5);
  for (std::uint32_t at = 0; at < DATABASE_SIZE; at += 512) {
    Reply(at == 0 ? RSP_FIRST_BLOCK : RSP_NEXT_BLOCK);
    ASSERT_EQ(Expect(520).size(), 520u);
  }
  Send(Frame(RSP_PROGRESS, 1) + Frame(RSP_DONE));
  WaitForBoxes(1);
  ASSERT_GT(Dlg().m_ctlProgress.GetPos(), 90);

  observer.m_calls.clear();
  Arm(JOB_DATABASE, FALSE, Path("backup.bin"));
  EXPECT_EQ(Dlg().m_ctlProgress.GetPos(), 0);
  EXPECT_EQ(observer.m_calls.front(), "armed 0 0/" + std::to_string(DATABASE_SIZE));
  EXPECT_EQ(std::count_if(observer.m_calls.begin(), observer.m_calls.end(),
                          [](const std::string& call) { return call.rfind("progress", 0) == 0; }),
            0);

  // Half way through the read, a software job is armed in its place.
  Handshake(0);
  for (int piece = 0; piece < 40; ++piece) {
    Send(Frame(RSP_RAW_DATA) + Pattern(512, piece));
    ASSERT_EQ(Expect(8).size(), 8u);
  }
  ASSERT_GT(Dlg().m_ctlProgress.GetPos(), 0);
  Arm(JOB_SOFTWARE, TRUE, MakeFile("sw.bin", Pattern(70000)));
  EXPECT_EQ(Dlg().m_ctlProgress.GetPos(), 0);
  Engine().RemoveObserver(&observer);
}

// The second after a boot image is a timer step: the window goes on taking messages, the
// receiver's replies that come meanwhile wait (unread, the reader held), the Send button does
// nothing, and the replies are acted on in order once the pause is over.
TEST_F(JobStateMachine, BootPauseHoldsTheRepliesButNotTheWindow) {
  const ByteVec image = Pattern(65536, 2);
  Arm(JOB_BOOT, TRUE, MakeFile("boot.bin", image));
  Handshake(5);
  for (std::size_t at = 0; at < image.size(); at += 512) {
    Reply(at == 0 ? RSP_FIRST_BLOCK : RSP_NEXT_BLOCK);
    ASSERT_EQ(Expect(520).size(), 520u);
  }
  ASSERT_TRUE(Engine().IsBusy());
  Send(Frame(RSP_PROGRESS, 1) + Frame(RSP_DONE));
  int ticks = 0;
  CProbeWnd probe([&] { ++ticks; });
  SetTimer(probe.m_hWnd, 1, 20);
  const std::size_t nDialogs = Ui().FileDialogRequests().size();
  Click(IDC_SEND);
  Ui().Pump(500);
  EXPECT_GE(ticks, 10) << "the window thread waited";
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(Ui().FileDialogRequests().size(), nDialogs) << "Send did something during the pause";
  EXPECT_GT(Link()->DeliveryCount(), 0u) << "the replies were taken before the pause ended";
  WaitForBoxes(2);
  EXPECT_EQ(Boxes(), (std::vector<std::string>{"Boot Changed", "Done"}));
  EXPECT_EQ(Progress().back(), 95) << "the progress reply came after the pause";
  EXPECT_EQ(Phase(), JobPhase::Idle);
}

}  // namespace
