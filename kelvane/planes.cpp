// Placeholder until the density stage lands: a run that asks for planes ends
// after its thermodynamic report.
#include "planes.hpp"

namespace kelvane {

class plane_stage {};
void plane_stage_deleter::operator()(plane_stage* p) const { delete p; }

plane_stage_ptr reserve_plane_stage(const run_args& args)
{
    if (args.ithe1 > args.ithe2) return nullptr;
    return plane_stage_ptr(new plane_stage);
}

void run_planes(plane_stage&, const run_args&, const rotlev&, double) {}

}  // namespace kelvane
