#pragma once

#include <cstddef>

// Helpers of the peak-memory benchmarks.

// A value in kB from /proc/self/status: "VmRSS" is the resident memory now, "VmHWM" its peak
// since the start or the last ResetPeakMemory. -1 when the key is missing.
double StatusKilobytes(const char* key);

// Starts a new peak: from now on VmHWM counts from the resident memory of this moment.
void ResetPeakMemory();

// Writes a generated listing page of rows work rows to path from a child process, so that
// making the page never counts in this process's memory. False when it could not be written.
bool WritePageInChild(const char* path, std::size_t rows);
