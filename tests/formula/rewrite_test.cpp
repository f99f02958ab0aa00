#include <gtest/gtest.h>
#include "host/memory/formula.h"
namespace f = lczs::memory::formula;
TEST(Rewrite, Placeholder) { EXPECT_EQ(f::translate("A1", 1, 0), "A2"); }
