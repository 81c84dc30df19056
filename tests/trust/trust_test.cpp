// Compare by stored value, the changes since the last read or write, the check of a
// write against what was read back, and the backup files.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>

#include "trust/baseline.h"
#include "trust/compare.h"
#include "model/memory_form.h"
#include "trust/stored_value.h"
#include "trust/trust_ui.h"
#include "trust/write_safety.h"
#include "blocks/blocks.h"
#include "link/engine.h"
#include "link/frame.h"
#include "settings/settings_file.h"

namespace quorvane {
namespace {

std::vector<std::string> Names(const Comparison& c) {
    std::vector<std::string> names;
    for (const ControlDifference& d : c.differences) names.push_back(d.control);
    return names;
}

TEST(CompareForms, ComparesWhatTheTrackerWouldStoreNotTheText) {
    MemoryForm a, b;
    const Comparison same = CompareForms(a, b);
    EXPECT_TRUE(same.Same());
    EXPECT_EQ(same.equal, StoredUnits().size() - 5);  // the Reply current boxes are never read back

    a.SetText("TimeInterval", "05");
    b.SetText("TimeInterval", "5");
    a.SetItemIndex("BufferMode", 1);
    b.SetItemIndex("BufferMode", 1);
    b.SetText("BufferMode", "typed over");  // the shown text is not what is stored
    a.SetText("LowExtBatAlarm", "11.4");    // hundredths of a volt either way
    b.SetText("LowExtBatAlarm", "11.40");
    EXPECT_TRUE(CompareForms(a, b).Same());

    b.SetText("TimeInterval", "6");
    b.SetChecked("ExtLowSMS2", !a.Checked("ExtLowSMS2"));
    b.SetChecked("Auth2Monitor", true);
    b.SetChecked("No3In", true);
    b.SetItemIndex("GPRSType", 1);
    const Comparison diff = CompareForms(a, b);
    EXPECT_EQ(Names(diff), (std::vector<std::string>{"GPRSType", "TimeInterval", "Auth2Monitor", "No3In", "ExtLowSMS2"}));
    EXPECT_EQ(diff.equal + diff.differences.size(), same.equal);

    const ControlDifference& flag = diff.differences.back();
    EXPECT_EQ(flag.tabCaption, "Event");
    EXPECT_EQ(flag.label, "(17) Ext-power low: Auth No.2 sms");
    EXPECT_EQ(flag.thisValue, a.Checked("ExtLowSMS2") ? "checked" : "clear");
    const ControlDifference& combo = diff.differences.front();
    EXPECT_EQ(combo.tabCaption, "GPRS");
    EXPECT_EQ(combo.thisValue, a.Items("GPRSType")[0]);
    EXPECT_EQ(combo.otherValue, a.Items("GPRSType")[1]);
    EXPECT_EQ(diff.differences[3].label, "No.3 In Alarm");
}

TEST(CompareForms, ATextThatDoesNotConvertEqualsOnlyItself) {
    MemoryForm a, b;
    a.SetText("TimeInterval", "abc");
    EXPECT_EQ(Names(CompareForms(a, b)), std::vector<std::string>{"TimeInterval"});
    b.SetText("TimeInterval", "abc");
    EXPECT_TRUE(CompareForms(a, b).Same());
    b.SetText("TimeInterval", "ab");
    EXPECT_FALSE(CompareForms(a, b).Same());
}

TEST(CompareForms, AFileScopeLeavesOutWhatNoSettingsKeyHolds) {
    MemoryForm a, b;
    b.SetText("Temp1_Name", "Cold room");  // the Temp tab has no settings keys
    EXPECT_FALSE(CompareForms(a, b, CompareScope::Tracker).Same());
    EXPECT_TRUE(CompareForms(a, b, CompareScope::SettingsFile).Same());
}

TEST(CompareForms, CopyTakesSelectedValuesOnly) {
    MemoryForm a, b;
    b.SetText("APN", "internet");
    b.SetItemIndex("BufferMode", 1);
    b.SetChecked("No1Out", true);
    b.SetText("IP", "10.0.0.1");
    CopyControls(b, a, {"APN", "BufferMode", "No1Out", "GPRSWrite", "NoSuchControl"});
    EXPECT_EQ(Names(CompareForms(a, b)), std::vector<std::string>{"IP"});
}

class SettingsFileCompare : public ::testing::Test {
protected:
    void SetUp() override {
        dir = std::filesystem::temp_directory_path() /
              ("quorvane-compare-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + "-" +
               ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir);
    }
    void TearDown() override { std::filesystem::remove_all(dir); }
    std::string Write(const std::string& name, const std::string& bytes) {
        std::string path = (dir / name).string();
        std::ofstream(path, std::ios::binary) << bytes;
        return path;
    }
    std::filesystem::path dir;
};

TEST_F(SettingsFileCompare, WindowAgainstAFile) {
    MemoryForm window;
    const std::string path = (dir / "saved.ini").string();
    SaveSettingsFile(window, path);
    EXPECT_TRUE(CompareWithSettingsFile(window, path).Same());

    window.SetText("APN", "internet");
    window.SetText("Temp2_Name", "not in a file");
    const Comparison c = CompareWithSettingsFile(window, path);
    EXPECT_EQ(Names(c), std::vector<std::string>{"APN"});
    EXPECT_EQ(c.differences[0].thisValue, "internet");
    EXPECT_EQ(c.differences[0].otherValue, "");

    // A number written with a leading zero in the file stores the same value.
    std::ifstream in(path, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), {});
    const std::string key = "GPRS1 Time Interval=";
    const auto at = text.find(key);
    ASSERT_NE(at, std::string::npos);
    const auto end = text.find('\r', at);
    const std::string value = text.substr(at + key.size(), end - at - key.size());
    text.replace(at + key.size(), value.size(), "000" + value);
    const std::string zeros = Write("zeros.ini", text);
    window.SetText("APN", "");
    EXPECT_TRUE(CompareWithSettingsFile(window, zeros).Same());
}

TEST_F(SettingsFileCompare, MissingUnreadableAndForeignFilesAreRefused) {
    MemoryForm window;
    EXPECT_THROW(CompareWithSettingsFile(window, (dir / "none.ini").string()), ESettingsFileError);
    EXPECT_THROW(CompareWithSettingsFile(window, dir.string()), ESettingsFileError);
    try {
        static constexpr char kPhoto[] = "\x89PNG\r\n\x1a\n\0\0junk=1";
        CompareWithSettingsFile(window, Write("photo.ini", std::string(kPhoto, sizeof kPhoto - 1)));
        FAIL() << "a file without settings keys was compared";
    } catch (const ESettingsFileError& e) {
        EXPECT_NE(std::string(e.what()).find("is not a settings file"), std::string::npos);
    }
}

TEST(Baseline, MarksWhatChangedSinceTheLastReadOrWriteOfItsGroup) {
    MemoryForm form;
    Baseline baseline;
    form.SetText("APN", "changed before any read");
    EXPECT_TRUE(baseline.ChangedControls(form).empty());

    baseline.Take(form, {BlockId::Gprs});
    EXPECT_TRUE(baseline.ChangedControls(form).empty());
    form.SetText("TimeInterval", "0" + form.Text("TimeInterval"));  // same stored value
    form.SetText("Speed", "123");                                    // Main never read
    EXPECT_TRUE(baseline.ChangedControls(form).empty());

    form.SetText("APN", "internet");
    form.SetItemIndex("BufferMode", 1);
    EXPECT_EQ(baseline.ChangedControls(form), (std::vector<std::string>{"APN", "BufferMode"}));
    EXPECT_EQ(baseline.ChangedTabs(form), std::vector<std::string>{"TabSheet2"});

    baseline.Take(form, {BlockId::Main, BlockId::MainExt});
    form.SetText("Speed", "124");
    form.SetText("LowSpeed", "abc");  // a text that does not convert is a change
    EXPECT_EQ(baseline.ChangedControls(form), (std::vector<std::string>{"APN", "BufferMode", "Speed", "LowSpeed"}));
    EXPECT_EQ(baseline.ChangedTabs(form), (std::vector<std::string>{"TabSheet2", "TabSheet3"}));

    baseline.Take(form, {BlockId::GeoFence, BlockId::Event});  // groups with check boxes
    form.SetChecked("No2Out", true);
    form.SetChecked("ExtLowSMS1", !form.Checked("ExtLowSMS1"));
    EXPECT_EQ(baseline.ChangedControls(form),
              (std::vector<std::string>{"APN", "BufferMode", "Speed", "LowSpeed", "No2Out", "ExtLowSMS1"}));
    form.SetChecked("No2Out", false);
    form.SetChecked("ExtLowSMS1", !form.Checked("ExtLowSMS1"));

    baseline.Take(form, {BlockId::Gprs});  // reading or writing a group clears its marks
    EXPECT_EQ(baseline.ChangedControls(form), (std::vector<std::string>{"Speed", "LowSpeed"}));
    baseline.Clear();
    EXPECT_TRUE(baseline.ChangedControls(form).empty());
}

// A read answer as the tracker sends it for `id`, holding `data` from the block's
// read offset (frame header up to the payload's end, no CRC).
std::vector<std::uint8_t> Answer(BlockId id, std::vector<std::uint8_t> data) {
    const BlockInfo& b = Block(id);
    data.resize(b.readLength, 0);
    std::vector<std::uint8_t> a = {0x5A, 0xA5, 0, 0, 0x59, b.area, static_cast<std::uint8_t>(b.readOffset >> 8),
                                   static_cast<std::uint8_t>(b.readOffset), static_cast<std::uint8_t>(b.readLength >> 8),
                                   static_cast<std::uint8_t>(b.readLength)};
    a.insert(a.end(), data.begin(), data.end());
    return a;
}

// What a window's write request carries for `id`.
std::vector<std::uint8_t> Sent(const Form& form, void (*encode)(const Form&, TxPayload&)) {
    TxPayload tx;
    encode(form, tx);
    return {tx.bytes.begin() + kBlockHeaderLength, tx.bytes.begin() + tx.length};
}

TEST(VerifyWrite, NamesTheControlsWhoseBytesCameBackDifferent) {
    MemoryForm form;
    form.SetText("APN", "internet");
    form.SetText("TimeInterval", "30");
    for (const char* box : {"RoamingInterval", "RoamingInterval2"}) form.SetText(box, "0");
    SentBlocks sent{{BlockId::Gprs, Sent(form, EncodeGprsBlock)}, {BlockId::Sms, Sent(form, EncodeSmsBlock)}};

    // Stored as sent: GPRS's read starts 16 bytes before its write.
    auto gprs = std::vector<std::uint8_t>(16, '7');
    gprs.insert(gprs.end(), sent[BlockId::Gprs].begin(), sent[BlockId::Gprs].end());
    auto sms = sent[BlockId::Sms];
    ReadAnswers read{{BlockId::Gprs, Answer(BlockId::Gprs, gprs)}, {BlockId::Sms, Answer(BlockId::Sms, sms)}};
    const Comparison ok = VerifyWrite(sent, read);
    EXPECT_TRUE(ok.Same());
    EXPECT_GT(ok.equal, 20U);

    gprs[16 + 0] = 'j';  // APN's first byte
    gprs[16 + 205 - 32] = 31;  // TimeInterval's low byte
    sms[20 + 16] |= 0x02;      // Auth1Monitor
    sms[18] = 0x55;            // a reserved byte
    read = {{BlockId::Gprs, Answer(BlockId::Gprs, gprs)}, {BlockId::Sms, Answer(BlockId::Sms, sms)}};
    const Comparison bad = VerifyWrite(sent, read);
    ASSERT_EQ(Names(bad), (std::vector<std::string>{"APN", "TimeInterval", "Auth1Monitor", "area 3 offset 18"}));
    EXPECT_EQ(bad.differences[0].thisValue, "internet");
    EXPECT_EQ(bad.differences[0].otherValue, "jnternet");
    EXPECT_EQ(bad.differences[1].otherValue, "31");
    EXPECT_EQ(bad.differences[2].thisValue, "clear");
    EXPECT_EQ(bad.differences[2].otherValue, "checked");
    EXPECT_EQ(bad.differences[3].thisValue, "0x00");
    EXPECT_EQ(bad.differences[3].otherValue, "0x55");
}

TEST(VerifyWrite, AValueChangedOnTheWayDiffersFromTheWindowsValue) {
    MemoryForm form;
    for (const char* box : {"RoamingInterval", "RoamingInterval2"}) form.SetText(box, "0");
    form.SetText("TimeInterval", "0030");        // 30 written another way
    form.SetText("BatteryLowVolt", "3.6");       // 3.60
    form.SetText("APN", std::string(32, 'a'));
    form.SetText("ACCOffInterval", "0");
    form.SetText("LowExtBatAlarm", "11.45");
    SentBlocks sent{{BlockId::Gprs, Sent(form, EncodeGprsBlock)}, {BlockId::Main, Sent(form, EncodeMainBlock)}};
    // The window holds other values than those sent: a text longer than its field, a
    // number past its range, a third decimal the field cannot hold.
    form.SetText("APN", std::string(40, 'a'));
    form.SetText("ACCOffInterval", "65536");
    form.SetText("LowExtBatAlarm", "11.456");
    auto gprs = std::vector<std::uint8_t>(16, 0);
    gprs.insert(gprs.end(), sent[BlockId::Gprs].begin(), sent[BlockId::Gprs].end());
    ReadAnswers read{{BlockId::Gprs, Answer(BlockId::Gprs, gprs)}, {BlockId::Main, Answer(BlockId::Main, sent[BlockId::Main])}};

    const Comparison bytesOnly = VerifyWrite(sent, read);
    EXPECT_TRUE(bytesOnly.Same());  // every byte came back as sent
    const Comparison held = VerifyWrite(sent, read, &form);
    ASSERT_EQ(Names(held), (std::vector<std::string>{"APN", "ACCOffInterval", "LowExtBatAlarm"}));
    EXPECT_EQ(held.equal + 3, bytesOnly.equal);
    EXPECT_EQ(held.differences[0].thisValue, std::string(40, 'a'));
    EXPECT_EQ(held.differences[0].sentValue, std::string(32, 'a'));
    EXPECT_EQ(held.differences[0].otherValue, std::string(32, 'a'));
    EXPECT_EQ(held.differences[1].sentValue, "0");
    EXPECT_EQ(held.differences[2].thisValue, "11.456");
    EXPECT_EQ(held.differences[2].otherValue, "11.45");
    EXPECT_NE(WriteSafetyUi::VerifyFailedReport(held).find(
                  "LowExtBatAlarm (Main: Low Ext-Bat): window '11.456', sent '11.45', read '11.45'"),
              std::string::npos)
        << WriteSafetyUi::VerifyFailedReport(held);

    // A value sent as the window holds it but stored otherwise is reported as sent.
    form.SetText("APN", "internet");
    form.SetText("ACCOffInterval", "0");
    sent[BlockId::Gprs] = Sent(form, EncodeGprsBlock);
    form.SetText("ACCOffInterval", "65536");
    gprs.resize(16);
    gprs.insert(gprs.end(), sent[BlockId::Gprs].begin(), sent[BlockId::Gprs].end());
    gprs[16 + 205 - 32] = 31;  // TimeInterval
    read[BlockId::Gprs] = Answer(BlockId::Gprs, gprs);
    const Comparison stored = VerifyWrite(sent, read, &form);
    ASSERT_EQ(Names(stored), (std::vector<std::string>{"TimeInterval", "ACCOffInterval", "LowExtBatAlarm"}));
    EXPECT_EQ(stored.differences[0].thisValue, "30");
    EXPECT_FALSE(stored.differences[0].sentValue);
    EXPECT_EQ(stored.differences[0].otherValue, "31");
}

TEST(VerifyWrite, ABlockNotReadBackOrReadShortDiffersEverywhere) {
    MemoryForm form;
    const SentBlocks sent{{BlockId::MainExt, Sent(form, EncodeMainExtBlock)}};
    const std::vector<std::string> all{"Car_Type", "LowSpeed", "area 2 offset 478"};
    EXPECT_EQ(Names(VerifyWrite(sent, {})), all);
    auto shortAnswer = Answer(BlockId::MainExt, {});
    shortAnswer.resize(11);
    const Comparison c = VerifyWrite(sent, {{BlockId::MainExt, shortAnswer}});
    ASSERT_EQ(Names(c), all);
    EXPECT_EQ(c.differences[0].otherValue, "(not read)");
    EXPECT_EQ(c.differences[2].otherValue, "(not read)");
}

TEST(VerifyWrite, WrittenBlockAndReadAnswerData) {
    EXPECT_EQ(WrittenBlock(std::vector<std::uint8_t>{2, 0x01, 0xDE, 0, 3}), BlockId::MainExt);
    EXPECT_EQ(WrittenBlock(std::vector<std::uint8_t>{2, 0, 0, 0, 34}), BlockId::Main);
    EXPECT_FALSE(WrittenBlock(std::vector<std::uint8_t>{2, 0, 1, 0, 3}));
    EXPECT_FALSE(WrittenBlock(std::vector<std::uint8_t>{1, 0}));
    EXPECT_EQ(AnswerData(BlockId::Sms, Answer(BlockId::Sms, {9})).front(), 9);
    EXPECT_TRUE(AnswerData(BlockId::Sms, std::vector<std::uint8_t>(20, 0)).empty());
}

TEST_F(SettingsFileCompare, ABackupKeepsWhatASettingsFileHasNoKeyFor) {
    MemoryForm form;
    form.SetText("APN", "kept");
    form.SetText("Temp1_Name", "Cold room");
    form.SetText("Temp1_High", "-5.5");
    form.SetChecked("IN4Moni1", !form.Checked("IN4Moni1"));
    const auto backup = dir / "b" / "20260101-000000.ini";
    SaveBackup(form, backup, 20);

    MemoryForm restored;
    ASSERT_TRUE(LoadSettingsFile(restored, backup.string()));
    EXPECT_FALSE(CompareForms(form, restored, CompareScope::Tracker).Same());
    ReadBackupSection(restored, backup.string(), BackupKeys());
    EXPECT_TRUE(CompareForms(form, restored, CompareScope::Tracker).Same());

    // A compare with a backup covers what it keeps; with an ordinary file, what that keeps.
    EXPECT_TRUE(CompareWithSettingsFile(form, backup.string()).Same());
    form.SetText("Temp1_Name", "Freezer");
    EXPECT_EQ(Names(CompareWithSettingsFile(form, backup.string())), std::vector<std::string>{"Temp1_Name"});

    // An ordinary settings file has no such section: nothing changes.
    const std::string plain = (dir / "plain.ini").string();
    SaveSettingsFile(form, plain);
    MemoryForm fresh, loaded;
    ReadBackupSection(loaded, plain, BackupKeys());
    EXPECT_TRUE(CompareForms(fresh, loaded, CompareScope::Tracker).Same());
    EXPECT_EQ(FileScope(plain), CompareScope::SettingsFile);
    EXPECT_EQ(FileScope(backup.string()), CompareScope::Tracker);
    EXPECT_TRUE(CompareWithSettingsFile(form, plain).Same());
    ReadBackupSection(loaded, (dir / "missing.ini").string(), BackupKeys());
    EXPECT_TRUE(CompareForms(fresh, loaded, CompareScope::Tracker).Same());
}

TEST_F(SettingsFileCompare, BackupsGoPerTrackerAndOnlyTheNewestAreKept) {
    EXPECT_EQ(BackupFolderFor("/b", "860123456789012"), std::filesystem::path("/b/860123456789012"));
    EXPECT_EQ(BackupFolderFor("/b", ""), std::filesystem::path("/b/unknown"));
    EXPECT_EQ(BackupFolderFor("/b", "../.."), std::filesystem::path("/b/unknown"));
    EXPECT_EQ(BackupFolderFor("/b", "86/01 2"), std::filesystem::path("/b/86012"));

    const auto when = std::chrono::system_clock::now();
    const auto first = NewBackupPath(dir.string(), "42", when);
    EXPECT_EQ(first.parent_path(), dir / "42");
    EXPECT_EQ(first.filename().string().size(), std::string("YYYYMMDD-HHMMSS.ini").size());

    MemoryForm form;
    form.SetText("APN", "kept");
    SaveBackup(form, first, 3);
    const auto second = NewBackupPath(dir.string(), "42", when);  // the same second
    EXPECT_EQ(second.filename().string(), first.stem().string() + "-2.ini");
    SaveBackup(form, second, 3);
    MemoryForm loaded;
    ASSERT_TRUE(LoadSettingsFile(loaded, second.string()));
    EXPECT_EQ(loaded.Text("APN"), "kept");

    // Older backups go, newest kept; other files in the folder stay.
    Write("42/notes.txt", "mine");
    for (const char* name : {"20200101-000000.ini", "20200101-000001.ini", "20210101-000000.ini"})
        Write(std::string("42/") + name, "[GPRS]\r\n");
    SaveBackup(form, NewBackupPath(dir.string(), "42", when), 3);
    std::vector<std::string> left;
    for (const auto& e : std::filesystem::directory_iterator(dir / "42")) left.push_back(e.path().filename().string());
    std::sort(left.begin(), left.end());
    const std::string stem = first.stem().string();
    EXPECT_EQ(left, (std::vector<std::string>{stem + "-2.ini", stem + "-3.ini", stem + ".ini", "notes.txt"}));

    Write("file", "x");
    EXPECT_THROW(SaveBackup(form, dir / "file" / "x.ini", 3), ESettingsFileError);
}

}  // namespace
}  // namespace quorvane
