// Installs ask the converter's worker mode whether a voice loads: in these
// tests that is the built program, not the test program.
#include "voices/VoiceLoadCheck.h"

#include "TestUtil.h"

#include <gtest/gtest.h>

namespace {

struct VoiceCheckProgram : testing::Environment
{
    void SetUp() override { setVoiceCheckProgram((testutil::binDir() + "/salvormithe").toStdString()); }
};

const testing::Environment* const environment = testing::AddGlobalTestEnvironment(new VoiceCheckProgram);

} // namespace
