#include <gtest/gtest.h>

#include <set>

#include "model/error_notes.h"

namespace tlvx {
namespace {

class ErrorNotesTest : public ::testing::Test {
protected:
    void SetUp() override { ResetErrorNotes(); }
    void TearDown() override { ResetErrorNotes(); }
};

TEST_F(ErrorNotesTest, TableIsCompleteAndDistinct) {
    auto notes = AllNoteTexts();
    EXPECT_EQ(notes.size(), 28u);
    std::set<std::string_view> distinct(notes.begin(), notes.end());
    EXPECT_EQ(distinct.size(), notes.size());
    EXPECT_TRUE(distinct.count("errotN10"));
    EXPECT_TRUE(distinct.count("error #90"));
    EXPECT_TRUE(distinct.count("error1!"));
}

TEST_F(ErrorNotesTest, OnlyTheLastDateNoteLeavesTheFlag) {
    NoteError(kNoteLastDateCookie);
    NoteError("Error2!");
    EXPECT_FALSE(ErrorFlag());
    for (std::string_view note : AllNoteTexts()) {
        ResetErrorNotes();
        NoteError(note);
        EXPECT_EQ(ErrorFlag(), note != "Error2!") << note;
    }
}

TEST_F(ErrorNotesTest, ComparisonIsExact) {
    for (std::string_view near : {"error2!", "Error2", "Error2! ", " Error2!", ""}) {
        ResetErrorNotes();
        NoteError(near);
        EXPECT_TRUE(ErrorFlag()) << "'" << near << "'";
    }
}

TEST_F(ErrorNotesTest, FlagStaysOnceSet) {
    NoteError(kNoteOpenCounter);
    NoteError(kNoteLastDateCookie);
    SetInstallMode(true);
    NoteError(kNoteNodeHit);
    EXPECT_TRUE(ErrorFlag());
}

TEST_F(ErrorNotesTest, InstallModeSuppressesEveryNote) {
    SetInstallMode(true);
    EXPECT_TRUE(InstallMode());
    for (std::string_view note : AllNoteTexts()) NoteError(note);
    EXPECT_FALSE(ErrorFlag());
    SetInstallMode(false);
    NoteError(kNoteSkipOpen);
    EXPECT_TRUE(ErrorFlag());
}

}  // namespace
}  // namespace tlvx
