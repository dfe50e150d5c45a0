#pragma once

#include <string>

// Port on which our voice and model server listens by default (loopback).
constexpr int defaultVoiceServerPort = 47520;

// Environment variable that overrides the server address.
constexpr const char* voiceServerEnvVar = "QV_VOICE_SERVER";

// Base address of the voice and model server, ending in "/": the value of
// QV_VOICE_SERVER when set, else our server on its default loopback port.
std::string voiceServerBase();
