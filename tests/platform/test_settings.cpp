// The settings file, read and written in a folder of the test's own.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sstream>
#include <string>

#include "platform/settings.h"

namespace {

namespace fs = std::filesystem;

class ProfileTest : public ::testing::Test {
 protected:
  ProfileTest() {
    std::random_device random;
    m_dir = fs::temp_directory_path() / ("quorin-profile-" + std::to_string(random()));
    fs::create_directories(m_dir);
    UseFolder(m_dir);
    SetProfileProgramName("quorin");
  }
  ~ProfileTest() override {
    std::error_code ignored;
    fs::remove_all(m_dir, ignored);
  }

  static void UseFolder(const fs::path& folder) {
    setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
  }
  static std::string Slurp(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
  }
  void Put(const std::string& bytes) const {
    std::ofstream(m_dir / "quorin.INI", std::ios::binary) << bytes;
  }
  std::string Get() const { return Slurp(m_dir / "quorin.INI"); }

  fs::path m_dir;
};

TEST_F(ProfileTest, FileIsNamedForTheProgramInTheConfigFolder) {
  EXPECT_EQ(GetProfileFilePath(), (m_dir / "quorin.INI").string());
}

TEST_F(ProfileTest, MissingFileSectionOrKeyGivesTheDefault) {
  EXPECT_EQ(GetProfileString("Marlpane", "Com Port", "COM1"), "COM1");
  EXPECT_FALSE(fs::exists(m_dir / "quorin.INI"));
  Put("[Marlpane]\nFolder=/x\n[Other]\nCom Port=COM7\n");
  EXPECT_EQ(GetProfileString("Marlpane", "Com Port", "COM1"), "COM1");
  EXPECT_EQ(GetProfileString("Missing", "Folder", ""), "");
}

TEST_F(ProfileTest, FirstWriteMakesFolderAndFileAndNothingElse) {
  const fs::path nested = m_dir / "not yet" / "there";
  UseFolder(nested);
  ASSERT_TRUE(WriteProfileString("Marlpane", "Com Port", "COM 3"));
  EXPECT_EQ(Slurp(nested / "quorin.INI"), "[Marlpane]\nCom Port=COM 3\n");
  EXPECT_EQ(GetProfileString("Marlpane", "Com Port", "COM1"), "COM 3");
  ASSERT_TRUE(WriteProfileString("Marlpane", "Folder", "/home/me/My Images"));
  std::size_t entries = 0;
  for (const auto& entry : fs::directory_iterator(nested)) {
    EXPECT_EQ(entry.path().filename(), "quorin.INI");  // no temporary file left behind
    ++entries;
  }
  EXPECT_EQ(entries, 1u);
}

TEST_F(ProfileTest, NamesCompareWithoutCaseAndBlanksAreTrimmed) {
  Put("[marlPANE]\n  com port =  COM 4  \n");
  EXPECT_EQ(GetProfileString("Marlpane", "Com Port", "COM1"), "COM 4");
  EXPECT_EQ(GetProfileString("MARLPANE", "COM PORT", "COM1"), "COM 4");
  ASSERT_TRUE(WriteProfileString("Marlpane", "COM PORT", "COM 5"));
  EXPECT_EQ(Get(), "[marlPANE]\ncom port=COM 5\n");
}

TEST_F(ProfileTest, WritesLeaveEveryOtherByteAlone) {
  const std::string original =
      "\xEF\xBB\xBF; settings\r\n[Other]\r\nkey = v1\r\n\r\n[Marlpane]\r\nCom Port=COM1\r\n"
      "Folder=/old\r\n\r\n; about the last one\r\n[Last]\r\nx=1";
  struct Case {
    const char* what;
    const char* section;
    const char* key;
    const char* value;
    std::string expected;
  } cases[] = {
      {"changed key", "Marlpane", "Folder", "/home/u/My Images",
       "\xEF\xBB\xBF; settings\r\n[Other]\r\nkey = v1\r\n\r\n[Marlpane]\r\nCom Port=COM1\r\n"
       "Folder=/home/u/My Images\r\n\r\n; about the last one\r\n[Last]\r\nx=1"},
      {"new key", "marlpane", "Extra", "v",
       "\xEF\xBB\xBF; settings\r\n[Other]\r\nkey = v1\r\n\r\n[Marlpane]\r\nCom Port=COM1\r\n"
       "Folder=/old\r\nExtra=v\r\n\r\n; about the last one\r\n[Last]\r\nx=1"},
      {"new key in last section", "Last", "y", "2",
       "\xEF\xBB\xBF; settings\r\n[Other]\r\nkey = v1\r\n\r\n[Marlpane]\r\nCom Port=COM1\r\n"
       "Folder=/old\r\n\r\n; about the last one\r\n[Last]\r\nx=1\r\ny=2"},
      {"new section", "Devices", "COM1", "/dev/ttyUSB0",
       "\xEF\xBB\xBF; settings\r\n[Other]\r\nkey = v1\r\n\r\n[Marlpane]\r\nCom Port=COM1\r\n"
       "Folder=/old\r\n\r\n; about the last one\r\n[Last]\r\nx=1\r\n[Devices]\r\n"
       "COM1=/dev/ttyUSB0"},
  };
  for (const Case& c : cases) {
    Put(original);
    ASSERT_TRUE(WriteProfileString(c.section, c.key, c.value)) << c.what;
    EXPECT_EQ(Get(), c.expected) << c.what;
    EXPECT_EQ(GetProfileString(c.section, c.key, "?"), c.value) << c.what;
  }
  Put(original);
  EXPECT_EQ(GetProfileString("Other", "key", ""), "v1");  // read past the byte-order mark
}

TEST_F(ProfileTest, ValuesAreStoredExactlyAsGiven) {
  const char* values[] = {"COM 3", "/home/me/dir with blanks", "C:\\old\\path", "a=b;c",
                          "\"quoted\"", "[not a section]", "caf\xC3\xA9", ""};
  for (const char* value : values) {
    ASSERT_TRUE(WriteProfileString("Marlpane", "Folder", value)) << value;
    EXPECT_EQ(GetProfileString("Marlpane", "Folder", "?"), value);
  }
  EXPECT_EQ(Get(), "[Marlpane]\nFolder=\n");
}

TEST_F(ProfileTest, UnstorableNamesAndValuesAreRefusedWithoutATrace) {
  struct Case {
    const char* section;
    const char* key;
    std::string value;
  } cases[] = {
      {"Marlpane", "Folder", "two\nlines"}, {"Marlpane", "Folder", "carriage\rreturn"},
      {"Marlpane", "Folder", std::string("nul\0byte", 8)}, {"Mar]pane", "Folder", "x"},
      {"Marl\npane", "Folder", "x"}, {"Marlpane", "Fol=der", "x"}, {"Marlpane", " ", "x"},
  };
  for (const Case& c : cases) {
    EXPECT_FALSE(WriteProfileString(c.section, c.key, c.value)) << c.section << c.key;
  }
  EXPECT_FALSE(fs::exists(m_dir / "quorin.INI"));
  Put("[Marlpane]\nFolder=/kept\n");
  EXPECT_FALSE(WriteProfileString("Marlpane", "Folder", "new\nline"));
  EXPECT_EQ(Get(), "[Marlpane]\nFolder=/kept\n");
}

TEST_F(ProfileTest, ALinkedFileIsWrittenThroughTheLink) {
  const fs::path real = m_dir / "kept elsewhere.ini";
  std::ofstream(real) << "[Marlpane]\nFolder=/a\n";
  fs::create_symlink(real, m_dir / "quorin.INI");
  ASSERT_TRUE(WriteProfileString("Marlpane", "Folder", "/b"));
  EXPECT_TRUE(fs::is_symlink(m_dir / "quorin.INI"));
  EXPECT_EQ(Slurp(real), "[Marlpane]\nFolder=/b\n");
}

}  // namespace
