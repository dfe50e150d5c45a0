#pragma once

#include <atomic>
#include <string>

// Outcome of an export job, shared between its owner and the job.
struct ExportStatus
{
    bool ok = true;
    std::string error;              // UTF-8 text of the failure
    std::atomic<bool> stop{false};  // set by another thread to stop the job
    // Set by the job when a stop ended it before all was written; ok stays
    // true and no unfinished file is left.
    bool cancelled = false;
};
