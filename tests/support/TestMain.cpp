// Test entry: the shared generator exists for the whole run, as in the programs.
#include <gtest/gtest.h>

#include "random/KOZTools.hpp"

int main(int argc, char** argv) {
    ::testing::InitGoogleTest(&argc, argv);
    InitialiserKOZTools();
    const int resultat = RUN_ALL_TESTS();
    FinaliserKOZTools();
    return resultat;
}
