// CCommandLine: the option parser of the start-up. An ordered map from option text ("-c") to
// the values that followed it. Tokens are options when they are at least two characters long,
// start with a dash and the second character is not a digit (so "-5" is a value).
#pragma once

#include <map>
#include <string>
#include <vector>

class CCommandLine {
 public:
  CCommandLine() = default;
  virtual ~CCommandLine() = default;

  // Clears the map, reads arguments 1..argc-1 and returns the number of distinct options.
  int Parse(int argc, const char* const* argv);
  static bool IsOption(const std::string& token);
  bool HasOption(const std::string& option) const;
  // The option's value number index; throws the int 0 when the option or index is absent.
  std::string GetValue(const std::string& option, unsigned int index) const;
  std::size_t OptionCount() const { return m_options.size(); }
  // The job option that counts: the first of "-p", "-d", "-u", "-b" present; nullptr if none.
  const char* FirstJobOption() const;

 private:
  std::map<std::string, std::vector<std::string>> m_options;
};
