// What loading a file may cost: memory in proportion to its bytes, a refusal beyond
// the bound, and no wait on something that is not a file. Every allocation of this
// program is counted, so the peak is measured, not guessed.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <new>
#include <string>

#include "model/memory_form.h"
#include "settings/profile_file.h"
#include "settings/settings_file.h"
#include "tests/settings/temp_dir.h"

namespace {

std::atomic<std::size_t> gLive{0};
std::atomic<std::size_t> gPeak{0};

void* Allocate(std::size_t size) {
    // The size is kept in front of the block so that a delete can count it off.
    auto* block = static_cast<std::size_t*>(std::malloc(size + sizeof(std::max_align_t)));
    if (block == nullptr) throw std::bad_alloc();
    *block = size;
    const std::size_t live = gLive += size;
    for (std::size_t peak = gPeak; live > peak && !gPeak.compare_exchange_weak(peak, live);) {
    }
    return reinterpret_cast<char*>(block) + sizeof(std::max_align_t);
}

void Release(void* p) noexcept {
    if (p == nullptr) return;
    auto* block = reinterpret_cast<std::size_t*>(static_cast<char*>(p) - sizeof(std::max_align_t));
    gLive -= *block;
    std::free(block);
}

}  // namespace

void* operator new(std::size_t size) { return Allocate(size); }
void* operator new[](std::size_t size) { return Allocate(size); }
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, std::size_t) noexcept { Release(p); }
void operator delete[](void* p, std::size_t) noexcept { Release(p); }

namespace quorvane {
namespace {

// The most bytes held at once while `f` runs, beyond what was held before.
template <typename F>
std::size_t PeakOf(F&& f) {
    const std::size_t before = gLive;
    gPeak = before;
    f();
    return gPeak - before;
}

void WriteFile(const std::string& path, const std::string& pattern, std::size_t bytes) {
    std::ofstream out(path, std::ios::binary);
    for (std::size_t n = 0; n + pattern.size() <= bytes; n += pattern.size()) out << pattern;
}

TEST(SettingsBounds, LoadingCostsAFewTimesTheFileAndNoMore) {
    TempDir dir;
    constexpr std::size_t kSize = std::size_t{10} * 1024 * 1024;
    const std::string blank = dir.File("blank.ini");
    WriteFile(blank, "\n", kSize);
    MemoryForm form;
    const std::size_t blankPeak = PeakOf([&] { EXPECT_TRUE(LoadSettingsFile(form, blank)); });
    EXPECT_LT(blankPeak, 3 * kSize) << blankPeak;

    // The worst a file can hold: a short key line after another, all of them indexed.
    const std::string keys = dir.File("keys.ini");
    {
        std::ofstream out(keys, std::ios::binary);
        out << "[GPRS]\n";
        for (std::size_t n = 0, written = 7; written < kSize; ++n) {
            const std::string line = std::to_string(n) + "=\n";
            out << line;
            written += line.size();
        }
        out << "APN=found\n";
    }
    ProfileFile file;
    const std::size_t keysPeak = PeakOf([&] { EXPECT_EQ(file.Load(keys), ProfileFile::LoadStatus::Loaded); });
    EXPECT_LT(keysPeak, 4 * kSize) << keysPeak;
    EXPECT_EQ(file.Get("gprs", "apn"), "found");
    EXPECT_EQ(file.Get("GPRS", "123456"), "");
}

TEST(SettingsBounds, FarTooLargeFoldersAndFifosAreRefusedWithTheReason) {
    TempDir dir;
    const std::string large = dir.File("large.ini");
    WriteFile(large, "[GPRS]\nAPN=x\n", ProfileFile::kMaxFileBytes + 14);
    const std::string fifo = dir.File("fifo.ini");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);

    MemoryForm form;
    const std::string before = form.Text("APN");
    const struct {
        std::string path;
        std::string reason;
    } cases[] = {
        {large, "it is larger than 16 MiB, far beyond any such file"},
        {dir.path, "it is a folder"},
        {fifo, "it is not a regular file (a device or FIFO)"},  // and no writer is waited for
    };
    for (const auto& c : cases) {
        try {
            LoadSettingsFile(form, c.path);
            ADD_FAILURE() << c.path << " was loaded";
        } catch (const ESettingsFileError& e) {
            EXPECT_EQ(std::string(e.what()), "Unable to read from " + c.path);
            EXPECT_EQ(e.Reason(), c.reason);
        }
    }
    EXPECT_EQ(form.Text("APN"), before);

    // A save says why beside the described text.
    try {
        SaveSettingsFile(form, dir.path);
        ADD_FAILURE() << "a folder was written";
    } catch (const ESettingsFileError& e) {
        EXPECT_EQ(std::string(e.what()), "Unable to write to " + dir.path);
        EXPECT_EQ(e.Full(), "Unable to write to " + dir.path + "\nit is a folder");
    }
}

}  // namespace
}  // namespace quorvane
