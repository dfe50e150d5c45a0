#pragma once

#include <filesystem>

// The program's entry: worker mode for "--convert", the window otherwise.
// The executable holds the start-up and the worker only; the window half is a
// module beside it, loaded in window mode, so that a worker loads no GUI library.
int salvormitheMain(int argc, char** argv);

// True when the first argument after the program path is exactly "--convert".
bool isConvertMode(int argc, char** argv);

// The window module beside the running program.
std::filesystem::path windowModulePath();

// Loads the module and runs the window; returns the exit code. A module that
// cannot be loaded is reported on standard error and ends with 1.
int runWindowModule(int argc, char** argv, const std::filesystem::path& module);

// The module's entry point, looked up by its name.
extern "C" int salvormitheWindowMain(int argc, char** argv);
constexpr const char* windowEntryName = "salvormitheWindowMain";
