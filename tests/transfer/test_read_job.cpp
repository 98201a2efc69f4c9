// The Read button: the output file's choice and the arming of the read job.
#include <filesystem>
#include <optional>

#include "tests/support/dialog_fixture.h"
#include "tests/support/sim_runner.h"

namespace fs = std::filesystem;

namespace {

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
  MakeFile("backup.bin", Pattern(300000, 2));  // longer than a database: it must be emptied
  ChooseForRead(Path("backup"));
  const FileDialogRequest request = Ui().FileDialogRequests().back();
  EXPECT_TRUE(request.save && request.overwritePrompt && request.initialFolder.empty());
  EXPECT_EQ(request.filter, "Upload File (*.bin)|*.bin|All File (*.*)|*.*||");
  EXPECT_EQ(Dlg().m_ctlFileName.GetWindowText(), "backup.bin");
  EXPECT_EQ(Statuses().back(), "Turn on the STB");
  EXPECT_TRUE(PumpUntil([&] { return !Boxes().empty(); }, 60000));
  EXPECT_EQ(Boxes(), std::vector<std::string>{"Done"});
  ASSERT_TRUE(sim.Wait(10000));
  EXPECT_EQ(sim.ExitStatus(), 0) << sim.Output();
  EXPECT_FALSE(fs::exists(Path("backup")));
  EXPECT_TRUE(ReadWholeFile(Path("backup.bin")) == db);
}

TEST_F(ReadJob, CancellingTheChoiceStillClosesARunningSendJob) {
  Engine().StartSoftwareJob(MakeFile("sw.bin", Pattern(70000)));
  ASSERT_TRUE(JobFileOpen());
  ChooseForRead(std::nullopt);
  EXPECT_FALSE(JobFileOpen());
  Expect(9);
  Reply(RSP_FIRST_BLOCK);
  EXPECT_TRUE(Settle().empty());
}

TEST_F(ReadJob, AFileThatCannotBeMadeArmsNothing) {
  ChooseForRead(Path("no/such/folder/db.bin"));
  EXPECT_EQ(Boxes(), std::vector<std::string>{"File Open Error"});
  EXPECT_EQ(Statuses().back(), "db.bin");
  EXPECT_FALSE(JobFileOpen());
  EXPECT_TRUE(Settle().empty());
}

}  // namespace
