// The jmax of sodrel --accuracy 1e-6 held to kelvane's tables in small cases.
#include "tests/sodrel/table_truncation.hpp"

TEST(AccuracyTables, TheAnswerMeetsTheToleranceAndIsNotMuchLarger)
{
    for (const char* head : {"10 8 -1", "10 8 1"}) table_truncation::check_accuracy_answer(head, "1e-06");
}
