#include "settings/profile_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>

#include "tests/settings/temp_dir.h"

namespace quorvane {
namespace {

using Status = ProfileFile::LoadStatus;

TEST(ProfileFileLookup, MatchesNamesWithoutCaseAndValuesWithoutBlanks) {
    const ProfileFile f(
        "[ GPRS ]\r\n"
        "  APN Name \t=  internet.example  \r\n"
        "[event]\r\n"
        "low speed out2=1\r\n");
    EXPECT_EQ(f.Get("GPRS", "APN Name"), "internet.example");
    EXPECT_EQ(f.Get("gprs", "apn name"), "internet.example");
    EXPECT_EQ(f.Get("Event", "Low Speed Out2"), "1");
    EXPECT_EQ(f.Get("GPRS", "APN"), std::nullopt);
    EXPECT_EQ(f.Get("Main", "APN Name"), std::nullopt);
    EXPECT_EQ(f.GetString("Main", "x", "fallback"), "fallback");
}

TEST(ProfileFileLookup, FollowsTheProfileRules) {
    const ProfileFile f(
        "Before=outside any section\n"
        "[S]\n"
        ";Comment=looks like a key\n"
        "no equals sign here\n"
        "Double=\"  kept blanks  \"\n"
        "Single='x'\n"
        "Mismatched=\"x'\n"
        "Lone=\"\n"
        "Empty=\n"
        "Dup=first\n"
        "DUP=second\n"
        "Eq=a=b\n"
        "[Other]\n"
        "K=other\n"
        "[s]\n"
        "Hidden=in the second S\n");
    EXPECT_EQ(f.Get("S", "Before"), std::nullopt);
    EXPECT_EQ(f.Get(";Comment", "x"), std::nullopt);
    EXPECT_EQ(f.Get("S", ";Comment"), "looks like a key");
    EXPECT_EQ(f.Get("S", "no equals sign here"), std::nullopt);
    EXPECT_EQ(f.Get("S", "Double"), "  kept blanks  ");
    EXPECT_EQ(f.Get("S", "Single"), "x");
    EXPECT_EQ(f.Get("S", "Mismatched"), "\"x'");
    EXPECT_EQ(f.Get("S", "Lone"), "\"");
    EXPECT_EQ(f.Get("S", "Empty"), "");
    EXPECT_EQ(f.Get("S", "Dup"), "first");
    EXPECT_EQ(f.Get("S", "Eq"), "a=b");
    EXPECT_EQ(f.Get("Other", "K"), "other");
    EXPECT_EQ(f.Get("S", "Hidden"), std::nullopt);
}

TEST(ProfileFileLookup, CutsLongValuesTo2047Characters) {
    const std::string value(5000, 'v');
    const ProfileFile f("[S]\nK=" + value + "\n");
    EXPECT_EQ(f.Get("S", "K"), value.substr(0, ProfileFile::kMaxValueLength));
}

TEST(ProfileFileUpdate, ReplacesAValueWhereTheKeyStands) {
    const std::string before = "; settings\r\n[GPRS]\r\nFirst=1\r\n  apn =  old  \r\nLast=3\r\n";
    ProfileFile f(before);
    f.Set("GPRS", "APN", "new");
    EXPECT_EQ(f.Bytes(), "; settings\r\n[GPRS]\r\nFirst=1\r\n  apn =  new\r\nLast=3\r\n");

    // A value that already reads as the new one leaves its line as it is.
    ProfileFile same("[S]\r\nK = 'v'   \r\n");
    same.Set("S", "K", "v");
    EXPECT_EQ(same.Bytes(), "[S]\r\nK = 'v'   \r\n");
}

TEST(ProfileFileUpdate, AddsKeysAfterTheLastNonBlankLineOfTheirSection) {
    ProfileFile f("[A]\r\nX=1\r\nunknown line\r\n\r\n  \r\n[B]\r\nY=2\r\n");
    f.Set("a", "New", "n");
    f.Set("B", "Z", "z");
    EXPECT_EQ(f.Bytes(), "[A]\r\nX=1\r\nunknown line\r\nNew=n\r\n\r\n  \r\n[B]\r\nY=2\r\nZ=z\r\n");
    EXPECT_EQ(f.Get("A", "New"), "n");
    EXPECT_EQ(f.Get("A", "X"), "1");

    // A section with nothing but its header.
    ProfileFile empty("[A]\n\n[B]\n");
    empty.Set("A", "K", "v");
    EXPECT_EQ(empty.Bytes(), "[A]\nK=v\n\n[B]\n");
}

TEST(ProfileFileUpdate, AddsMissingSectionsAtTheEnd) {
    ProfileFile f("[A]\nX=1\n");
    f.Set("B", "Y", "2");
    f.Set("C", "Z", "3");
    EXPECT_EQ(f.Bytes(), "[A]\nX=1\n\n[B]\nY=2\n\n[C]\nZ=3\n");

    // A file that already ends with a blank line gets no second one.
    ProfileFile blank("[A]\nX=1\n\n");
    blank.Set("B", "Y", "2");
    EXPECT_EQ(blank.Bytes(), "[A]\nX=1\n\n[B]\nY=2\n");
}

TEST(ProfileFileUpdate, UpdatesTheFirstOfDuplicates) {
    ProfileFile f("[S]\nK=a\nk=b\n[s]\nK=c\n");
    f.Set("S", "K", "new");
    f.Set("S", "Other", "o");
    EXPECT_EQ(f.Bytes(), "[S]\nK=new\nk=b\nOther=o\n[s]\nK=c\n");
}

TEST(ProfileFileUpdate, WritesValuesSoTheyReadBackUnchanged) {
    ProfileFile f;
    const std::string values[] = {"", " lead", "trail\t", "\"q\"", "'q'", "\"open", "a=b", "; x", "\x80\xff\x01"};
    for (std::size_t i = 0; i < std::size(values); ++i) f.Set("S", "K" + std::to_string(i), values[i]);
    const ProfileFile back(f.Bytes());
    for (std::size_t i = 0; i < std::size(values); ++i)
        EXPECT_EQ(back.Get("S", "K" + std::to_string(i)), values[i]) << i;

    f.Set("S", "Broken", "first line\r\nsecond=line");
    EXPECT_EQ(ProfileFile(f.Bytes()).Get("S", "Broken"), "first line");
    EXPECT_EQ(ProfileFile(f.Bytes()).Get("S", "second"), std::nullopt);
}

TEST(ProfileFileUpdate, RefusesNamesTheFileCannotHold) {
    ProfileFile f;
    EXPECT_THROW(f.Set("S]", "K", "v"), std::invalid_argument);
    EXPECT_THROW(f.Set("S", "K=1", "v"), std::invalid_argument);
    EXPECT_THROW(f.Set("S", "K\n", "v"), std::invalid_argument);
    EXPECT_THROW(f.Set("S", " K", "v"), std::invalid_argument);
    EXPECT_EQ(f.Bytes(), "");
}

TEST(ProfileFileLineEnds, NewFileUsesCrLfAndOldFilesKeepTheirs) {
    ProfileFile fresh;
    fresh.Set("A", "K", "v");
    fresh.Set("B", "K", "v");
    EXPECT_EQ(fresh.Bytes(), "[A]\r\nK=v\r\n\r\n[B]\r\nK=v\r\n");

    ProfileFile lf("[A]\nK=v\n");
    lf.Set("A", "L", "w");
    lf.Set("B", "M", "x");
    EXPECT_EQ(lf.Bytes().find('\r'), std::string::npos);

    // Mixed line ends stay as they are; new lines follow the first line.
    ProfileFile mixed("[A]\r\nK=v\nJ=w\r\n");
    mixed.Set("A", "K", "changed");
    mixed.Set("A", "N", "n");
    EXPECT_EQ(mixed.Bytes(), "[A]\r\nK=changed\nJ=w\r\nN=n\r\n");
}

TEST(ProfileFileLineEnds, KeepsAMissingFinalLineEnd) {
    ProfileFile f("[A]\r\nK=v");
    EXPECT_EQ(f.Get("A", "K"), "v");
    f.Set("A", "K", "w");
    EXPECT_EQ(f.Bytes(), "[A]\r\nK=w");
    f.Set("A", "L", "x");
    EXPECT_EQ(f.Bytes(), "[A]\r\nK=w\r\nL=x");
    f.Set("B", "M", "y");
    EXPECT_EQ(f.Bytes(), "[A]\r\nK=w\r\nL=x\r\n\r\n[B]\r\nM=y");

    ProfileFile lf("[A]\nK=v");
    lf.Set("A", "L", "x");
    EXPECT_EQ(lf.Bytes(), "[A]\nK=v\nL=x");
}

TEST(ProfileFileLineEnds, KeepsAByteOrderMarkOutOfTheFirstLine) {
    ProfileFile f("\xEF\xBB\xBF[GPRS]\r\nAPN=a\r\n");
    EXPECT_EQ(f.Get("GPRS", "APN"), "a");
    f.Set("GPRS", "APN", "b");
    EXPECT_EQ(f.Bytes(), "\xEF\xBB\xBF[GPRS]\r\nAPN=b\r\n");

    // Only at the very start is it a mark.
    EXPECT_EQ(ProfileFile("[S]\r\n\xEF\xBB\xBFK=v\r\n").Get("S", "K"), std::nullopt);
}

TEST(ProfileFileBadInput, NulsLongLinesAndGarbageAreHandled) {
    const std::string nul("[S]\nA=x\0y\nB\0=1\n[T\0]\nC=3\n", 24);
    const ProfileFile n(nul);
    EXPECT_EQ(n.Get("S", "A"), std::string("x\0y", 3));
    EXPECT_EQ(n.Get("S", "B"), std::nullopt);
    EXPECT_EQ(n.Bytes(), nul);

    // A megabyte line without "=", then one with a megabyte value, then a normal key.
    const std::string mb(1 << 20, 'x');
    ProfileFile big("[S]\n" + mb + "\nBig=" + mb + "\nK=v\n");
    EXPECT_EQ(big.Get("S", "K"), "v");
    EXPECT_EQ(big.Get("S", "Big")->size(), ProfileFile::kMaxValueLength);
    for (int i = 0; i < 1000; ++i) EXPECT_EQ(big.Get("S", "Missing" + std::to_string(i % 3)), std::nullopt);
    big.Set("S", "K", "w");
    EXPECT_EQ(big.Bytes(), "[S]\n" + mb + "\nBig=" + mb + "\nK=w\n");

    std::mt19937 random(1234);
    for (int round = 0; round < 200; ++round) {
        std::string garbage(random() % 600, '\0');
        for (char& c : garbage) c = static_cast<char>(random() % 256);
        // Sprinkle structure in so the parser takes every branch.
        for (const char* piece : {"[", "]", "=", "\r\n", "\n", "\"", "'", "\xEF\xBB\xBF"})
            garbage.insert(random() % (garbage.size() + 1), piece);
        ProfileFile g(garbage);
        EXPECT_EQ(g.Bytes(), garbage);
        (void)g.Get("S", "K");
        g.Set("S", "K", "v");
        EXPECT_EQ(g.Get("S", "K"), "v");
        EXPECT_EQ(ProfileFile(g.Bytes()).Get("S", "K"), "v");
    }
}

class ProfileFileDisk : public ::testing::Test {
protected:
    TempDir dir;
};

TEST_F(ProfileFileDisk, LoadsAndSavesWholeFiles) {
    const std::string path = dir.File("a.ini");
    ProfileFile f;
    EXPECT_EQ(f.Load(path), Status::Missing);
    f.Set("S", "K", "v");
    ASSERT_TRUE(f.Save(path));
    EXPECT_EQ(ReadBytes(path), "[S]\r\nK=v\r\n");

    ProfileFile g;
    ASSERT_EQ(g.Load(path), Status::Loaded);
    EXPECT_EQ(g.Get("S", "K"), "v");
    g.Set("S", "K", "w");
    ASSERT_TRUE(g.Save(path));
    EXPECT_EQ(ReadBytes(path), "[S]\r\nK=w\r\n");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"a.ini"});  // no temporary left
}

