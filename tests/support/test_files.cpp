#include "tests/support/test_files.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

#ifdef _WIN32
// The settings live in the user's application data folder, which APPDATA names.
CTempFolder::CTempFolder() {
  std::error_code ec;
  const std::filesystem::path base = std::filesystem::temp_directory_path(ec);
  std::random_device random;
  for (int attempt = 0; attempt < 100 && m_dir.empty(); ++attempt) {
    const std::filesystem::path dir = base / ("quorin-test-" + std::to_string(random()));
    if (std::filesystem::create_directory(dir, ec)) m_dir = dir.string();
  }
  UseSettingsFolder(m_dir);
}

void UseSettingsFolder(const std::string& dir) { _putenv_s("APPDATA", dir.c_str()); }

CTempFolder::~CTempFolder() {
  std::error_code ignored;
  if (!m_dir.empty()) std::filesystem::remove_all(m_dir, ignored);
}
#else
CTempFolder::CTempFolder() {
  char pattern[] = "/tmp/quorin-test-XXXXXX";
  const char* made = mkdtemp(pattern);
  m_dir = made != nullptr ? made : "/tmp";
  UseSettingsFolder(m_dir);
}

void UseSettingsFolder(const std::string& dir) { setenv("XDG_CONFIG_HOME", dir.c_str(), 1); }

CTempFolder::~CTempFolder() {
  std::error_code ignored;
  if (m_dir != "/tmp") std::filesystem::remove_all(m_dir, ignored);
}
#endif

std::string CTempFolder::MakeFile(const std::string& name, const ByteVec& content) const {
  return WriteWholeFile(Path(name), content);
}

std::string WriteWholeFile(const std::string& path, const ByteVec& content) {
  const auto n = static_cast<std::streamsize>(content.size());
  std::ofstream(path, std::ios::binary | std::ios::trunc).write(reinterpret_cast<const char*>(content.data()), n);
  return path;
}

ByteVec Pattern(std::size_t n, unsigned seed) {
  ByteVec bytes(n);
  std::uint32_t x = seed * 2654435761u + 1;
  for (std::uint8_t& b : bytes) {
    x = x * 1103515245u + 12345u;
    b = static_cast<std::uint8_t>(x >> 16);
  }
  return bytes;
}

ByteVec ReadWholeFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return ByteVec(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string ReadText(const std::string& path) {
  const ByteVec bytes = ReadWholeFile(path);
  return std::string(bytes.begin(), bytes.end());
}
