#pragma once

// The "--convert" worker: reads one request on standard input, writes the WAV
// and returns the process exit code.
int convertMain();
