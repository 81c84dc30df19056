#include "sim/state_file.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "sim_test_support.h"

namespace quorvane::sim::test {
namespace {

TrackerState Sample() {
    TrackerState state = DefaultState("860000000000001");
    state.mileage = 4000000000u;
    state.rfidIds = {"0012345678", "ABCDEF"};
    state.Counters(Buffer::Gprs2) = {5, 3000};
    for (std::size_t k = 0; k < 4096; ++k) state.Area(5)[k] = static_cast<std::uint8_t>(k * 31);
    return state;
}

void WriteFile(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::binary) << text; }

TEST(StateFile, RoundTripsEveryPart) {
    const TrackerState state = Sample();
    EXPECT_EQ(ParseState(SerializeState(state)), state);

    TempDir dir;
    const std::string path = dir.File("tracker.state");
    SaveStateFile(path, state);
    EXPECT_EQ(LoadStateFile(path), state);
    // Nothing but the file itself is left behind.
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir.Path()), {}), 1);

    TrackerState changed = state;
    changed.rfidIds.clear();
    SaveStateFile(path, changed);
    EXPECT_EQ(LoadStateFile(path), changed);
}

TEST(StateFile, AcceptsWindowsLineEnds) {
    std::string text = SerializeState(Sample());
    std::string crlf;
    for (char c : text) {
        if (c == '\n') crlf += '\r';
        crlf += c;
    }
    EXPECT_EQ(ParseState(crlf), Sample());
}

TEST(StateFile, RefusesFilesThatDoNotHoldAWholeState) {
    const std::string good = SerializeState(Sample());
    auto without = [&](const std::string& key) {
        std::string text;
        std::size_t pos = 0;
        while (pos < good.size()) {
            const auto end = good.find('\n', pos);
            const std::string line = good.substr(pos, end - pos);
            if (line.rfind(key, 0) != 0) text += line + "\n";
            pos = end + 1;
        }
        return text;
    };
    auto replaced = [&](const std::string& from, const std::string& to) {
        std::string text = good;
        text.replace(text.find(from), from.size(), to);
        return text;
    };

    const std::string bad[] = {
        "",
        "something else\n",
        without("area 3"),
        without("mileage"),
        without("buffer gps-log"),
        replaced("mileage 4000000000", "mileage 5000000000"),
        replaced("mileage 4000000000", "mileage -1"),
        replaced("area 4 ", "area 6 "),
        replaced("area 4 ", "area 4 00"),  // one byte too many
        replaced("area 2 3C", "area 2 GC"),
        replaced("rfid ABCDEF", "rfid AB-CD"),
        replaced("buffer sms", "buffer mms"),
        good + "colour blue\n",
    };
    for (const auto& text : bad) EXPECT_THROW(ParseState(text), EStateFileError) << text.substr(0, 60);
}

TEST(StateFile, LoadNamesTheFileAndTheLine) {
    TempDir dir;
    const std::string path = dir.File("broken.state");
    WriteFile(path, "quorvane-sim state 1\nmileage x\n");
    try {
        LoadStateFile(path);
        FAIL() << "no error";
    } catch (const EStateFileError& e) {
        EXPECT_NE(std::string(e.what()).find(path), std::string::npos);
        EXPECT_NE(std::string(e.what()).find("line 2"), std::string::npos);
    }
    EXPECT_THROW(LoadStateFile(dir.File("missing.state")), EStateFileError);
    EXPECT_THROW(SaveStateFile(dir.File("no/such/dir/x.state"), Sample()), EStateFileError);
}

}  // namespace
}  // namespace quorvane::sim::test
