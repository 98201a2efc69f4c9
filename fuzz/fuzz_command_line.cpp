// Fuzzes CCommandLine against a model of its rules. The input is the argument list, arguments
// separated by zero bytes (an argument can hold any other byte). The model, written from the
// rules and not from the parser: a token is an option when it has two characters or more, the
// first a dash and the second not a decimal digit; each occurrence of an option owns the run of
// non-option tokens that follows it; the first occurrence of a name gets the first token of its
// run as value (or the empty value when the run is empty) and the rest of the run after it; a
// later occurrence drops the first token of its run (its own value) and adds the rest to the
// first occurrence's values; tokens before the first option are dropped. Checked: the count
// Parse returns, every option's values in order, the int 0 thrown for an absent option or
// index, the job option that counts, and a second Parse on the same object starting afresh;
// then what "-c" and "-s" select and whether the terminal is given a warning about them.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <stdlib.h>
#include <string>
#include <utility>
#include <vector>

#include "app/command_line.h"
#include "app/port_choice.h"

namespace {

using Values = std::vector<std::string>;
using Model = std::vector<std::pair<std::string, Values>>;  // in order of first occurrence

bool ModelIsOption(const std::string& token) {
  if (token.size() < 2 || token[0] != '-') return false;
  return std::string("0123456789").find(token[1]) == std::string::npos;
}

Values* Find(Model& model, const std::string& name) {
  for (auto& entry : model) {
    if (entry.first == name) return &entry.second;
  }
  return nullptr;
}

Model BuildModel(const std::vector<std::string>& args) {
  Model model;
  for (std::size_t i = 0; i < args.size(); ++i) {
    if (!ModelIsOption(args[i])) continue;
    Values run;
    for (std::size_t j = i + 1; j < args.size() && !ModelIsOption(args[j]); ++j) {
      run.push_back(args[j]);
    }
    Values* values = Find(model, args[i]);
    if (values == nullptr) {
      Values first{run.empty() ? std::string() : run.front()};
      if (!run.empty()) first.insert(first.end(), run.begin() + 1, run.end());
      model.emplace_back(args[i], std::move(first));
    } else if (!run.empty()) {
      values->insert(values->end(), run.begin() + 1, run.end());
    }
  }
  return model;
}

void Fail(const char* what) {
  std::fprintf(stderr, "command line: %s\n", what);
  std::abort();
}

// GetValue must throw the int 0 and nothing else.
void ExpectAbsent(const CCommandLine& cl, const std::string& option, unsigned int index) {
  try {
    (void)cl.GetValue(option, index);
  } catch (int e) {
    if (e != 0) Fail("GetValue threw an int other than 0");
    return;
  }
  Fail("GetValue returned a value that is not there");
}

void Check(const CCommandLine& cl, int count, const std::vector<std::string>& args) {
  Model model = BuildModel(args);
  if (count != static_cast<int>(model.size())) Fail("Parse counted other options");
  if (cl.OptionCount() != model.size()) Fail("OptionCount differs from the model");
  for (const auto& [option, values] : model) {
    if (!cl.HasOption(option)) Fail("an option is missing");
    for (unsigned int i = 0; i < values.size(); ++i) {
      if (cl.GetValue(option, i) != values[i]) Fail("a value differs");
    }
    ExpectAbsent(cl, option, static_cast<unsigned int>(values.size()));
  }
  // Tokens that are no option of the model, and names near them, are absent (a few: a throw
  // is slow).
  std::vector<std::string> names{"", "-", "-p", "-d", "-u", "-b", "-c", "-s"};
  for (std::size_t i = 0; i < args.size() && i < 8; ++i) {
    names.push_back(args[i]);
    names.push_back("-" + args[i]);
    if (!args[i].empty()) names.push_back(args[i].substr(0, args[i].size() - 1));
  }
  for (const std::string& name : names) {
    if (Find(model, name) != nullptr) continue;
    if (cl.HasOption(name)) Fail("HasOption finds an option that is not there");
    ExpectAbsent(cl, name, 0);
  }

  const char* expectedJob = nullptr;
  for (const char* job : {"-p", "-d", "-u", "-b"}) {
    if (Find(model, job) != nullptr) {
      expectedJob = job;
      break;
    }
  }
  const char* job = cl.FirstJobOption();
  if ((job == nullptr) != (expectedJob == nullptr) ||
      (job != nullptr && std::strcmp(job, expectedJob) != 0)) {
    Fail("FirstJobOption differs from the model");
  }
}

// What "-c" and "-s" select, against the rules: a list entry ("COM1" to "COM9", "COM 1" to
// "COM 9") selects it; an absolute path is this run's device; anything else selects COM1 with
// a warning naming the value. A speed of the list selects it; anything else 115200, warned.
// Without "-c" the settings' name counts ("COM 2" here), without a warning.
void CheckChoices(const CCommandLine& cl) {
  const PortChoice port = ChoosePort(cl, "COM 2");
  if (port.nPortIndex < 0 || port.nPortIndex > 8) Fail("a port outside the list");
  if (!cl.HasOption("-c")) {
    if (port.nPortIndex != 1 || !port.warning.empty() || !port.runDevice.empty()) {
      Fail("without -c the settings' port is not chosen quietly");
    }
  } else {
    const std::string value = cl.GetValue("-c", 0);
    int named = -1;
    for (int i = 0; i < 9; ++i) {
      const std::string n = std::to_string(i + 1);
      if (value == "COM" + n || value == "COM " + n) named = i;
    }
    if (named >= 0) {
      if (port.nPortIndex != named || !port.warning.empty() || !port.runDevice.empty()) {
        Fail("a list entry given to -c is not chosen quietly");
      }
    } else if (value.size() > 1 && value[0] == '/') {
      if (port.runDevice != value || !port.warning.empty()) Fail("a device path is not this run's");
    } else if (port.nPortIndex != 0 || !port.runDevice.empty() || port.warning.empty() ||
               (!value.empty() && port.warning.find("\"" + value + "\"") == std::string::npos)) {
      Fail("an odd -c value does not fall back to COM1 with a warning naming it");
    }
  }

  const SpeedChoice speed = ChooseSpeed(cl);
  const char* const speeds[] = {"9600", "14400", "19200", "38400", "57600", "115200", "230400"};
  int listed = -1;
  if (cl.HasOption("-s")) {
    for (int i = 0; i < 7; ++i) {
      if (cl.GetValue("-s", 0) == speeds[i]) listed = i;
    }
  }
  const bool quiet = !cl.HasOption("-s") || listed >= 0;
  if (speed.nSpeedIndex != (listed >= 0 ? listed : 5) || speed.warning.empty() == !quiet) {
    Fail("-s chose another speed or warned otherwise than the rules say");
  }
}

int ParseArgs(CCommandLine& cl, const std::vector<std::string>& args) {
  std::vector<const char*> argv{"quorin"};
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  return cl.Parse(static_cast<int>(argv.size()), argv.data());
}

}  // namespace

