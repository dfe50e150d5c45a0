#pragma once

// The FFmpeg command line as a function. ffmpeg_main runs one command line
// (argv[0] is the program-name place) in the calling thread and returns
// FFmpeg's exit code; every log line of the run goes through av_log on the
// calling thread, so an installed av_log callback sees them.
//
// Where the command-line program would end the process, the function
// registered with register_toexit is called with the exit code; it is meant
// not to return (it may throw). ffmpeg_main returns the code when it does.
//
// A run can be ended from outside: the function registered with
// register_interrupt in the calling thread is asked at least every 50 ms
// whether to stop; once it returns non-zero the run ends at once, without
// finishing its output, and its code is ffmpegStoppedCode (the program's
// code when a signal ends it). Each thread has its own; a null fn removes it.
constexpr int ffmpegStoppedCode = 255;

int ffmpeg_main(int argc, char** argv);
void register_toexit(void (*fn)(int code));
void register_interrupt(int (*fn)(void* opaque), void* opaque);
