#pragma once

// Command line of the voice server:
//   --catalogue DIR   serve this catalogue folder (required)
//   --host HOST       address to listen on (default 127.0.0.1)
//   --port N          port (default: the converter's default port; 0 = any free port)
// Prints "listening on http://HOST:PORT/" once it accepts connections and
// serves until SIGINT or SIGTERM.
//   --make-demo DIR --converter PROGRAM   writes the demo catalogue into DIR
//                                         instead, speaking its samples with PROGRAM.
//   --training-env ARCHIVE                with --make-demo: adds the training environment
//                                         archive and base checkpoints to it.
int voiceServerMain(int argc, char** argv);
