// The jmax of sodrel --accuracy 1e-6 held to kelvane's tables for water at
// 10 K and 128 slices, and at 40 K and 8 (a minute or two).
#include "tests/sodrel/table_truncation.hpp"

TEST(AccuracyTablesLarge, TheAnswerMeetsTheToleranceAndIsNotMuchLarger)
{
    for (const char* head : {"10 128 -1", "40 8 -1"}) table_truncation::check_accuracy_answer(head, "1e-06");
}
