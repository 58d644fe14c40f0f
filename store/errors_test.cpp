#include "store/errors.h"

#include <gtest/gtest.h>

namespace tlvx {
namespace {

TEST(StoreErrors, OpenErrorsAreQmzErrorsWithFormattedMessages) {
    try {
        throw EOrvOpenError(ecInvalidFormat, TQmzMessage::InvalidFormat, {"db/x.orv"});
    } catch (const EQmzError& e) {
        EXPECT_EQ(e.ErrorCode(), 202);
        EXPECT_STREQ(e.what(), "Invalid file format: \"db/x.orv\" is not a valid Orv file");
    }
    EQmzError crc(ecAtomTableCRC, TQmzMessage::AtomTableCRC, {"/d/a.orv", 0x1F2u});
    EXPECT_STREQ(crc.what(), "/d/a.orv: Atom table entry ($000001f2) CRC check failed");
    EQmzError open(ecOpenFile, TQmzMessage::OpenFile, {"a.orv", "No such file or directory"});
    EXPECT_STREQ(open.what(), "Error opening file \"a.orv\": No such file or directory");
    EXPECT_EQ(EQmzError::CreateFmt(19, "%s: %d%%", {"x", -42}).Message(), "x: -42%");
}

TEST(StoreErrors, MessageTableHasGapsAndCodelessExceptions) {
    EXPECT_TRUE(MessageText(0xFF1E).empty());
    EXPECT_TRUE(MessageText(0xFF1F).empty());
    EXPECT_EQ(MessageText(TQmzMessage::CannotAbort), "Cannot abort transaction");
    EXPECT_STREQ(EInvalidIndex().what(), "Invalid dynamic array index");
    EXPECT_STREQ(EInvalidTrID().what(), "Invalid transaction ID");
    // A format whose arguments do not match fails cleanly.
    EXPECT_THROW(FormatText("%s %s", {"one"}), std::invalid_argument);
    EXPECT_THROW(FormatText("%d", {"text"}), std::invalid_argument);
}

TEST(StoreErrors, AssertionNamesFileAndLine) {
    try {
        QMZ_ASSERT(1 + 1 == 3);
        FAIL();
    } catch (const EAssertionFailed& e) {
        std::string text = e.what();
        EXPECT_EQ(text.rfind("Assertion failure (errors_test.cpp, line ", 0), 0u) << text;
    }
}

}  // namespace
}  // namespace tlvx
