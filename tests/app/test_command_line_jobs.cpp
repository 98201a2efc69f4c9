// Jobs armed from the command line during the dialog's start-up.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "app/quorin_dlg.h"
#include "platform/headless_backend.h"
#include "platform/pty.h"
#include "platform/settings.h"
#include "resources/resource.h"

namespace fs = std::filesystem;

namespace {

class CommandLineJobs : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/quorin-cljobs-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    m_dir = tmpl;
    setenv("XDG_CONFIG_HOME", m_dir.c_str(), 1);
    ASSERT_TRUE(m_pty.Open());
    ASSERT_TRUE(WriteProfileString("Devices", "COM1", m_pty.SlavePath()));
    GetHeadlessBackend().ClearEvents();
  }
  void TearDown() override {
    m_dlg.reset();
    std::error_code ec;
    fs::remove_all(m_dir, ec);
  }

  std::string MakeFile(const std::string& name, std::size_t size) {
    const std::string path = m_dir + "/" + name;
    std::ofstream out(path, std::ios::binary);
    for (std::size_t i = 0; i < size; ++i) out.put(static_cast<char>(i * 7));
    return path;
  }

  CQuorinDlg& Start(std::vector<std::string> args) {
    m_strings = std::move(args);
    m_args = {"quorin"};
    for (const std::string& a : m_strings) m_args.push_back(a.c_str());
    m_dlg = std::make_unique<CQuorinDlg>(nullptr, static_cast<int>(m_args.size()), m_args.data());
    EXPECT_TRUE(m_dlg->Create());
    return *m_dlg;
  }

  // What the program wrote on the line so far.
  std::string LineBytes() {
    std::string bytes;
    char buf[512];
    int n;
    while ((n = m_pty.Read(buf, sizeof buf, 200)) > 0) bytes.append(buf, static_cast<std::size_t>(n));
    return bytes;
  }

  std::vector<std::string> Statuses() const {
    return GetHeadlessBackend().Texts(HeadlessEvent::Text, IDC_STATUS);
  }

  std::string m_dir;
  CPseudoTerminal m_pty;
  std::vector<std::string> m_strings;
  std::vector<const char*> m_args;
  std::unique_ptr<CQuorinDlg> m_dlg;
};

const std::string kReboot("\nreboot\n\0", 9);

TEST_F(CommandLineJobs, SoftwareOptionIsTestedBeforeDatabase) {
  const std::string a = MakeFile("a.bin", 262144);
  const std::string b = MakeFile("b.bin", 100000);
  CQuorinDlg& dlg = Start({"-d", a, "-p", b});
  EXPECT_EQ(dlg.m_nJob, JOB_SOFTWARE);
  EXPECT_EQ(dlg.m_bSendMode, 1);
  EXPECT_EQ(dlg.m_bSendFileOpen, 1);
  EXPECT_EQ(dlg.m_nTotal, 100000u);
  EXPECT_EQ(dlg.m_ctlFileName.GetWindowText(), b);
  EXPECT_EQ(Statuses().back(), "Turn on the STB");
  EXPECT_EQ(LineBytes(), kReboot);
}

TEST_F(CommandLineJobs, ReadOptionSelects9600BeforeArming) {
  const std::string out = m_dir + "/upload_db.bin";
  CQuorinDlg& dlg = Start({"-s", "115200", "-u", out});
  EXPECT_EQ(dlg.m_cboBaud.GetCurSel(), 0);
  EXPECT_EQ(dlg.m_nJob, JOB_DATABASE);
  EXPECT_EQ(dlg.m_bSendMode, 0);
  EXPECT_EQ(dlg.m_bReceiveFileOpen, 1);
  EXPECT_TRUE(fs::exists(out));
  EXPECT_EQ(fs::file_size(out), 0u);
  EXPECT_EQ(Statuses().back(), "Turn on the STB");
  EXPECT_EQ(LineBytes(), kReboot);
}

TEST_F(CommandLineJobs, BootOptionArmsABootJob) {
  const std::string boot = MakeFile("boot.bin", 131072);
  CQuorinDlg& dlg = Start({"-b", boot});
  EXPECT_EQ(dlg.m_nJob, JOB_BOOT);
  EXPECT_EQ(dlg.m_bSendFileOpen, 1);
  EXPECT_EQ(dlg.m_nTotal, 131072u);
}

TEST_F(CommandLineJobs, DashedPathLeavesTheJobUnarmedAndSendsNothing) {
  CQuorinDlg& dlg = Start({"-p", "-new_sw.bin"});
  EXPECT_EQ(GetHeadlessBackend().Texts(HeadlessEvent::MessageBox),
            std::vector<std::string>{"File Open Error"});
  EXPECT_EQ(dlg.m_bSendFileOpen, 0);
  EXPECT_EQ(dlg.m_ctlFileName.GetWindowText(), "");
  EXPECT_EQ(Statuses(), std::vector<std::string>{" Ready "});
  EXPECT_EQ(LineBytes(), "");
}

TEST_F(CommandLineJobs, MissingFileShowsItsPathAndKeepsTheStatus) {
  const std::string missing = m_dir + "/missing.bin";
  CQuorinDlg& dlg = Start({"-p", missing});
  EXPECT_EQ(GetHeadlessBackend().Texts(HeadlessEvent::MessageBox),
            std::vector<std::string>{"File Open Error"});
  EXPECT_EQ(dlg.m_ctlFileName.GetWindowText(), missing);
  EXPECT_EQ(Statuses(), std::vector<std::string>{" Ready "});
}

}  // namespace
