// What a test may ask of its own process: how many threads it runs and the CPU it used.
#pragma once

int ThreadCount();
double ProcessCpuSeconds();
