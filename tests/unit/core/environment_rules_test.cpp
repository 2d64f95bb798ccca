#include "core/environment_rules.h"

#include <gtest/gtest.h>

TEST(EnvironmentBoundedRead, ATextThatFitsIsKeptWhole) {
    EXPECT_EQ(keptLength(5, 6000, TooLong::Refuse), 5u);
    EXPECT_EQ(keptLength(5, 6000, TooLong::Cut), 5u);
    // The largest that fits leaves exactly the terminator's place.
    EXPECT_EQ(keptLength(5999, 6000, TooLong::Refuse), 5999u);
}

TEST(EnvironmentBoundedRead, NothingIsKeptAfterAFailureOrIntoNoRoom) {
    EXPECT_EQ(keptLength(0, 6000, TooLong::Refuse), std::nullopt);
    EXPECT_EQ(keptLength(0, 6000, TooLong::Cut), std::nullopt);
    EXPECT_EQ(keptLength(3, 0, TooLong::Cut), std::nullopt);
}

TEST(EnvironmentBoundedRead, ATooLongTextIsRefusedWhole) {
    // A variable reports the size it needs (terminator included), so a value of exactly the
    // capacity's length reports capacity + 1; a module name reports the capacity itself.
    EXPECT_EQ(keptLength(6000, 6000, TooLong::Refuse), std::nullopt);
    EXPECT_EQ(keptLength(6001, 6000, TooLong::Refuse), std::nullopt);
    EXPECT_EQ(keptLength(4000000000u, 6000, TooLong::Refuse), std::nullopt);
}

TEST(EnvironmentBoundedRead, ATooLongTextIsCutToTheCapacityLessTheTerminator) {
    EXPECT_EQ(keptLength(6000, 6000, TooLong::Cut), 5999u);
    EXPECT_EQ(keptLength(70000, 6000, TooLong::Cut), 5999u);
    EXPECT_EQ(keptLength(2, 1, TooLong::Cut), 0u);
}

TEST(EnvironmentWholeRead, AValueBelowTheOfferedSizeIsWhole) {
    EXPECT_EQ(judgeVariableRead(12, 11, false), VariableRead::Whole);
    // Shrunk in between: what came back is still all there is.
    EXPECT_EQ(judgeVariableRead(12, 4, false), VariableRead::Whole);
}

TEST(EnvironmentWholeRead, ZeroIsAnEmptyValueUnlessTheSystemSaysNotFound) {
    EXPECT_EQ(judgeVariableRead(1, 0, false), VariableRead::Whole);
    EXPECT_EQ(judgeVariableRead(12, 0, true), VariableRead::Vanished);
}

TEST(EnvironmentWholeRead, AValueThatGrewIsReadAgain) {
    // The system then reports the size it needs now, terminator included.
    EXPECT_EQ(judgeVariableRead(12, 12, false), VariableRead::Grew);
    EXPECT_EQ(judgeVariableRead(12, 40, false), VariableRead::Grew);
}
