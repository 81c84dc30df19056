#include "settings/profile_file.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <stdexcept>

#include "platform/system.h"

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

TEST(ProfileFileLineEnds, CrAloneAndMixesEachEndALine) {
    for (const char* eol : {"\r\n", "\n", "\r", "\r\r\n", "\n\r"}) {
        SCOPED_TRACE(testing::PrintToString(std::string(eol)));
        const std::string e = eol;
        const std::string bytes = "[A]" + e + "K=v" + e + "J=w" + e + "[B]" + e + "L=x";
        ProfileFile f(bytes);
        EXPECT_EQ(f.Get("A", "K"), "v");
        EXPECT_EQ(f.Get("A", "J"), "w");
        EXPECT_EQ(f.Get("B", "L"), "x");
        EXPECT_EQ(f.Bytes(), bytes);
        f.Set("A", "K", "changed");
        f.Set("A", "N", "n");
        const ProfileFile back(f.Bytes());
        EXPECT_EQ(back.Get("A", "K"), "changed");
        EXPECT_EQ(back.Get("A", "J"), "w") << "the next key is not swallowed";
        EXPECT_EQ(back.Get("A", "N"), "n");
        EXPECT_EQ(back.Get("B", "L"), "x");
    }
    // New lines take the first line's end, a bare CR too.
    ProfileFile cr("[A]\rK=v\r");
    cr.Set("A", "N", "n");
    EXPECT_EQ(cr.Bytes(), "[A]\rK=v\rN=n\r");
}

TEST(ProfileFileLookup, BlanksAndCtrlZAroundValuesAreTrimmed) {
    const ProfileFile f("[S]\nFlag=1\x1A\nPadded=\v\f x \t\x1A\nQuoted=\"\x1A\"\n\x1A\n");
    EXPECT_EQ(f.Get("S", "Flag"), "1");
    EXPECT_EQ(f.Get("S", "Padded"), "x");
    EXPECT_EQ(f.Get("S", "Quoted"), "\x1A") << "inside quotes it is the value";

    ProfileFile w;
    w.Set("S", "K", "v\x1A");
    EXPECT_EQ(ProfileFile(w.Bytes()).Get("S", "K"), "v\x1A") << "written so it reads back";
}

TEST(ProfileFileLookup, SectionHeaderForms) {
    const ProfileFile f(
        "[  Padded \t]\nA=1\n"
        "[Outer]Name]\nB=2\n"
        "[Tail] trailing words\nC=3\n"
        "[Open without close\nD=4\n");
    EXPECT_EQ(f.Get("Padded", "A"), "1");
    EXPECT_EQ(f.Get("Outer]Name", "B"), "2") << "the name ends at the last ]";
    EXPECT_EQ(f.Get("Outer", "B"), std::nullopt);
    EXPECT_EQ(f.Get("Tail", "C"), "3");
    EXPECT_EQ(f.Get("Tail", "D"), "4") << "a [ without ] is no header";
    EXPECT_EQ(f.Get("Open without close", "D"), std::nullopt);
}

std::string Utf16(std::string_view ascii) {
    std::string out = "\xFF\xFE";
    for (char c : ascii) {
        out.push_back(c);
        out.push_back('\0');
    }
    return out;
}

TEST(ProfileFileEncodings, Utf16LeIsReadAndWrittenBackAsUtf16Le) {
    // "[GPRS]\r\nAPN=caf\u00e9\r\nName=\u20ac1\r\n; \U0001F600\r\n"
    std::string bytes = Utf16("[GPRS]\r\nAPN=caf");
    bytes += std::string("\xE9\x00", 2) + Utf16("\r\nName=").substr(2) + std::string("\xAC\x20", 2) +
             Utf16("1\r\n; ").substr(2) + std::string("\x3D\xD8\x00\xDE", 4) + Utf16("\r\n").substr(2);
    ProfileFile f(bytes);
    EXPECT_EQ(f.Get("GPRS", "APN"), "caf\xE9") << "a character with an 8-bit form becomes it";
    EXPECT_EQ(f.Get("GPRS", "Name"), "?1") << "one without becomes ?";
    EXPECT_EQ(f.Bytes(), bytes) << "unchanged lines keep their bytes";

    f.Set("GPRS", "APN", "na\xEFve");
    f.Set("GPRS", "New", "x");
    const std::string saved = f.Bytes();
    ASSERT_EQ(saved.substr(0, 2), "\xFF\xFE");
    EXPECT_EQ(saved.size() % 2, 0u);
    EXPECT_NE(saved.find(Utf16("APN=na").substr(2) + std::string("\xEF\x00", 2)), std::string::npos);
    EXPECT_NE(saved.find(std::string("\x3D\xD8\x00\xDE", 4)), std::string::npos) << "the untouched line kept its character";
    const ProfileFile back(saved);
    EXPECT_EQ(back.Get("GPRS", "APN"), "na\xEFve");
    EXPECT_EQ(back.Get("GPRS", "New"), "x");
    EXPECT_EQ(back.Get("GPRS", "Name"), "?1");
}

