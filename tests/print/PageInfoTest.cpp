#include <gtest/gtest.h>

#include "print/PageInfo.h"

using namespace scrivane;

TEST(PageInfo, PageStartGrowsBeyondFiveHundredPages) {
  ListingPageInfo info;
  EXPECT_EQ(info.PageStart(1), 0);
  info.SetPageStart(1200, 77);
  EXPECT_EQ(info.PageStart(1200), 77);
  EXPECT_EQ(info.PageStart(600), 0);
  EXPECT_EQ(info.PageStart(5000), 0);
}
