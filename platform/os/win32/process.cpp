#include "platform/os/process.h"

#include <cstdio>
#include <iostream>

#include "platform/os/win32/command_line.h"
#include "platform/os/win32/wide.h"
#include "platform/os/win32/win32_sdk.h"

namespace platform {

namespace {

// One argument as CommandLineToArgvW reads it back: in quotes when it is empty or holds a
// blank or a quote; inside, a quote is escaped with a backslash, and backslashes are doubled
// where a quote follows them (an escaped one, or the closing one).
void AppendQuotedArgument(const std::string& arg, std::string& line) {
  if (!arg.empty() && arg.find_first_of(" \t\n\v\"") == std::string::npos) {
    line += arg;
    return;
  }
  line += '"';
  std::size_t backslashes = 0;
  for (const char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    if (c == '"') {
      line.append(backslashes * 2 + 1, '\\');
    } else {
      line.append(backslashes, '\\');
    }
    backslashes = 0;
    line += c;
  }
  line.append(backslashes * 2, '\\');
  line += '"';
}

}  // namespace

std::string BuildCommandLine(const std::string& program, const std::vector<std::string>& args) {
  std::string line = "\"" + program + "\"";
  for (const std::string& arg : args) {
    line += ' ';
    AppendQuotedArgument(arg, line);
  }
  return line;
}

std::vector<std::string> CommandLineArguments(int argc, char** argv) {
  // argv holds the arguments in the ANSI code page; the wide command line has them all.
  std::vector<std::string> args;
  int nArgs = 0;
  wchar_t** wideArgs = ::CommandLineToArgvW(::GetCommandLineW(), &nArgs);
  if (wideArgs != nullptr) {
    for (int i = 0; i < nArgs; ++i) args.push_back(WideToUtf8(std::wstring(wideArgs[i])));
    ::LocalFree(wideArgs);
    return args;
  }
  for (int i = 0; i < argc; ++i) args.emplace_back(argv[i] != nullptr ? argv[i] : "");
  return args;
}

std::string GetModuleFileName() {
  std::wstring buffer(MAX_PATH, L'\0');
  for (;;) {
    const ::DWORD n =
        ::GetModuleFileNameW(nullptr, buffer.data(), static_cast<::DWORD>(buffer.size()));
    if (n == 0) return std::string();
    // A path that fills the buffer may have been cut short.
    if (n < buffer.size()) return WideToUtf8(buffer.data(), n);
    if (buffer.size() >= 32768) return std::string();
    buffer.resize(buffer.size() * 2);
  }
}

std::string GetModuleBaseName() {
  std::string name = FileNameOf(GetModuleFileName());
  if (name.empty()) return "quorin";
  if (name.size() > 4) {
    std::string extension = name.substr(name.size() - 4);
    for (char& c : extension) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c - 'A' + 'a' : c);
    if (extension == ".exe") name.resize(name.size() - 4);
  }
  return name;
}

bool StartDetachedProcess(const std::string& program, const std::vector<std::string>& args) {
  const std::wstring application = Utf8ToWide(program);
  std::wstring commandLine = Utf8ToWide(BuildCommandLine(program, args));
  if (application.empty()) return false;
  ::STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  ::PROCESS_INFORMATION info{};
  // No console of ours, no handle of ours, a process group of its own: it outlives this
  // process and no Ctrl+C meant for this one reaches it.
  if (!::CreateProcessW(application.c_str(), commandLine.data(), nullptr, nullptr, FALSE,
                        DETACHED_PROCESS | CREATE_NEW_PROCESS_GROUP, nullptr, nullptr, &startup,
                        &info)) {
    return false;
  }
  ::CloseHandle(info.hThread);
  ::CloseHandle(info.hProcess);
  return true;
}

void ExitProcessNow(int status) {
  std::cout.flush();
  std::cerr.flush();
  std::fflush(stdout);
  std::fflush(stderr);
  ::ExitProcess(static_cast<UINT>(status));
}

}  // namespace platform
