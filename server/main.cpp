#include "server/VoiceServerMain.h"

int main(int argc, char** argv)
{
    return voiceServerMain(argc, argv);
}
