#pragma once

// The longest request text the worker accepts (64 MiB).
constexpr int kMaxRequestBytes = 64 * 1024 * 1024;

// The "--convert" worker: reads one request on standard input, writes the WAV
// and returns the process exit code.
int convertMain();