TEST(ProfileFileEncodings, Utf8WithItsMarkIsReadAndWrittenBackAsUtf8) {
    const std::string bytes = "\xEF\xBB\xBF[GPRS]\nAPN=caf\xC3\xA9\nName=\xE2\x82\xAC\xFF\n";
    ProfileFile f(bytes);
    EXPECT_EQ(f.Get("GPRS", "APN"), "caf\xE9");
    EXPECT_EQ(f.Get("GPRS", "Name"), "??") << "no 8-bit form, and a malformed byte";
    EXPECT_EQ(f.Bytes(), bytes);
    f.Set("GPRS", "APN", "\xE9t\xE9");
    EXPECT_EQ(f.Bytes(), "\xEF\xBB\xBF[GPRS]\nAPN=\xC3\xA9t\xC3\xA9\nName=\xE2\x82\xAC\xFF\n");

    // Without a mark the file is 8-bit, byte for byte.
    ProfileFile plain("[S]\nK=caf\xC3\xA9\xE9\n");
    EXPECT_EQ(plain.Get("S", "K"), "caf\xC3\xA9\xE9");
    plain.Set("S", "L", "\xE9");
    EXPECT_EQ(plain.Bytes(), "[S]\nK=caf\xC3\xA9\xE9\nL=\xE9\n");
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

TEST_F(ProfileFileDisk, ALongNameNeedsNoLongerTemporaryName) {
    const std::string name = std::string(246, 'n') + ".ini";
    ASSERT_EQ(name.size(), 250u);
    ProfileFile f("[S]\r\nK=v\r\n");
    ASSERT_TRUE(f.Save(dir.File(name)));
    f.Set("S", "K", "w");
    ASSERT_TRUE(f.Save(dir.File(name)));
    EXPECT_EQ(ReadBytes(dir.File(name)), "[S]\r\nK=w\r\n");
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{name});
}

// Runs `body` in a child process and returns how it ended (waitpid status).
template <typename Body>
int InChild(Body body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        body();
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return status;
}

TEST_F(ProfileFileDisk, ASaveKilledHalfWayLeavesTheOldFileAndIsCleanedUp) {
    const std::string path = dir.File("cfg.ini");
    WriteBytes(path, "[S]\r\nK=old\r\n");
    const int status = InChild([&] {
        ProfileFile f("[S]\r\nK=new\r\n");
        ReplaceOptions options;
        options.beforeReplace = [] { ::kill(::getpid(), SIGKILL); };
        (void)f.Save(path, options);
    });
    ASSERT_TRUE(WIFSIGNALED(status));
    EXPECT_EQ(ReadBytes(path), "[S]\r\nK=old\r\n");
    const auto left = dir.Entries();
    ASSERT_EQ(left.size(), 2u);
    const std::string& temporary = left[0] == "cfg.ini" ? left[1] : left[0];
    EXPECT_TRUE(IsSaveTemporaryName(temporary)) << temporary;
    EXPECT_EQ(temporary.find(".ini"), std::string::npos) << "never taken for a settings file";

    ProfileFile g;
    ASSERT_EQ(g.Load(path), Status::Loaded);
    EXPECT_EQ(g.Get("S", "K"), "old");
    g.Set("S", "K", "next");
    ASSERT_TRUE(g.Save(path));
    EXPECT_EQ(dir.Entries(), std::vector<std::string>{"cfg.ini"}) << "the abandoned temporary is gone";
    EXPECT_EQ(ReadBytes(path), "[S]\r\nK=next\r\n");
}

