// Feeds arbitrary bytes to the settings store as its defaults.json, through the same read that runs at
// every start. Whatever the file holds, the store must come up (with defaults when the file is
// unusable, which is then moved aside) and every key it lists must read back.

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>

#include <unistd.h>

#include "Platform/Linux/Desktop/JsonFileDefaultsStore.h"

namespace {

namespace fs = std::filesystem;

class NullLogSink : public torvel::LogSink {
public:
    void write(torvel::LogLevel, std::string_view, std::string_view) override {}
};

// A fresh folder per input, in memory when the machine has /dev/shm, gone again afterwards (libFuzzer
// may end without running exit handlers).
fs::path makeFolder() {
    const fs::path base = fs::exists("/dev/shm") ? fs::path("/dev/shm") : fs::temp_directory_path();
    std::string pattern = (base / "torvel-defaults-fuzz-XXXXXX").string();
    if (::mkdtemp(pattern.data()) == nullptr) std::abort();
    return pattern;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const fs::path folder = makeFolder();
    const fs::path file = folder / "defaults.json";
    std::ofstream(file, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    NullLogSink log;
    const torvel::JsonFileDefaultsStore store(file, log);
    const bool movedAside = !fs::exists(file);
    const auto keys = store.keys();
    if (movedAside && !keys.empty()) std::abort();  // an unusable file leaves nothing behind in memory
    for (const auto& key : keys) {
        if (!store.object(key)) std::abort();
    }
    fs::remove_all(folder);
    return 0;
}
