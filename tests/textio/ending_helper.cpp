// A small program that ends in the way its first argument names, for the
// tests of the endings (which need a process of their own to end).
#include "textio/textio.hpp"

#include <cstdio>
#include <cstring>
#include <string>

namespace {

void end_as_told(const std::string& how)
{
    // Some report first, more than one stdio buffer of it for "big".
    textio::out_line("tau=   0.00144");
    if (how.rfind("big", 0) == 0)
        for (int n = 0; n < 20000; ++n) textio::out_line(textio::free_line().text("row").integer(n).str());
    if (how == "stop" || how == "big-stop") textio::stop("too large contribution from emax");
    if (how == "bare-stop") textio::stop();
    if (how == "io-failure") textio::io_failure("cannot open rho.den000 for writing");
    if (how == "usage") textio::usage_error("temp: not a number: x", "kelvane temp nslice iodevn");
    if (how == "flush") textio::flush_out();
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string how = argc > 1 ? argv[1] : "";
    return textio::run_main("ending_helper", [&] { end_as_told(how); });
}
