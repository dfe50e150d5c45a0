#include "platform/SharedLibrary.h"

#include <dlfcn.h>

SharedLibrary::SharedLibrary(const char* fileName)
{
    handle = ::dlopen(fileName, RTLD_NOW | RTLD_LOCAL);
    if (!handle) {
        const char* e = ::dlerror();
        err = e ? e : std::string("cannot load ") + fileName;
    }
}

void* SharedLibrary::symbol(const char* name)
{
    if (!handle)
        return nullptr;
    void* p = ::dlsym(handle, name);
    if (!p && err.empty())
        err = std::string("missing symbol ") + name;
    return p;
}

void SharedLibrary::unload()
{
    if (handle)
        ::dlclose(handle);
    handle = nullptr;
}
