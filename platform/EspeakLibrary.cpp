#include "platform/EspeakLibrary.h"

#include "common/Platform.h"
#include "platform/SharedLibrary.h"

#include <memory>

namespace {

struct Loaded
{
    std::unique_ptr<SharedLibrary> silentAudio;
    std::unique_ptr<SharedLibrary> lib;
    EspeakLibrary api;
    bool ok = false;

    Loaded()
    {
        // Our stand-in for espeak-ng's audio library first, when it is beside the
        // program; should espeak-ng not load with it, it loads with its own.
        std::filesystem::path dir = platform::executablePath().parent_path();
        if (!dir.empty())
            silentAudio = std::make_unique<SharedLibrary>((dir / "salvormithe_silentaudio.so").c_str());
        lib = std::make_unique<SharedLibrary>(QV_ESPEAKNG_SONAME);
        if (!lib->isLoaded() && silentAudio && silentAudio->isLoaded()) {
            silentAudio->unload();
            lib = std::make_unique<SharedLibrary>(QV_ESPEAKNG_SONAME);
        }
        ok = lib->resolve("espeak_Initialize", api.initialize) &&
             lib->resolve("espeak_SetSynthCallback", api.setSynthCallback) &&
             lib->resolve("espeak_SetVoiceByName", api.setVoiceByName) &&
             lib->resolve("espeak_SetVoiceByFile", api.setVoiceByFile) &&
             lib->resolve("espeak_ListVoices", api.listVoices) &&
             lib->resolve("espeak_SetParameter", api.setParameter) && lib->resolve("espeak_Synth", api.synth);
    }
};

} // namespace

const EspeakLibrary* EspeakLibrary::get(std::string& error)
{
    static const Loaded loaded;
    if (!loaded.ok) {
        error = "Cannot load espeak-ng: " + loaded.lib->error();
        return nullptr;
    }
    return &loaded.api;
}