// The port choice reads the settings and looks at devices: both are an empty folder of the
// fuzzer's own (left behind; it stays empty).
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  const char* tmp = std::getenv("TMPDIR");
  std::string folder = std::string(tmp != nullptr && tmp[0] == '/' ? tmp : "/tmp") +
                       "/quorin-fuzz-command-line.XXXXXX";
  if (mkdtemp(folder.data()) == nullptr) Fail("no temporary folder");
  setenv("XDG_CONFIG_HOME", folder.c_str(), 1);
  setenv("QUORIN_TEST_DEVICE_ROOT", folder.c_str(), 1);
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::vector<std::string> args;
  if (size > 0) {
    const char* p = reinterpret_cast<const char*>(data);
    const char* end = p + size;
    for (;;) {
      const char* zero = static_cast<const char*>(std::memchr(p, 0, static_cast<std::size_t>(end - p)));
      args.emplace_back(p, zero == nullptr ? end : zero);
      if (zero == nullptr) break;
      p = zero + 1;
    }
  }

  CCommandLine cl;
  Check(cl, ParseArgs(cl, args), args);
  CheckChoices(cl);
  // The same object again with the arguments in reverse order: nothing of the first parse stays.
  std::vector<std::string> reversed(args.rbegin(), args.rend());
  Check(cl, ParseArgs(cl, reversed), reversed);
  return 0;
}
