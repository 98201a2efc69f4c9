// What a test may ask of its own process: how many threads it runs and the CPU it used; and of
// another one (Linux): the files it has mapped.
#pragma once

#include <string>
#include <vector>

int ThreadCount();
double ProcessCpuSeconds();

#ifndef _WIN32
// The files mapped into the process (executable, libraries, modules), each once, from
// /proc/<pid>/maps; empty when the process cannot be read.
std::vector<std::string> MappedFiles(int pid);
#endif
