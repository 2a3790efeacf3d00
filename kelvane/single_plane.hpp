// One theta plane on its own: a run that computes only some of the planes of
// a range (one rank of a job, one task of a job array) makes each of them
// exactly as the serial plane loop does, so its files do not depend on which
// process made them.
#pragma once

#include "kelvane/planes.hpp"
#include "kelvane/run_args.hpp"

namespace kelvane {

// Computes plane ithe (0..180) and writes its four files under temporary
// names, renamed into place once complete; the header goes into plane 0.
// plan_levels must have run on the stage.  The file name is not printed; the
// 361 progress lines of the evaluation are.  A failure ends the run (exit
// status 2) with the files of earlier planes intact.
void write_plane(plane_stage& stage, const run_args& args, int ithe);

}  // namespace kelvane
