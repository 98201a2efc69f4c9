// The Read button: the output file's choice and the arming of the read job; what becomes of the
// target and of the data received when the job ends.
#include <filesystem>
#include <functional>
#include <optional>

#include "tests/support/dialog_fixture.h"
#include "tests/support/sim_runner.h"

namespace fs = std::filesystem;

namespace {

// The ends of jobs, as whoever watches the engine learns them.
class CEndRecorder : public IJobObserver {
 public:
  void OnStatusText(const std::string&) override {}
  void OnProgress(const JobProgress&) override {}
  void OnMessageBox(const std::string&, BoxKind) override {}
  void OnJobEnded(const JobResult& result) override { m_ends.push_back(result); }
  std::vector<JobResult> m_ends;
};

class ReadJob : public CDialogFixture {
 protected:
  void ChooseForRead(const std::optional<std::string>& path) {
    Ui().QueueFileDialogAnswer(path);
    Click(IDC_READ);
  }
};

TEST_F(ReadJob, SimulatedReceiverDatabaseReplacesTheFileNamedWithoutExtension) {
  const ByteVec db = Pattern(262144, 13);
  CSimRunner sim;
  ASSERT_TRUE(sim.Start({"--job", "read", "--db", MakeFile("served.db", db), "--join-raw"}));
  ConnectTo(sim.SlavePath());
  const ByteVec old = Pattern(300000, 2);  // longer than a database: none of it may stay
  MakeFile("backup.bin", old);
  ChooseForRead(Path("backup"));
  EXPECT_TRUE(ReadWholeFile(Path("backup.bin")) == old) << "armed, and the backup is gone";
  const FileDialogRequest request = Ui().FileDialogRequests().back();
  // No software image was sent yet: no folder is remembered, and the name proposed is the one
  // the command-line help gives the database.
  EXPECT_TRUE(request.save && request.overwritePrompt && request.initialFolder.empty());
  EXPECT_EQ(request.fileName, "upload_db.bin");
  EXPECT_EQ(request.filter, "Upload File (*.bin)|*.bin|All File (*.*)|*.*||");
  EXPECT_EQ(Dlg().m_ctlFileName.GetWindowText(), "backup.bin");
  EXPECT_EQ(Statuses().back(), "Turn on the STB");
  EXPECT_TRUE(PumpUntil([&] { return !Boxes().empty(); }, 60000));
  EXPECT_EQ(Boxes(), std::vector<std::string>{"Done"});
  ASSERT_TRUE(sim.Wait(10000));
  EXPECT_EQ(sim.ExitStatus(), 0) << sim.Output();
  EXPECT_FALSE(fs::exists(Path("backup")));
  EXPECT_TRUE(ReadWholeFile(Path("backup.bin")) == db);
  EXPECT_FALSE(fs::exists(Path("backup.bin.part")));
}

// However a read ends before the database is whole, the target stays as it was, and what
// came is in the working file beside it, whose place the end reports.
TEST_F(ReadJob, AnUnfinishedReadLeavesTheTargetAndKeepsWhatCame) {
  const std::string target = Path("db.bin");
  const std::string part = Path("db.bin.part");
  const ByteVec backup = Pattern(262144, 21);
  const ByteVec received = Pattern(1024, 22);
  const struct {
    const char* name;
    bool bData;  // two pieces came before the end
    std::function<void()> end;
    JobOutcome outcome;
  } cases[] = {
      {"error reply", true, [&] { Reply(RSP_DATA_COMM_ERROR); }, JobOutcome::Refused},
      {"another job armed before any data", false,
       [&] { Engine().StartSoftwareJob(MakeFile("sw.bin", Pattern(70000))); }, JobOutcome::Interrupted},
      // What the window's close and the terminal's Ctrl+C do.
      {"abandoned", true, [&] { Engine().AbandonJob(); }, JobOutcome::Interrupted},
      {"the link lost", true, [&] { m_pty.Close(); }, JobOutcome::LinkLost},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    Engine().AbandonJob();  // the last case's software job
    Settle();
    WriteWholeFile(target, backup);
    CEndRecorder ends;
    Engine().AddObserver(&ends);
    Engine().StartReadJob(target);
    EXPECT_EQ(Expect(9), kRebootText);
    Handshake(0);
    if (c.bData) {
      Send(Frame(RSP_RAW_DATA) + Slice(received, 0, 512) + Frame(RSP_RAW_DATA) +
           Slice(received, 512, 512));
      EXPECT_EQ(Expect(16).size(), 16u);  // both pieces acknowledged
    }
    c.end();
    EXPECT_TRUE(PumpUntil([&] { return !ends.m_ends.empty() && !Engine().IsBusy(); }));
    Engine().RemoveObserver(&ends);
    EXPECT_TRUE(ReadWholeFile(target) == backup);
    ASSERT_EQ(ends.m_ends.size(), 1u);
    EXPECT_EQ(ends.m_ends[0].outcome, c.outcome);
    EXPECT_EQ(ends.m_ends[0].sPartialPath, c.bData ? part : "");
    // A working file that got nothing is not kept.
    EXPECT_TRUE(c.bData ? ReadWholeFile(part) == received : !fs::exists(part));
  }
}

// The whole database takes the target's place in one step; where it cannot (a folder took the
// backup's name meanwhile) the job fails and the data stay in the working file.
TEST_F(ReadJob, AWholeDatabaseThatCannotTakeTheTargetsPlaceStaysInTheWorkingFile) {
  const ByteVec db = Pattern(262144, 23);
  CSimRunner sim;
  ASSERT_TRUE(sim.Start({"--job", "read", "--db", MakeFile("served.db", db), "--join-raw"}));
  ConnectTo(sim.SlavePath());
  const std::string target = MakeFile("db.bin", Pattern(100));
  CEndRecorder ends;
  Engine().AddObserver(&ends);
  Engine().StartReadJob(target);
  fs::remove(target);
  fs::create_directory(target);
  EXPECT_TRUE(PumpUntil([&] { return !ends.m_ends.empty() && !Engine().IsBusy(); }, 60000));
  Engine().RemoveObserver(&ends);
  EXPECT_EQ(Boxes(), std::vector<std::string>{"File Write Error"});
  ASSERT_EQ(ends.m_ends.size(), 1u);
  EXPECT_EQ(ends.m_ends[0].sPartialPath, Path("db.bin.part"));
  EXPECT_TRUE(ReadWholeFile(Path("db.bin.part")) == db);
}

// A cancelled choice still closes a running send job; a file that cannot be made arms nothing.
TEST_F(ReadJob, CancellingOrAFileThatCannotBeMadeLeavesNoJob) {
  Engine().StartSoftwareJob(MakeFile("sw.bin", Pattern(70000)));
  ASSERT_TRUE(JobFileOpen());
  ChooseForRead(std::nullopt);
  EXPECT_FALSE(JobFileOpen());
  Expect(9);
  Reply(RSP_FIRST_BLOCK);
  EXPECT_TRUE(Settle().empty());

  const std::string target = Path("no" + std::string(1, PATH_SEPARATOR) + "db.bin");
  ChooseForRead(target);
  ASSERT_EQ(BoxHeads(), std::vector<std::string>{"File Open Error"});
  EXPECT_EQ(Boxes()[0].rfind("File Open Error\n" + target + ".part: ", 0), 0u) << Boxes()[0];
  EXPECT_EQ(Statuses().back(), "db.bin");
  EXPECT_FALSE(JobFileOpen());
  EXPECT_TRUE(Settle().empty());
}

}  // namespace
