// Standard output sent to /dev/null for a while, at the level of the file
// descriptor, so that whatever the shared stages print there (the blocks of
// the level stage, the 361 progress lines of a plane) never reaches the job's
// output.
#pragma once

namespace kelvane {

// Flushes standard output and points descriptor 1 at /dev/null; returns a
// descriptor of the former output for restore_stdout.  Ends the run (exit
// status 2) when that cannot be done.
int silence_stdout();

// Flushes what was written meanwhile (into /dev/null) and points descriptor 1
// back at the saved output, closing the saved descriptor.
void restore_stdout(int saved);

}  // namespace kelvane
