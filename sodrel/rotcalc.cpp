#include "sodrel/rotcalc.hpp"

#include <new>
#include <string>

#include "kelvane/levels/level_stage.hpp"
#include "process/process.hpp"

namespace sodrel {

void rotcalc(const kelvane::run_args& args)
{
    const process::line_sink out = process::line_sink::standard_output();
    // Only the two highest J; for jmax = 0 the first is J = -1, whose even
    // block has no basis state against an order of -1, and the row check
    // stops the run there.
    const int jlow = args.jmax - 1;
    kelvane::level_storage storage;
    try {
        storage = kelvane::reserve_levels(jlow, args.jmax, false, 1);
    } catch (const std::bad_alloc&) {
        throw process::run_failure("cannot obtain storage for jmax " + std::to_string(args.jmax));
    }
    const kelvane::time_steps steps = kelvane::open_level_stage(args, out);
    kelvane::compute_levels(storage, args, out);
    kelvane::close_level_stage(storage.levels, args, steps, out);
    throw process::stop_run{};
}

}  // namespace sodrel
