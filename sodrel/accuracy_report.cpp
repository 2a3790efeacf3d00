#include "sodrel/accuracy_report.hpp"

#include <cstdio>
#include <cstdlib>

#include "sodrel/truncation_bound.hpp"

namespace sodrel {

std::string two_digits_up(double v)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1e", v);
    if (std::strtod(text, nullptr) < v) {
        // "d.de+xx": one more in the second digit, 9.9 going to 1.0 of the
        // next decade.
        int digits = (text[0] - '0') * 10 + (text[2] - '0') + 1;
        int exponent = std::atoi(text + 4);
        if (digits == 100) {
            digits = 10;
            ++exponent;
        }
        std::snprintf(text, sizeof text, "%d.%de%+03d", digits / 10, digits % 10, exponent);
    }
    return text;
}

void report_accuracy(const kelvane::run_args& args, const process::line_sink& out)
{
    const double tol = args.accuracy;
    const accuracy_answer a = accurate_jmax(args, tol);
    char tol_text[32];
    std::snprintf(tol_text, sizeof tol_text, "%g", tol);
    if (a.jmax < 0) {
        std::string message = "no jmax up to " + std::to_string(kelvane::jmax_limit) + " ";
        if (!a.bounded)
            message += "reaches accuracy " + std::string(tol_text) +
                       ": the levels beyond J = " + std::to_string(last_exact_j) +
                       " cannot be bounded at this tau";
        else if (a.first_passing < 0)
            message += "passes the cutoff test at this temp and nslice";
        else if (a.best_jmax < 0)
            message += "reaches accuracy " + std::string(tol_text) +
                       ": at this tau the density's weight cut leaves out every level of a sum";
        else
            message += "reaches accuracy " + std::string(tol_text) + ": the smallest bound is " +
                       two_digits_up(a.best_bound) + ", at jmax " + std::to_string(a.best_jmax);
        throw process::stop_run{message};
    }
    out.line("accuracy " + std::string(tol_text) + ": jmax= " + std::to_string(a.jmax) +
             " bound= " + two_digits_up(a.bound));
}

}  // namespace sodrel
