// Files for tests: a folder of the test's own, whole files written and read, filler bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

using ByteVec = std::vector<std::uint8_t>;

inline ByteVec operator+(ByteVec a, const ByteVec& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// A new temporary folder, removed with everything in it when the object goes. It is also the
// settings folder (XDG_CONFIG_HOME, on Windows APPDATA) from then on, so nothing a test writes
// reaches the user's settings.
class CTempFolder {
 public:
  CTempFolder();
  ~CTempFolder();
  CTempFolder(const CTempFolder&) = delete;
  CTempFolder& operator=(const CTempFolder&) = delete;

  const std::string& Dir() const { return m_dir; }
#ifdef _WIN32
  std::string Path(const std::string& name) const { return m_dir + "\\" + name; }
#else
  std::string Path(const std::string& name) const { return m_dir + "/" + name; }
#endif
  // Writes (or replaces) the file in the folder and returns its path.
  std::string MakeFile(const std::string& name, const ByteVec& content) const;

 private:
  std::string m_dir;
};

// The settings file is looked for in the folder from now on.
void UseSettingsFolder(const std::string& dir);

// n bytes that differ from seed to seed and repeat nowhere near a block's length.
ByteVec Pattern(std::size_t n, unsigned seed = 1);
ByteVec ReadWholeFile(const std::string& path);
// Writes (or replaces) the file and returns its path.
std::string WriteWholeFile(const std::string& path, const ByteVec& content);
std::string ReadText(const std::string& path);
