#include "app/Startup.h"

#include "common/Platform.h"
#include "platform/SharedLibrary.h"
#include "synthesis/ConvertWorker.h"

#include <clocale>
#include <cstdio>
#include <cstring>

bool isConvertMode(int argc, char** argv)
{
    return argc >= 2 && std::strcmp(argv[1], "--convert") == 0;
}

std::filesystem::path windowModulePath()
{
    // Always a path, never a bare name the loader would look for elsewhere.
    std::filesystem::path dir = platform::executablePath().parent_path();
    return (dir.empty() ? std::filesystem::path(".") : dir) / "salvormithe_window.so";
}

int runWindowModule(int argc, char** argv, const std::filesystem::path& module)
{
    // Loaded for the rest of the process: Qt's objects live until its exit.
    static SharedLibrary* library = new SharedLibrary(module.c_str());
    int (*entry)(int, char**) = nullptr;
    if (!library->resolve(windowEntryName, entry)) {
        std::fprintf(stderr, "salvormithe: cannot start the window: %s\n", library->error().c_str());
        return 1;
    }
    return entry(argc, argv);
}

int salvormitheMain(int argc, char** argv)
{
    if (isConvertMode(argc, argv)) {
        // The locale a Qt application would take, numbers in the C format.
        std::setlocale(LC_ALL, "");
        std::setlocale(LC_NUMERIC, "C");
        return convertMain();
    }
    return runWindowModule(argc, argv, windowModulePath());
}