// Kept by copying, not by writing in place: the file after the save is a new one.
TEST_F(ProfileFileDisk, AccessListAndExtendedAttributesAreKept) {
    const std::string path = dir.File("acl.ini");
    WriteBytes(path, "[S]\nK=old\n");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    const std::string note = "kept";
    if (::setxattr(path.c_str(), "user.quorvane.note", note.data(), note.size(), 0) != 0)
        GTEST_SKIP() << "this file system holds no user attributes";
    // An access list as the system stores it: owner rw, user 4242 r, group r, mask r,
    // others nothing.
    struct AclEntry {
        std::uint16_t tag, perm;
        std::uint32_t id;
    };
    const std::uint32_t version = 2;
    std::string acl(reinterpret_cast<const char*>(&version), sizeof version);
    for (const AclEntry e : {AclEntry{0x01, 6, UINT32_MAX}, AclEntry{0x02, 4, 4242}, AclEntry{0x04, 4, UINT32_MAX},
                             AclEntry{0x10, 4, UINT32_MAX}, AclEntry{0x20, 0, UINT32_MAX}})
        acl.append(reinterpret_cast<const char*>(&e), sizeof e);
    const bool withAcl = ::setxattr(path.c_str(), "system.posix_acl_access", acl.data(), acl.size(), 0) == 0;
    struct stat before {};
    ASSERT_EQ(::stat(path.c_str(), &before), 0);

    ProfileFile f;
    ASSERT_EQ(f.Load(path), Status::Loaded);
    f.Set("S", "K", "new");
    ASSERT_TRUE(f.Save(path));

    struct stat after {};
    ASSERT_EQ(::stat(path.c_str(), &after), 0);
    EXPECT_NE(after.st_ino, before.st_ino) << "replaced, not rewritten";
    EXPECT_EQ(ReadBytes(path), "[S]\nK=new\n");
    EXPECT_EQ(after.st_mode & 07777, 0640U);
    auto attribute = [&](const char* name) {
        std::string value(256, '\0');
        const ssize_t n = ::getxattr(path.c_str(), name, value.data(), value.size());
        value.resize(n < 0 ? 0 : static_cast<std::size_t>(n));
        return value;
    };
    EXPECT_EQ(attribute("user.quorvane.note"), note);
    if (withAcl) {
        EXPECT_EQ(attribute("system.posix_acl_access"), acl);
    }
}

TEST_F(ProfileFileDisk, OwnerGroupAndModeAreKept) {
    const std::string path = dir.File("owned.ini");
    WriteBytes(path, "[S]\nK=old\n");
    // Another user's file where this user may change owners (root), else its own.
    const uid_t uid = ::geteuid() == 0 ? 4321 : ::geteuid();
    const gid_t gid = ::geteuid() == 0 ? 4322 : ::getegid();
    ASSERT_EQ(::chown(path.c_str(), uid, gid), 0);
    ASSERT_EQ(::chmod(path.c_str(), 0664), 0);
    ASSERT_TRUE(ProfileFile("[S]\nK=new\n").Save(path));
    struct stat st {};
    ASSERT_EQ(::stat(path.c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, uid);
    EXPECT_EQ(st.st_gid, gid);
    EXPECT_EQ(st.st_mode & 07777, 0664u);
    EXPECT_EQ(ReadBytes(path), "[S]\nK=new\n");
}

TEST_F(ProfileFileDisk, AWritableFileInAFolderThatIsNotIsSavedInPlace) {
    const std::string folder = dir.File("locked");
    std::filesystem::create_directory(folder);
    const std::string path = folder + "/cfg.ini";
    WriteBytes(path, "[S]\r\nK=a much longer old value than the new one\r\n");
    const uid_t other = 4321;
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(path.c_str(), other, other), 0);
    }
    ASSERT_EQ(::chmod(path.c_str(), 0666), 0);
    ASSERT_EQ(::chmod(folder.c_str(), 0555), 0);

    // As a user who may not create files in the folder (root may, so the save runs
    // as another user then).
    auto save = [&](const std::string& bytes, const std::string& target) {
        return InChild([&] {
            if (::geteuid() == 0 && (::setgid(other) != 0 || ::setuid(other) != 0)) ::_exit(3);
            ::_exit(ProfileFile(bytes).Save(target) ? 0 : 1);
        });
    };
    int status = save("[S]\r\nK=new\r\n", path);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadBytes(path), "[S]\r\nK=new\r\n") << "rewritten and cut to its new length";
    status = save("[S]\r\nK=" + std::string(5000, 'x') + "\r\n", path);
    EXPECT_EQ(WEXITSTATUS(status), 0);
    EXPECT_EQ(ReadBytes(path).size(), 7u + 5000u + 2u);
    EXPECT_EQ(std::filesystem::directory_iterator(folder)->path().filename(), "cfg.ini");

    // A new file cannot be made there at all.
    status = save("[S]\r\nK=v\r\n", folder + "/new.ini");
    EXPECT_EQ(WEXITSTATUS(status), 1);
    EXPECT_FALSE(std::filesystem::exists(folder + "/new.ini"));
}

TEST_F(ProfileFileDisk, SomethingOtherThanAFileIsUnreadable) {
    ProfileFile f("[S]\nK=v\n");
    EXPECT_EQ(f.Load(dir.path), Status::Unreadable);
    EXPECT_EQ(f.Load(dir.File("missing/x.ini")), Status::Missing);
    EXPECT_EQ(f.Get("S", "K"), "v");  // contents kept
}

}  // namespace
}  // namespace quorvane
