#pragma once

#include <QString>

#include <cstdint>
#include <filesystem>
#include <string>

// The few places where the programs meet the operating system.
namespace platform {

// The user's home folder: $HOME (the root folder when unset or empty), made absolute
// and cleaned of ".", ".." and repeated or trailing separators.
std::filesystem::path homePath();
// The running program's file, links resolved; empty when it cannot be read.
std::filesystem::path executablePath();
// The folder for per-user application data ($XDG_DATA_HOME, else ~/.local/share).
std::filesystem::path userDataDir();
// The system's temporary folder.
std::filesystem::path tempDir();
// The per-user runtime folder ($XDG_RUNTIME_DIR), empty when unset.
std::filesystem::path runtimeDir();
// The user's own temporary folder: the runtime folder, else the user's cache
// folder ($XDG_CACHE_HOME, else ~/.cache). Never a folder shared by all users.
std::filesystem::path userTempDir();
// Separator between the entries of PATH.
char pathListSeparator();
// Installed physical memory in bytes (0 when unknown).
uint64_t physicalMemoryBytes();
// Opens an http or https address in the desktop's browser; false for any
// other address and when no browser could be started.
bool openWebPage(const QString& url);
// Shows a local folder in the desktop's file browser; false when it is no
// folder or no file browser could be started.
bool openFolder(const QString& folder);
// Where file dialogs start: the user's documents folder, or the home folder
// when there is none.
QString documentsFolder();
// Puts standard input in binary mode (a no-op on POSIX).
void setStdinBinary();
// Reads up to len bytes from standard input; 0 at end of input, -1 on error.
long readStdin(void* buf, unsigned long len);
// Value of an environment variable, empty when unset.
std::string getEnv(const char* name);
bool setEnv(const char* name, const std::string& value);

} // namespace platform
