// The Send button: file choice, classification and the arming of send jobs.
#include <chrono>
#include <filesystem>
#include <optional>

#ifndef _WIN32
#include <sys/stat.h>
#endif

#include "platform/os/settings.h"
#include "tests/support/dialog_fixture.h"
#include "tests/support/sim_runner.h"

namespace fs = std::filesystem;

namespace {

const char* const kSendFilter =
    "Download File (*.bin;*.sdx)|*.bin;*.sdx|SatCoDx Files (*.sdx)|*.sdx|All File (*.*)|*.*||";

class SendJobs : public CDialogFixture {
 protected:
  void ChooseForSend(const std::optional<std::string>& path) {
    Ui().QueueFileDialogAnswer(path);
    Click(IDC_SEND);
  }
  std::string Folder() const { return GetProfileString("Marlpane", "Folder", "<none>"); }
  // Every road that opens a job's file: the starters, the raw list, the classification.
  enum { ROAD_SOFTWARE, ROAD_DATABASE, ROAD_BOOT, ROAD_READ, ROAD_LIST, ROAD_CLASSIFY };
  void TakeRoad(int road, const std::string& path) {
    if (road == ROAD_SOFTWARE) Engine().StartSoftwareJob(path);
    if (road == ROAD_DATABASE) Engine().StartDatabaseJob(path);
    if (road == ROAD_BOOT) Engine().StartBootJob(path);
    if (road == ROAD_READ) Engine().StartReadJob(path);
    if (road == ROAD_LIST) Engine().StartSendJob(JOB_CHANNEL_LIST, path);
    if (road == ROAD_CLASSIFY) {
      EXPECT_EQ(Engine().ClassifyFile(path), JOB_INVALID);
    }
  }
};

TEST_F(SendJobs, ClassificationByLengthNameAndPath) {
  struct Case {
    const char* name;
    std::uintmax_t size;
    int job;
  };
  fs::create_directory(Path("lists.sdx"));
  const Case cases[] = {
      {"a.bin", 65535, JOB_INVALID},         {"a.bin", 65536, JOB_SOFTWARE},
      {"a.bin", 196608, JOB_SOFTWARE},       {"a.bin", 197632, JOB_DATABASE},
      {"a.bin", 262144, JOB_DATABASE},       {"a.bin", 262145, JOB_INVALID},
      {"a.bin", 393215, JOB_INVALID},        {"a.bin", 393216, JOB_SOFTWARE},
      {"a.bin", 4194303, JOB_SOFTWARE},      {"a.bin", 4194304, JOB_INVALID},
      {"lists.sdx/image.bin", 100000, JOB_CHANNEL_LIST},
      {"x.sdxy", 10, JOB_CHANNEL_LIST},      {"LIST.SDX", 300, JOB_INVALID},
      {"empty.bin", 0, JOB_INVALID},
  };
  for (const Case& c : cases) {
    const std::string path = MakeFile(c.name, {0x12, 0x34});
    fs::resize_file(path, c.size);
    EXPECT_EQ(Engine().ClassifyFile(path), c.job) << c.name << " " << c.size;
  }
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(Engine().ClassifyFile(Path("missing.bin")), JOB_INVALID);
  EXPECT_EQ(BoxHeads(), std::vector<std::string>{"File Open Error"});
}

// What is no regular file is refused on every road at once, with the reason, before anything
// opens it: opening a FIFO waits for a writer that may never come, opening a device may act.
TEST_F(SendJobs, OnlyRegularFilesAreImagesListsOrReadTargets) {
  std::vector<std::string> specials = {Path("folder")};
  fs::create_directory(specials[0]);
#ifdef _WIN32
  specials.insert(specials.end(), {"NUL", "\\\\.\\pipe\\quorin-test"});
#else
  specials.insert(specials.end(), {Path("fifo.bin"), "/dev/null"});
  ASSERT_EQ(mkfifo(specials[1].c_str(), 0600), 0);
#endif
  for (const std::string& path : specials) {
    for (int road = 0; road <= ROAD_CLASSIFY; ++road) {
      SCOPED_TRACE(path + ", road " + std::to_string(road));
      Ui().ClearEvents();
      TakeRoad(road, path);
      EXPECT_EQ(Boxes(), std::vector<std::string>{"File Open Error\n" + path + ": not a regular file"});
      EXPECT_FALSE(Engine().IsBusy() || JobFileOpen());
    }
  }
  EXPECT_TRUE(Settle().empty());
}

// A job meets a port that is closed (it failed to open, or went away): arming opens it again at
// 9600, or says why not and arms nothing.
TEST_F(SendJobs, AJobIsArmedOnlyOnAnOpenPort) {
  const std::string path = MakeFile("image.bin", Pattern(70000));
  ASSERT_TRUE(MapComPort("COM1", Path("no-such-device")));
  for (int road = 0; road < ROAD_CLASSIFY; ++road) {
    SCOPED_TRACE("road " + std::to_string(road));
    ASSERT_FALSE(Link()->Reopen(0, SPEED_INDEX_BASE));
    Ui().ClearEvents();
    TakeRoad(road, path);
    EXPECT_TRUE(WaitUntilIdle());
    ASSERT_EQ(BoxHeads(), std::vector<std::string>{"Port Open Error"});
    EXPECT_NE(Boxes()[0], "Port Open Error") << "no reason given";
    EXPECT_EQ(Dlg().m_ctlStatus.GetWindowText(), " Not Connected");
    EXPECT_EQ(Phase(), JobPhase::Idle);
  }
  EXPECT_FALSE(fs::exists(CTransferEngine::PartialPath(path)));

  // The device is back, last set to another speed: the next job opens it at 9600.
  ASSERT_TRUE(m_pty.MapTo("COM1"));
  ASSERT_TRUE(Link()->Reopen(0, 3));
  Link()->Close();
  Ui().ClearEvents();
  TakeRoad(ROAD_SOFTWARE, path);
  EXPECT_EQ(Expect(9), kRebootText);
  EXPECT_EQ(LineSpeed(), 9600u);
  EXPECT_EQ(Phase(), JobPhase::SendArmed);
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(Statuses(), std::vector<std::string>{" Ready"});
}

// The button arms a software image and remembers its folder; a database leaves the folder,
// a cancelled choice leaves the job, and a refused one still abandons it.
TEST_F(SendJobs, TheButtonArmsAJobAndOnlyASoftwareImageLeavesItsFolder) {
  fs::create_directory(Path("images"));
  const std::string path = MakeFile("images" + std::string(1, PATH_SEPARATOR) + "new.bin", Pattern(70000, 4));
  ChooseForSend(path);
  EXPECT_EQ(Expect(9), kRebootText);
  const FileDialogRequest request = Ui().FileDialogRequests().back();
  EXPECT_FALSE(request.save);
  EXPECT_EQ(request.filter, kSendFilter);
  EXPECT_EQ(request.initialFolder, "");
  EXPECT_EQ(Statuses(), (std::vector<std::string>{"new.bin", "Turn on the STB"}));
  EXPECT_EQ(Dlg().m_ctlFileName.GetWindowText(), path);
  EXPECT_EQ(Folder(), Path("images"));
  ChooseForSend(std::nullopt);
  EXPECT_EQ(Ui().FileDialogRequests().back().initialFolder, Path("images"));
  EXPECT_TRUE(JobFileOpen()) << "a cancelled choice leaves the job";

  ChooseForSend(MakeFile("tiny.bin", Pattern(100)));
  EXPECT_FALSE(JobFileOpen());
  EXPECT_EQ(Statuses().back(), "Invalid File");
  EXPECT_EQ(Boxes(), std::vector<std::string>{"Invalid File"});
  EXPECT_EQ(Dlg().m_ctlFileName.GetWindowText(), path);
  Reply(RSP_FIRST_BLOCK);
  EXPECT_TRUE(Settle().empty());

  ChooseForSend(MakeFile("db.bin", Pattern(262144)));
  EXPECT_EQ(Engine().JobCode(), JOB_DATABASE);
  EXPECT_TRUE(JobFileOpen());
  EXPECT_EQ(Folder(), Path("images"));

  // A path without a separator (relative to the working folder) leaves an empty folder.
  MakeFile("plain.bin", Pattern(70000));
  const fs::path cwd = fs::current_path();
  fs::current_path(m_tmp.Dir());
  Engine().StartSoftwareJob("plain.bin");
  fs::current_path(cwd);
  EXPECT_TRUE(JobFileOpen());
  EXPECT_EQ(Folder(), "");
}

TEST_F(SendJobs, SimulatedReceiverGetsEveryKindOfImageWhole) {
  const struct {
    std::string job;
    std::size_t size;
    int speed;
    std::vector<std::string> options;
    std::vector<std::string> boxes;
    std::vector<int> progressTail;  // the last block's position, then one per progress reply
  } cases[] = {
      // Block numbers past the wrap, resends (one at the wrap, one of the block before a short
      // last one), power-on noise, a 0x41, and the last progress reply joined with "done".
      {"software", 1000000, 5,
       {"--resend-at", "3,256,1952", "--comm-error-at", "10", "--noise", "--progress", "16",
        "--join-progress-done"},
       {"Communication Error", "Done"},
       {89, 90, 91, 91, 92, 93, 93, 94, 95, 95, 96, 96, 97, 98, 98, 99, 100}},
      {"database", DATABASE_SIZE, 0, {"--hello-delay", "50"}, {"Done"}, {89, 92, 94, 96}},
      // Padded with erased flash to 131,072 bytes; full bar, a pause, then the replies.
      {"boot", 100000, 3, {}, {"Not Boot File!", "Boot Changed", "Done"}, {99, 100, 93, 96, 100}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.job);
    ByteVec image = Pattern(c.size, 11);
    const std::string path = MakeFile(c.job + ".bin", image);
    std::vector<std::string> args = {"--job", c.job, "--expect-speed", std::to_string(c.speed),
                                     "--out", Path(c.job + ".received")};
    args.insert(args.end(), c.options.begin(), c.options.end());
    CSimRunner sim;
    ASSERT_TRUE(sim.Start(args)) << sim.Output();
    ConnectTo(sim.SlavePath());
    SelectSpeed(c.speed);
    Ui().ClearEvents();
    std::chrono::steady_clock::time_point full, changed;
    m_onEvent = [&](const HeadlessEvent& e) {
      if (e.kind == HeadlessEvent::Progress && e.value == 100 && full == decltype(full){}) {
        full = std::chrono::steady_clock::now();
      }
      if (e.kind == HeadlessEvent::MessageBox && e.text == "Boot Changed") {
        changed = std::chrono::steady_clock::now();
      }
    };
    if (c.job == "boot") {  // only the command line arms a boot job
      Engine().StartBootJob(path);
      image.resize(131072, 0xFF);
    } else {
      ChooseForSend(path);
    }
    EXPECT_TRUE(PumpUntil([&] { return !Boxes().empty() && Boxes().back() == "Done"; }, 60000));
    m_onEvent = nullptr;
    ASSERT_TRUE(sim.Wait(10000));
    EXPECT_EQ(sim.ExitStatus(), 0) << sim.Output();
    EXPECT_TRUE(ReadWholeFile(Path(c.job + ".received")) == image);
    EXPECT_EQ(Boxes(), c.boxes);
    const std::vector<int> progress = Progress();
    ASSERT_GE(progress.size(), c.progressTail.size());
    EXPECT_EQ(std::vector<int>(progress.end() - static_cast<std::ptrdiff_t>(c.progressTail.size()),
                               progress.end()),
              c.progressTail);
    if (c.job == "boot") {
      EXPECT_GE(changed - full, std::chrono::milliseconds(1000));
    }
  }
}

}  // namespace

