#include "platform/EspeakLibrary.h"

#include "platform/SharedLibrary.h"

namespace {

struct Loaded
{
    SharedLibrary lib{QV_ESPEAKNG_SONAME};
    EspeakLibrary api;
    bool ok = false;

    Loaded()
    {
        ok = lib.resolve("espeak_Initialize", api.initialize) &&
             lib.resolve("espeak_SetSynthCallback", api.setSynthCallback) &&
             lib.resolve("espeak_SetVoiceByName", api.setVoiceByName) &&
             lib.resolve("espeak_SetVoiceByFile", api.setVoiceByFile) &&
             lib.resolve("espeak_ListVoices", api.listVoices) &&
             lib.resolve("espeak_SetParameter", api.setParameter) && lib.resolve("espeak_Synth", api.synth);
    }
};

} // namespace

const EspeakLibrary* EspeakLibrary::get(std::string& error)
{
    static const Loaded loaded;
    if (!loaded.ok) {
        error = "Cannot load espeak-ng: " + loaded.lib.error();
        return nullptr;
    }
    return &loaded.api;
}
