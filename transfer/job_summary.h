// The words for an armed job: what the terminal prints and the window's file name label shows
// as its tooltip when a job is armed, and the warning when the command line asks for a job the
// Send button would not have chosen for that file.
#pragma once

#include <cstdint>
#include <string>

#include "transfer/job_observer.h"

// 1048576 -> "1,048,576".
std::string GroupThousands(std::uint64_t n);

// The job the Send button takes a file for, by its length, its first two bytes and its name:
// JOB_SOFTWARE, JOB_DATABASE, JOB_CHANNEL_LIST (also a list for the companion program) or
// JOB_INVALID.
int ClassifyByContent(const std::string& path, std::uint64_t nLength, const BYTE* head,
                      std::size_t nHead);

// "Software image, 1,048,576 bytes, data at 115200 baud".
std::string JobSummaryText(const JobSummary& summary);

// Empty when the Send button would have chosen the same job for the file; otherwise what it
// would have done instead. Boot images are never the Send button's choice, so they are not
// compared.
std::string JobKindWarning(const JobSummary& summary);
