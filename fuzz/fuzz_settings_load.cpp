// The settings file loader on arbitrary files.
//
// Input: the file's bytes.
//
// Properties: any file loads without an error; what was loaded saves and loads back
// to the same window (a text holding a line break up to the break).
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>

#include "model/memory_form.h"
#include "fuzz/form_snapshot.h"
#include "fuzz/fuzz_input.h"
#include "settings/settings_file.h"

using namespace quorvane;

namespace {

const std::string& WorkDir() {
    static const std::string dir = [] {
        const auto base = std::filesystem::temp_directory_path() /
                          ("quorvane-fuzz-settings-" + std::to_string(::getpid()));
        std::filesystem::create_directories(base);
        return base.string();
    }();
    return dir;
}

void WriteFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) fuzz::Fail("cannot write the fuzz input file", path);
    if (size > 0 && std::fwrite(data, 1, size, f) != size) fuzz::Fail("cannot write the fuzz input file", path);
    std::fclose(f);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static MemoryForm form;
    static MemoryForm reloaded;
    form.Reset();
    reloaded.Reset();
    const std::string path = WorkDir() + "/input.ini";
    const std::string copy = WorkDir() + "/saved.ini";
    WriteFile(path, data, size);
    try {
        QV_CHECK(LoadSettingsFile(form, path), "an existing file did not load");
        const auto loaded = fuzz::Snapshot(form);
        std::filesystem::copy_file(path, copy, std::filesystem::copy_options::overwrite_existing);
        SaveSettingsFile(form, copy);
        QV_CHECK(LoadSettingsFile(reloaded, copy), "the saved file did not load");
        const auto back = fuzz::Snapshot(reloaded);
        for (std::size_t i = 0; i < loaded.size(); ++i) {
            // A value is written up to its first line break (a lone CR is part of a
            // line when read, so a loaded text can hold one).
            const std::string& was = loaded[i];
            const std::size_t brk = was.find_first_of("\r\n");
            if (brk != std::string::npos && back[i] == was.substr(0, brk) + was.substr(was.rfind('|'))) continue;
            QV_CHECK(back[i] == was, "saved and loaded back differently: " + was + " -> " + back[i]);
        }
    } catch (const std::exception& e) {
        fuzz::Fail("loading or saving threw", e.what());
    }
    return 0;
}