TEST_F(ProfileFileDisk, KeepsTheOldFileWhenTheTargetCannotBeWritten) {
    namespace fs = std::filesystem;
    const std::string path = dir.File("ro.ini");
    WriteBytes(path, "[S]\nK=old\n");
    fs::permissions(path, fs::perms::owner_read | fs::perms::group_read);
    ProfileFile f("[S]\nK=new\n");
    EXPECT_FALSE(f.Save(path));
    EXPECT_EQ(ReadBytes(path), "[S]\nK=old\n");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"ro.ini"});

    EXPECT_FALSE(f.Save(dir.File("no such folder/x.ini")));
    EXPECT_FALSE(f.Save(dir.path));  // a folder
    EXPECT_FALSE(f.Save(""));
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"ro.ini"});
}

TEST_F(ProfileFileDisk, ReplacingKeepsPermissionsAndFollowsLinks) {
    namespace fs = std::filesystem;
    const std::string real = dir.File("real.ini");
    WriteBytes(real, "[S]\nK=old\n");
    fs::permissions(real, fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink("real.ini", dir.File("link.ini"));

    ProfileFile f("[S]\nK=new\n");
    ASSERT_TRUE(f.Save(dir.File("link.ini")));
    EXPECT_TRUE(fs::is_symlink(dir.File("link.ini")));
    EXPECT_EQ(ReadBytes(real), "[S]\nK=new\n");
    EXPECT_EQ(fs::status(real).permissions() & fs::perms::all, fs::perms::owner_read | fs::perms::owner_write);
}

TEST_F(ProfileFileDisk, SomethingOtherThanAFileIsUnreadable) {
    ProfileFile f("[S]\nK=v\n");
    EXPECT_EQ(f.Load(dir.path), Status::Unreadable);
    EXPECT_EQ(f.Load(dir.File("missing/x.ini")), Status::Missing);
    EXPECT_EQ(f.Get("S", "K"), "v");  // contents kept
}

}  // namespace
}  // namespace quorvane
