#pragma once
// `orvane` is built without the media libraries, whose loading would cost
// every command a good tenth of a second; the commands that decode or remux
// video hand their command line over to `orvane-av`, the same program built
// with them, which lies beside it.

namespace orvane::cli {

void RememberCommandLine(int argc, char** argv);
// Whether this program has the media libraries.
bool HasMediaLibraries();
// Runs the remembered command line in `orvane-av`; returns only when that
// cannot be started, with the exit status after printing why.
int HandOverToMediaProgram();

}  // namespace orvane::cli
