// A small program that ends in the way its first argument names, for the
// tests of the endings (which need a process of their own to end).
#include <string>

#include "process/process.hpp"
#include "textio/textio.hpp"

namespace {

void end_as_told(const std::string& how)
{
    // Some report first, more than one stdio buffer of it for "big".
    process::out_line("tau=   0.00144");
    if (how.rfind("big", 0) == 0)
        for (int n = 0; n < 20000; ++n) process::out_line(textio::free_line().text("row").integer(n).str());
    // Far more than a pipe holds, for a reader that goes away.
    if (how == "endless")
        for (;;) process::out_line(textio::free_line().text("row").integer(0).str());
    if (how == "stop" || how == "big-stop") throw process::stop_run{"too large contribution from emax"};
    if (how == "bare-stop") throw process::stop_run{};
    if (how == "io-failure") throw process::run_failure("cannot open rho.den000 for writing");
    if (how == "usage") throw process::usage_failure("temp: not a number: x", "kelvane temp nslice iodevn");
    if (how == "flush") process::flush_out();
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string how = argc > 1 ? argv[1] : "";
    return process::run_main("ending_helper", [&] { end_as_told(how); });
}
