// The jmax of sodrel --accuracy 1e-6 held to kelvane's tables at that jmax
// and 20 above, in the larger cases (a minute or two): water at 10 K and 128
// slices, and a hotter run.
#include "tests/sodrel/table_truncation.hpp"

namespace {

TEST(AccuracyTablesLarge, TheAnswerMeetsTheToleranceAndIsNotMuchLarger)
{
    for (const char* head : {"10 128 -1", "40 8 -1"}) {
        SCOPED_TRACE(head);
        table_truncation::check_accuracy_answer({head}, "1e-6");
    }
}

}  // namespace
