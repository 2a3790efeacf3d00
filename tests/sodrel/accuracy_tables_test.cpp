// The jmax of sodrel --accuracy 1e-6, held to kelvane's tables in small
// cases: their printed rho, rho.eng and rho.esq change by at most 1e-6 of
// their largest values up to jmax + 20, and the answer is within 15 % of the
// smallest jmax that achieves it.
#include "tests/sodrel/table_truncation.hpp"

namespace {

using table_truncation::check_accuracy_answer;

TEST(AccuracyTables, TheAnswerMeetsTheToleranceAndIsNotMuchLarger)
{
    // Both parities, and odd K only at another step.
    for (const char* head : {"10 8 -1", "10 16 1"}) {
        SCOPED_TRACE(head);
        check_accuracy_answer({head}, "1e-6");
    }
}

}  // namespace
