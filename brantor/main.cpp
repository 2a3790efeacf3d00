// brantor: scans the interaction energy of a water molecule with the carbon
// cage over a fixed grid of displacements and orientations.  Writes the
// detail file "fort.44" and the scan file "fort.33"; takes no arguments and
// prints nothing on standard output.
//
// Both files are written under temporary names and put in place together
// once the scan is complete, "fort.33" last, so that a run that fails or is
// interrupted leaves the files of an earlier run as they were.
#include <algorithm>
#include <string_view>
#include <thread>

#include "brantor/scan.hpp"
#include "process/process.hpp"
#include "replacement/file_set.hpp"

int main()
{
    return process::run_main("brantor", [] {
        // Both names are checked before the scan begins.
        replacement::file_set files({"fort.44", "fort.33"});
        const int nthreads = static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
        brantor::scan(nthreads, [&](std::string_view detail, std::string_view report) {
            files.write(0, detail);
            files.write(1, report);
        });
        files.place();
    });
}
