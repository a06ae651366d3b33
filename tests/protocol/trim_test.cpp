#include <gtest/gtest.h>

#include "protocol/text.h"

namespace {

std::string trimmed(std::string text) {
    return trim(text);
}

TEST(Trim, RemovesTheFourSeparatorsOnBothSidesAndKeepsInnerBlanks) {
    EXPECT_EQ(trimmed(" \t\r\nnet work\r\n\t "), "net work");
}

TEST(Trim, LeavesTextMadeOnlyOfSeparatorsUnchanged) {
    EXPECT_EQ(trimmed("\r\n"), "\r\n");
    EXPECT_EQ(trimmed(" \t "), " \t ");
    EXPECT_EQ(trimmed(""), "");
}

TEST(Trim, KeepsOtherControlCharacters) {
    EXPECT_EQ(trimmed("\v\fx\f"), "\v\fx\f");
    EXPECT_EQ(trimmed(std::string(" \0x\0 ", 5)), std::string("\0x\0", 3));
}

TEST(Trim, WorksInPlaceAndReturnsTheSameString) {
    std::string text = "  a  ";
    std::string& result = trim(text);
    EXPECT_EQ(&result, &text);
    EXPECT_EQ(text, "a");
}

}  // namespace
