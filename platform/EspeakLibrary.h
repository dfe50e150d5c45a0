#pragma once

#include <espeak-ng/speak_lib.h>

#include <string>

// espeak-ng, loaded on first use so that a process which never speaks does not
// load it and the many libraries it needs.
struct EspeakLibrary
{
    decltype(&espeak_Initialize) initialize = nullptr;
    decltype(&espeak_SetSynthCallback) setSynthCallback = nullptr;
    decltype(&espeak_SetVoiceByName) setVoiceByName = nullptr;
    decltype(&espeak_SetVoiceByFile) setVoiceByFile = nullptr;
    decltype(&espeak_ListVoices) listVoices = nullptr;
    decltype(&espeak_SetParameter) setParameter = nullptr;
    decltype(&espeak_Synth) synth = nullptr;

    // The library, loaded once per process; null with error set when it cannot be used.
    static const EspeakLibrary* get(std::string& error);
};
