// lastch: the length of a blank-padded name.
#include <gtest/gtest.h>

#include <string>

#include "routines/lastch.hpp"

using routines::lastch;

TEST(Lastch, FindsTheLastNonBlankWithinTheFirstNCharacters)
{
    const std::string name = std::string("rho.den042") + std::string(20, ' ');
    EXPECT_EQ(lastch(name.data(), 30), 10);
    EXPECT_EQ(lastch(name.data(), 7), 7);
    EXPECT_EQ(lastch(std::string(30, ' ').data(), 30), 0);
    EXPECT_EQ(lastch(name.data(), 0), 0);
    EXPECT_EQ(lastch(name.data(), -3), 0);
    EXPECT_EQ(lastch(std::string(30, 'x').data(), 30), 30);
}

TEST(Lastch, CountsOnlyTheSpaceAsBlank)
{
    const std::string s = std::string("ab\t") + std::string(5, ' ');
    EXPECT_EQ(lastch(s.data(), 8), 3);
}
