#include "platform/os/profile_text.h"

#include <cstddef>
#include <vector>

#include "platform/os/ascii.h"

namespace platform {

namespace {

struct ProfileLine {
  std::string text;  // without its line end
  std::string eol;   // "\n", "\r\n" or empty for a last line without one
};

// Where a key is, or where it would go.
struct ProfilePlace {
  int nSectionLine = -1;  // header of the first section of that name
  int nKeyLine = -1;      // the key's line, when present
  int nInsertAfter = -1;  // last key line of that first section (or its header)
};

std::vector<ProfileLine> SplitLines(const std::string& bytes) {
  std::vector<ProfileLine> lines;
  std::size_t start = 0;
  while (start < bytes.size()) {
    const std::size_t nl = bytes.find('\n', start);
    ProfileLine line;
    if (nl == std::string::npos) {
      line.text = bytes.substr(start);
      start = bytes.size();
    } else {
      std::size_t end = nl;
      if (end > start && bytes[end - 1] == '\r') --end;
      line.text = bytes.substr(start, end - start);
      line.eol = bytes.substr(end, nl + 1 - end);
      start = nl + 1;
    }
    lines.push_back(std::move(line));
  }
  return lines;
}

std::string Trim(const std::string& s) {
  const char* blanks = " \t\r";
  const std::size_t first = s.find_first_not_of(blanks);
  if (first == std::string::npos) return std::string();
  const std::size_t last = s.find_last_not_of(blanks);
  return s.substr(first, last - first + 1);
}

// The text a parser should see: a byte-order mark in front of the first line is no content.
std::string ParseText(const std::vector<ProfileLine>& lines, std::size_t index) {
  const std::string& text = lines[index].text;
  if (index == 0 && text.compare(0, 3, "\xEF\xBB\xBF") == 0) return text.substr(3);
  return text;
}

bool IsSectionHeader(const std::string& text, std::string& name) {
  const std::string t = Trim(text);
  if (t.empty() || t[0] != '[') return false;
  const std::size_t close = t.find(']');
  if (close == std::string::npos) return false;
  name = Trim(t.substr(1, close - 1));
  return true;
}

bool IsKeyLine(const std::string& text, std::string& key, std::string& value) {
  const std::string t = Trim(text);
  if (t.empty() || t[0] == ';') return false;
  const std::size_t eq = t.find('=');
  if (eq == std::string::npos) return false;
  key = Trim(t.substr(0, eq));
  value = Trim(t.substr(eq + 1));
  return true;
}

ProfilePlace FindKey(const std::vector<ProfileLine>& lines, const std::string& section,
                     const std::string& key) {
  ProfilePlace place;
  const std::string wantSection = Trim(section);
  const std::string wantKey = Trim(key);
  bool inMatch = false;
  bool inFirstMatch = false;
  for (std::size_t i = 0; i < lines.size(); ++i) {
    const std::string text = ParseText(lines, i);
    std::string name;
    std::string value;
    if (IsSectionHeader(text, name)) {
      inMatch = EqualsNoCase(name, wantSection);
      inFirstMatch = inMatch && place.nSectionLine < 0;
      if (inFirstMatch) {
        place.nSectionLine = static_cast<int>(i);
        place.nInsertAfter = static_cast<int>(i);
      }
      continue;
    }
    if (!inMatch || !IsKeyLine(text, name, value)) continue;
    if (inFirstMatch) place.nInsertAfter = static_cast<int>(i);
    if (EqualsNoCase(name, wantKey)) {
      place.nKeyLine = static_cast<int>(i);
      return place;
    }
  }
  return place;
}

bool HasLineBreakOrNul(const std::string& s) {
  return s.find_first_of(std::string("\r\n\0", 3)) != std::string::npos;
}

}  // namespace

bool FindProfileValue(const std::string& bytes, const std::string& section,
                      const std::string& key, std::string& value) {
  const std::vector<ProfileLine> lines = SplitLines(bytes);
  const ProfilePlace place = FindKey(lines, section, key);
  if (place.nKeyLine < 0) return false;
  std::string name;
  return IsKeyLine(ParseText(lines, static_cast<std::size_t>(place.nKeyLine)), name, value);
}

bool IsStorableProfileEntry(const std::string& section, const std::string& key,
                            const std::string& value) {
  if (HasLineBreakOrNul(section) || HasLineBreakOrNul(key) || HasLineBreakOrNul(value)) {
    return false;
  }
  if (section.find(']') != std::string::npos || key.find('=') != std::string::npos) return false;
  const std::string trimmedKey = Trim(key);
  return !trimmedKey.empty() && trimmedKey[0] != ';' && trimmedKey[0] != '[';
}

std::string WithProfileValue(const std::string& bytes, const std::string& section,
                             const std::string& key, const std::string& value) {
  std::vector<ProfileLine> lines = SplitLines(bytes);
  // New lines follow the file's own line ends.
  const std::string eol = bytes.find("\r\n") != std::string::npos ? "\r\n" : "\n";
  const ProfilePlace place = FindKey(lines, section, key);
  if (place.nKeyLine >= 0) {
    const std::size_t at = static_cast<std::size_t>(place.nKeyLine);
    std::string name;
    std::string old;
    const std::string seen = ParseText(lines, at);
    IsKeyLine(seen, name, old);
    // The key keeps its spelling in the file, and a byte-order mark in front of it stays.
    const std::size_t markLength = lines[at].text.size() - seen.size();
    lines[at].text = lines[at].text.substr(0, markLength) + name + "=" + value;
  } else {
    std::vector<ProfileLine> added;
    if (place.nSectionLine < 0) added.push_back({"[" + section + "]", eol});
    added.push_back({key + "=" + value, eol});
    std::size_t at = place.nSectionLine < 0 ? lines.size()
                                            : static_cast<std::size_t>(place.nInsertAfter) + 1;
    if (at > 0 && lines[at - 1].eol.empty()) {
      // The file ended without a line end: it gets one, and the new last line goes without.
      lines[at - 1].eol = eol;
      added.back().eol.clear();
    }
    lines.insert(lines.begin() + static_cast<std::ptrdiff_t>(at), added.begin(), added.end());
  }

  std::string out;
  out.reserve(bytes.size() + value.size() + key.size() + section.size() + 8);
  for (const ProfileLine& line : lines) out += line.text + line.eol;
  return out;
}

}  // namespace platform
