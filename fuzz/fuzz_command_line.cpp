// Fuzzes CCommandLine against a model of its rules. The input is the argument list, arguments
// separated by zero bytes (an argument can hold any other byte). The model, written from the
// rules and not from the parser: a token is an option when it has two characters or more, the
// first a dash and the second not a decimal digit; each occurrence of an option owns the run of
// non-option tokens that follows it; the first occurrence of a name gets the first token of its
// run as value (or the empty value when the run is empty) and the rest of the run after it; a
// later occurrence drops the first token of its run (its own value) and adds the rest to the
// first occurrence's values; tokens before the first option are dropped. Checked: the count
// Parse returns, every option's values in order, the int 0 thrown for an absent option or
// index, the job option that counts, and a second Parse on the same object starting afresh.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <utility>
#include <vector>

#include "app/command_line.h"

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

int ParseArgs(CCommandLine& cl, const std::vector<std::string>& args) {
  std::vector<const char*> argv{"quorin"};
  for (const std::string& arg : args) argv.push_back(arg.c_str());
  return cl.Parse(static_cast<int>(argv.size()), argv.data());
}

}  // namespace

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
  // The same object again with the arguments in reverse order: nothing of the first parse stays.
  std::vector<std::string> reversed(args.rbegin(), args.rend());
  Check(cl, ParseArgs(cl, reversed), reversed);
  return 0;
}