// What an armed job will do is on the file name label's tooltip, with a note when the file is
// not what the Send button would have taken it for; a new choice takes the old one away.
TEST_F(SendJobs, TheArmedJobIsSummedUpOnTheFileNameLabel) {
  auto tips = [] { return Ui().Texts(HeadlessEvent::ToolTip, IDC_FILENAME); };
  const std::string image = MakeFile("new.bin", Pattern(70000, 4));
  ChooseForSend(image);
  ASSERT_FALSE(tips().empty());
  EXPECT_EQ(tips().back(), "Software image, 70,000 bytes, data at 115200 baud");

  const std::string database = MakeFile("db.bin", Pattern(DATABASE_SIZE, 1));
  Engine().StartSoftwareJob(database);
  EXPECT_EQ(tips().back(),
            "Software image, 262,144 bytes, data at 115200 baud\n"
            "Note: the Send button would take db.bin (262,144 bytes) for a database; it is sent "
            "as a software image, as the command line asks.");

  const std::string huge = MakeFile("huge.bin", {0x12, 0x34});
  fs::resize_file(huge, 16 * 1024 * 1024);
  SelectSpeed(6);
  Engine().StartSoftwareJob(huge);
  EXPECT_EQ(tips().back().substr(0, tips().back().find(" (it takes")),
            "Software image, 16,777,216 bytes, data at 230400 baud\n"
            "Note: the Send button would refuse huge.bin (16,777,216 bytes) as \"Invalid File\"");

  // A database file of another length is announced at the database's size.
  const std::string odd = MakeFile("odd.bin", Pattern(300000, 2));
  Engine().StartDatabaseJob(odd);
  EXPECT_EQ(tips().back().substr(0, tips().back().find('\n')),
            "Database, 300,000 bytes (announced as 262,144), data at 230400 baud");
  EXPECT_NE(tips().back().find("would refuse odd.bin"), std::string::npos) << tips().back();

  // A boot image is never the Send button's choice: nothing to compare it with.
  Engine().StartBootJob(image);
  EXPECT_EQ(tips().back(), "Boot image, 70,000 bytes (announced as 131,072), data at 230400 baud");

  Engine().StartReadJob(Path("backup.bin"));
  EXPECT_EQ(tips().back(), "Database from the receiver into backup.bin, 262,144 bytes, at 9600 baud");

  // A file the button refuses arms nothing and leaves no summary of the job before.
  const std::size_t before = tips().size();
  ChooseForSend(MakeFile("small.bin", Pattern(100, 3)));
  EXPECT_EQ(tips().size(), before + 1);
  EXPECT_EQ(tips().back(), "");
  EXPECT_EQ(Phase(), JobPhase::Idle);
}
