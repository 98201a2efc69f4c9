#include "app/command_line.h"

bool CCommandLine::IsOption(const std::string& token) {
  return token.size() >= 2 && token[0] == '-' && !(token[1] >= '0' && token[1] <= '9');
}

int CCommandLine::Parse(int argc, const char* const* argv) {
  m_options.clear();
  std::string current;
  for (int i = 1; i < argc; ++i) {
    const std::string token = argv[i] ? argv[i] : "";
    if (IsOption(token)) {
      current = token;
      std::string value;
      if (i + 1 < argc && !IsOption(argv[i + 1] ? argv[i + 1] : "")) {
        value = argv[i + 1] ? argv[i + 1] : "";
        ++i;
      }
      // A repeated option keeps its first occurrence; the new value is dropped.
      m_options.emplace(current, std::vector<std::string>{value});
    } else {
      auto it = m_options.find(current);
      if (it != m_options.end()) it->second.push_back(token);
    }
  }
  return static_cast<int>(m_options.size());
}

bool CCommandLine::HasOption(const std::string& option) const {
  return m_options.count(option) != 0;
}

std::string CCommandLine::GetValue(const std::string& option, unsigned int index) const {
  auto it = m_options.find(option);
  if (it == m_options.end() || index >= it->second.size()) throw 0;
  return it->second[index];
}

const char* CCommandLine::FirstJobOption() const {
  for (const char* option : {"-p", "-d", "-u", "-b"}) {
    if (HasOption(option)) return option;
  }
  return nullptr;
}
