#pragma once

#include <string>

// A shared library opened at run time by its file name ("libfoo.so.1") or path.
// It stays loaded for the rest of the process unless unloaded.
class SharedLibrary
{
public:
    explicit SharedLibrary(const char* fileName);
    // Gives the library back; its functions must no longer be in use.
    void unload();
    SharedLibrary(const SharedLibrary&) = delete;
    SharedLibrary& operator=(const SharedLibrary&) = delete;

    bool isLoaded() const { return handle != nullptr; }
    // The first failure: the library or a symbol that could not be found.
    const std::string& error() const { return err; }

    // Looks up a function; false (error set) when the library lacks it.
    template <class F>
    bool resolve(const char* name, F& fn)
    {
        fn = reinterpret_cast<F>(symbol(name));
        return fn != nullptr;
    }

private:
    void* symbol(const char* name);

    void* handle = nullptr;
    std::string err;
};
