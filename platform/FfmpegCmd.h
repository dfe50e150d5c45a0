#pragma once

// The FFmpeg command line as a function. ffmpeg_main runs one command line
// (argv[0] is the program-name place) in the calling thread and returns
// FFmpeg's exit code; every log line of the run goes through av_log on the
// calling thread, so an installed av_log callback sees them.
//
// Where the command-line program would end the process, the function
// registered with register_toexit is called with the exit code; it is meant
// not to return (it may throw). ffmpeg_main returns the code when it does.
int ffmpeg_main(int argc, char** argv);
void register_toexit(void (*fn)(int code));
