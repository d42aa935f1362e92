#include "Platform/Linux/Desktop/JsonFileDefaultsStore.h"

#include <algorithm>
#include <chrono>
#include <cmath>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>
#include <map>
#include <random>
#include <regex>
#include <thread>

#include <pwd.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "Core/Profiles.h"
#include "Platform/Linux/TestSupport.h"
#include "Platform/Sim/CapturingLogSink.h"

namespace torvel {
namespace {

namespace fs = std::filesystem;

class JsonFileDefaultsStoreTest : public ::testing::Test {
protected:
    /// Names in `in` (the settings file's own by default) that contain `infix`, sorted.
    std::vector<std::string> siblings(std::string_view infix, const fs::path& in = {}) const {
        std::vector<std::string> out;
        std::error_code error;
        for (const auto& entry : fs::directory_iterator(in.empty() ? file.parent_path() : in, error)) {
            const std::string name = entry.path().filename().string();
            if (name.find(infix) != std::string::npos) out.push_back(name);
        }
        std::sort(out.begin(), out.end());
        return out;
    }
    void writeFile(std::string_view text) const { test::writeFile(file, std::string(text)); }
    int errorCount() const { return test::errorLines(log); }

    test::TemporaryFolder folder{"torvel-store"};
    const fs::path dir = folder.path();
    const fs::path file = dir / "torvel" / "defaults.json";
    CapturingLogSink log;
};

TEST_F(JsonFileDefaultsStoreTest, EveryKindRoundTripsThroughTheFileExactly) {
    std::vector<std::uint8_t> allBytes(256);
    for (int i = 0; i < 256; ++i) allBytes[i] = static_cast<std::uint8_t>(i);
    const std::map<std::string, DefaultsValue> values = {
        {"flagOn", true},
        {"flagOff", false},
        {"negative", std::int64_t{-20}},
        {"int64Min", std::numeric_limits<std::int64_t>::min()},
        {"int64Max", std::numeric_limits<std::int64_t>::max()},
        {"volume", static_cast<double>(0.4f)},
        {"tiny", -4.9e-324},
        {"text", std::string("Čeština ✓ \"quoted\"\n\t\\ 😀")},
        {"empty", std::string()},
        {"bytes", DefaultsData{allBytes}},
        {"noBytes", DefaultsData{}},
        {"activeSession.timestamp", Date(818035200.5)},
        {"before2001", Date(-1.000001)},
    };
    {
        JsonFileDefaultsStore store(file, log);
        for (const auto& [key, value] : values) EXPECT_TRUE(store.set(key, value)) << key;
    }
    JsonFileDefaultsStore reread(file, log);
    for (const auto& [key, value] : values) EXPECT_EQ(reread.object(key), value) << key;
    std::vector<std::string> keys;
    for (const auto& [key, value] : values) keys.push_back(key);
    EXPECT_EQ(reread.keys(), keys);
    EXPECT_EQ(errorCount(), 0);

    struct stat info {};
    ASSERT_EQ(::stat(file.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0600u);
    ASSERT_EQ(::stat(file.parent_path().c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0700u);
}

TEST_F(JsonFileDefaultsStoreTest, WritesTheIndentedTaggedDocument) {
    JsonFileDefaultsStore store(file, log);
    store.set("language", std::string("cs"));
    store.set("profiles", DefaultsData::fromString("[]"));
    store.set("batteryLimitPercent", std::int64_t{20});
    store.set("activeSession.timestamp", Date(818035200.5));
    EXPECT_EQ(test::readFile(file), R"({
  "format": "torvel-defaults",
  "values": {
    "activeSession.timestamp": {
      "date": 818035200.5
    },
    "batteryLimitPercent": {
      "int": 20
    },
    "language": {
      "string": "cs"
    },
    "profiles": {
      "data": "W10="
    }
  },
  "version": 1
}
)");
}

TEST_F(JsonFileDefaultsStoreTest, KeepsKindsApartAndKeepsUnreadableEntriesThroughEveryWrite) {
    // An entry of a newer version: odd spacing, a repeated key, a brace inside a string, escapes, a number
    // the library would reformat.
    const std::string future =
        "{\"colour\" : {\"r\": 1.50e0, \"list\": [1, \"}]\\\"\", {}],\n\t\"x\": null} }";
    const std::string text = R"({"format": "torvel-defaults", "version": 1, "values": {
        "good": {"bool": true}, "wholeDouble": {"double": 2}, "bigDate": {"date": 1e300},
        "boolAsInt": {"int": true}, "fractionAsInt": {"int": 1.5}, "tooBig": {"int": 9223372036854775808},
        "intAsBool": {"bool": 1}, "stringAsDouble": {"double": "0.4"}, "badData": {"data": "W10"},
        "fu\u0074ure": {"int": 3}, "future": )" +
                             future + R"(,
        "unknownKind": {"colour": "red"}, "twoKinds": {"int": 1, "bool": true}, "bare": 5, "none": {}}})";
    writeFile(text);
    JsonFileDefaultsStore store(file, log);
    EXPECT_EQ(store.keys(), (std::vector<std::string>{"bigDate", "good", "wholeDouble"}));
    EXPECT_EQ(store.object("wholeDouble"), DefaultsValue(2.0));
    EXPECT_EQ(store.object("bigDate"), DefaultsValue(Date::distantFuture()));
    EXPECT_EQ(store.object("future"), std::nullopt);
    EXPECT_EQ(errorCount(), 11);
    EXPECT_EQ(test::readFile(file), text);
    EXPECT_TRUE(siblings(".corrupt-").empty());

    EXPECT_EQ(store.unreadable("unknownKind"), "unknown kind \"colour\"");
    EXPECT_TRUE(store.unreadable("boolAsInt"));
    EXPECT_EQ(store.unreadable("good"), std::nullopt);

    // Each entry this version cannot read goes back into the file as it stood, through every write.
    const std::string kept[] = {R"("boolAsInt": {"int": true})",
                                R"("intAsBool": {"bool": 1})",
                                R"("tooBig": {"int": 9223372036854775808})",
                                R"("badData": {"data": "W10"})",
                                R"("twoKinds": {"int": 1, "bool": true})",
                                R"("bare": 5)",
                                R"("none": {})",
                                R"("unknownKind": {"colour": "red"})",
                                "\"future\": " + future};
    ASSERT_TRUE(store.set("other", std::int64_t{1}));
    ASSERT_TRUE(store.copy("badData", "badData.copy"));
    ASSERT_TRUE(store.set("intAsBool", true));  // the key written over is no longer kept
    ASSERT_TRUE(store.remove("bare"));
    log.clear();
    JsonFileDefaultsStore reread(file, log);
    EXPECT_EQ(reread.keys(),
              (std::vector<std::string>{"bigDate", "good", "intAsBool", "other", "wholeDouble"}));
    EXPECT_EQ(errorCount(), 10);
    const std::string written = test::readFile(file);
    for (const std::string& entry : kept) {
        const bool replaced = entry.starts_with(R"("intAsBool")") || entry.starts_with(R"("bare")");
        EXPECT_EQ(written.find(entry) == std::string::npos, replaced) << entry << "\n" << written;
    }
    EXPECT_NE(written.find(R"("badData.copy": {"data": "W10"})"), std::string::npos) << written;
    EXPECT_FALSE(reread.copy("missing", "elsewhere"));
}

TEST_F(JsonFileDefaultsStoreTest, ADamagedProfileListIsKeptAsideBeforeTheBuiltInsReplaceIt) {
    const std::string damaged = R"({"data": "W3siaWQiOiJ4In1d#"})";  // one stray character
    writeFile(R"({"format": "torvel-defaults", "version": 1, "values": {"profiles": )" + damaged + "}}");
    JsonFileDefaultsStore store(file, log);
    const Date now(818035200.0);
    const Logger profileLog(log, "AppState");
    const auto loaded = loadProfiles(store, profileLog, now);
    EXPECT_EQ(loaded.profiles, defaultProfiles());
    ASSERT_TRUE(loaded.needsSave && !loaded.saveBlocked);
    ASSERT_TRUE(saveProfiles(store, loaded.profiles, profileLog));

    const std::string aside = "profiles.unreadable." + now.toString();
    EXPECT_NE(test::readFile(file).find("\"" + aside + "\": " + damaged), std::string::npos)
        << test::readFile(file);
    JsonFileDefaultsStore reread(file, log);
    EXPECT_TRUE(reread.unreadable(aside));
    EXPECT_TRUE(reread.object("profiles"));
}

TEST_F(JsonFileDefaultsStoreTest, MovesAnUnusableFileAsideByteForByteAndStartsEmpty) {
    const std::string documents[] = {
        "garbage {",
        "",
        "[1, 2]",
        R"({"format": "torvel-defaults", "version": 2, "values": {}})",
        R"({"format": "other", "version": 1, "values": {}})",
        R"({"format": "torvel-defaults", "version": 1})",
        std::string(
            "{\"format\": \"torvel-defaults\", \"version\": 1, \"values\": {\"x\": {\"string\": \"\xff\"}}}"),
    };
    const std::regex asideName(R"(defaults\.json\.corrupt-\d{8}T\d{6}Z(-\d+)?)");
    std::size_t moved = 0;
    for (const auto& text : documents) {
        writeFile(text);
        log.clear();
        JsonFileDefaultsStore store(file, log);
        EXPECT_TRUE(store.keys().empty()) << text;
        const auto after = siblings(".corrupt-");
        ASSERT_EQ(after.size(), ++moved) << text;
        const std::string aside = after.back();  // names sort by time, then by count within a second
        EXPECT_TRUE(std::regex_match(aside, asideName)) << aside;
        EXPECT_EQ(test::readFile(file.parent_path() / aside), text);
        EXPECT_EQ(errorCount(), 1);
        EXPECT_TRUE(log.contains("Settings", file.string()) && log.contains("Settings", aside)) << text;
        EXPECT_FALSE(fs::exists(file));

        EXPECT_TRUE(store.set("fresh", true));
        EXPECT_EQ(JsonFileDefaultsStore(file, log).keys(), std::vector<std::string>{"fresh"});
    }
}

TEST_F(JsonFileDefaultsStoreTest, TwoStoresOnOneFileKeepEachOthersChanges) {
    JsonFileDefaultsStore first(file, log);
    JsonFileDefaultsStore second(file, log);
    EXPECT_TRUE(first.set("fromFirst", std::int64_t{1}));
    EXPECT_TRUE(second.set("fromSecond", std::int64_t{2}));
    EXPECT_TRUE(first.set("laterFromFirst", std::int64_t{3}));
    EXPECT_TRUE(second.remove("fromFirst"));
    const std::vector<std::string> expected = {"fromSecond", "laterFromFirst"};
    EXPECT_EQ(second.keys(), expected);
    EXPECT_EQ(JsonFileDefaultsStore(file, log).keys(), expected);
}

TEST_F(JsonFileDefaultsStoreTest, RefusedWritesChangeNothingSayWhyAndLeaveNoTemporaries) {
    // A regular file where the directory should be: fails for root too.
    std::ofstream(file.parent_path()) << "not a directory";
    JsonFileDefaultsStore store(file, log);
    EXPECT_EQ(errorCount(), 1);  // cannot read it either
    log.clear();
    const auto refused = store.set("kept", std::int64_t{7});
    ASSERT_FALSE(refused);
    EXPECT_NE(refused.error->find(file.string()), std::string::npos) << *refused.error;
    EXPECT_NE(refused.error->find("Not a directory"), std::string::npos) << *refused.error;
    EXPECT_FALSE(store.object("kept")) << "what the disk refused is not held in memory either";
    EXPECT_EQ(errorCount(), 1);

    fs::remove(file.parent_path());
    const auto notANumber = store.set("notANumber", std::nan(""));
    ASSERT_FALSE(notANumber);
    EXPECT_NE(notANumber.error->find("not a finite number"), std::string::npos) << *notANumber.error;
    EXPECT_FALSE(store.set("notUtf8", std::string("\xc3")));
    EXPECT_FALSE(store.object("notANumber") || store.object("notUtf8"));
    EXPECT_TRUE(store.set("later", true));
    EXPECT_EQ(JsonFileDefaultsStore(file, log).keys(), (std::vector<std::string>{"later"}));

    if (::geteuid() != 0) {  // root writes into read-only directories regardless
        fs::permissions(file.parent_path(), fs::perms::owner_read | fs::perms::owner_exec);
        log.clear();
        EXPECT_FALSE(store.set("readOnly", true));
        EXPECT_EQ(errorCount(), 1);
        fs::permissions(file.parent_path(), fs::perms::owner_all);
    }

    // A full disk, simulated by a file size limit in a child so this process keeps its own limits.
    const std::string before = test::readFile(file);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{256, 256};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        CapturingLogSink childLog;
        JsonFileDefaultsStore full(file, childLog);
        const auto write = full.set("large", DefaultsData{std::vector<std::uint8_t>(4096, 'x')});
        const bool saysWhy = !write && write.error->find("File too large") != std::string::npos;
        ::_exit(saysWhy && !full.object("large") && full.object("later") ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    EXPECT_EQ(test::readFile(file), before);
    EXPECT_TRUE(siblings(".tmp-").empty());
}

TEST_F(JsonFileDefaultsStoreTest, ABatchIsWrittenWholeOrNotAtAll) {
    JsonFileDefaultsStore store(file, log);
    ASSERT_TRUE(store.apply({{"a", std::int64_t{1}}, {"b", std::string("x")}, {"c", true}}));
    ASSERT_TRUE(store.apply({{"a", std::int64_t{2}}, {"b", std::nullopt}, {"gone", std::nullopt}}));
    EXPECT_EQ(JsonFileDefaultsStore(file, log).keys(), (std::vector<std::string>{"a", "c"}));

    const std::string before = test::readFile(file);
    EXPECT_FALSE(store.apply({{"a", std::int64_t{3}}, {"bad", std::numeric_limits<double>::infinity()}}));
    EXPECT_EQ(test::readFile(file), before);
    EXPECT_EQ(store.object("a"), DefaultsValue(std::int64_t{2}));
}

TEST_F(JsonFileDefaultsStoreTest, ALinkedFileStaysALinkAndItsTargetIsReplacedAtomically) {
    const fs::path dotfiles = dir / "dotfiles";
    fs::create_directories(dotfiles / "torvel");
    fs::create_directories(file.parent_path());
    // defaults.json -> ../dotfiles/link.json -> torvel/defaults.json (relative, two hops)
    fs::create_symlink("torvel/defaults.json", dotfiles / "link.json");
    fs::create_symlink("../dotfiles/link.json", file);

    JsonFileDefaultsStore store(file, log);  // the target does not exist yet
    ASSERT_TRUE(store.set("first", true));
    ASSERT_TRUE(store.set("second", std::int64_t{2}));
    EXPECT_TRUE(fs::is_symlink(file));
    EXPECT_TRUE(fs::is_symlink(dotfiles / "link.json"));
    EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(dotfiles / "torvel" / "defaults.json")));
    EXPECT_EQ(JsonFileDefaultsStore(dotfiles / "torvel" / "defaults.json", log).keys(),
              (std::vector<std::string>{"first", "second"}));
    EXPECT_TRUE(siblings(".tmp-").empty());
    EXPECT_EQ(siblings("", dotfiles / "torvel"), std::vector<std::string>{"defaults.json"})
        << "no temporary file left beside the target";
    EXPECT_EQ(errorCount(), 0);

    // An unusable target is moved aside in its own folder; the links stay for the fresh file.
    std::ofstream(dotfiles / "torvel" / "defaults.json", std::ios::trunc) << "garbage {";
    JsonFileDefaultsStore reopened(file, log);
    EXPECT_TRUE(reopened.keys().empty());
    ASSERT_TRUE(reopened.set("third", true));
    EXPECT_TRUE(fs::is_symlink(file));
    EXPECT_EQ(JsonFileDefaultsStore(file, log).keys(), std::vector<std::string>{"third"});
    EXPECT_EQ(siblings("defaults.json.corrupt-", dotfiles / "torvel").size(), 1u);
}

class DiscardingLogSink : public LogSink {
public:
    void write(LogLevel, std::string_view, std::string_view) override {}
};

std::string nameFor(std::int64_t i) {
    return "writer-" + std::to_string(i) + "-ž";
}

/// Eight bytes of `i`, then a run counting up from it, of a length that varies with `i`.
DefaultsData blobFor(std::int64_t i) {
    std::vector<std::uint8_t> bytes(8 + static_cast<std::size_t>(i * 37 % 600));
    std::memcpy(bytes.data(), &i, sizeof i);
    for (std::size_t k = 8; k < bytes.size(); ++k) bytes[k] = static_cast<std::uint8_t>(i + k);
    return {bytes};
}

/// Rewrites three keys in turn, counting up from the stored counter, until killed.
[[noreturn]] void writeUntilKilled(const fs::path& file) {
    ::prctl(PR_SET_PDEATHSIG, SIGKILL);
    DiscardingLogSink sink;
    JsonFileDefaultsStore store(file, sink);
    auto counter = store.object("counter");
    std::int64_t i = counter ? std::get<std::int64_t>(*counter) : 0;
    for (const std::int64_t end = i + 1'000'000; i < end;) {
        store.set("counter", ++i);
        store.set("name", nameFor(i));
        store.set("blob", blobFor(i));
    }
    ::_exit(0);
}

TEST_F(JsonFileDefaultsStoreTest, WritersKilledAtRandomMomentsLeaveAWholeFileAndNoLitter) {
    std::mt19937 random(20240611);
    std::uniform_int_distribution<int> delayMicroseconds(0, 5000);
    // Index of the last complete write of each key; the writer sets them in this order, so
    // blob <= name <= counter, and none may go backwards.
    std::int64_t counter = 0, name = 0, blob = 0;
    for (int round = 0; round < 200; ++round) {
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) writeUntilKilled(file);
        // Every tenth round waits long enough for some writes to complete even on a slow disk.
        std::this_thread::sleep_for(
            std::chrono::microseconds(round % 10 == 9 ? 50'000 : delayMicroseconds(random)));
        ::kill(child, SIGKILL);
        int status = 0;
        while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
        }

        log.clear();
        JsonFileDefaultsStore store(file, log);
        ASSERT_EQ(errorCount(), 0) << log.lines().front().message;
        ASSERT_TRUE(siblings(".corrupt-").empty());
        ASSERT_TRUE(siblings(".tmp-").empty()) << "round " << round;

        const std::int64_t lastCounter = counter, lastName = name, lastBlob = blob;
        if (auto value = store.object("counter")) counter = std::get<std::int64_t>(*value);
        if (auto value = store.object("name")) {
            const std::string text = std::get<std::string>(*value);
            name = std::stoll(text.substr(7));
            ASSERT_EQ(text, nameFor(name));
        }
        if (auto value = store.object("blob")) {
            const auto& bytes = std::get<DefaultsData>(*value).bytes;
            ASSERT_GE(bytes.size(), 8u);
            std::memcpy(&blob, bytes.data(), sizeof blob);
            ASSERT_EQ(bytes, blobFor(blob).bytes);
        }
        ASSERT_TRUE(lastCounter <= counter && lastName <= name && lastBlob <= blob) << "round " << round;
        ASSERT_TRUE(blob <= name && name <= counter) << blob << " " << name << " " << counter;
    }
    EXPECT_GT(blob, 0);
}

TEST(JsonFileDefaultsStorePathTest, FollowsXdgAndFallsBackOnHostileEnvironment) {
    const test::ScopedEnv restored({{"XDG_CONFIG_HOME", std::nullopt}, {"HOME", std::nullopt}});
    const passwd* user = ::getpwuid(::geteuid());
    const std::optional<fs::path> userHome =
        user && user->pw_dir[0] == '/' ? std::optional(fs::path(user->pw_dir)) : std::nullopt;
    auto underHome = [](const std::optional<fs::path>& home) {
        return home ? std::optional(*home / ".config/torvel/defaults.json") : std::nullopt;
    };
    const struct {
        const char* xdg;
        const char* home;
        std::optional<fs::path> expected;
    } cases[] = {
        {"/x/cfg", "/home/u", fs::path("/x/cfg/torvel/defaults.json")},
        {"/x/cfg/", "relative", fs::path("/x/cfg/torvel/defaults.json")},
        {"", "/home/u", underHome(fs::path("/home/u"))},
        {"relative/cfg", "/home/u", underHome(fs::path("/home/u"))},
        {nullptr, "/home/u", underHome(fs::path("/home/u"))},
        {"~/cfg", "", underHome(userHome)},
        {nullptr, "home/u", underHome(userHome)},
        {nullptr, nullptr, underHome(userHome)},
    };
    for (const auto& c : cases) {
        c.xdg ? ::setenv("XDG_CONFIG_HOME", c.xdg, 1) : ::unsetenv("XDG_CONFIG_HOME");
        c.home ? ::setenv("HOME", c.home, 1) : ::unsetenv("HOME");
        EXPECT_EQ(JsonFileDefaultsStore::defaultPath(), c.expected)
            << (c.xdg ? c.xdg : "(unset)") << " / " << (c.home ? c.home : "(unset)");
    }
}

// clang names AddressSanitizer only through __has_feature.
#if defined(__SANITIZE_ADDRESS__)
#define TORVEL_TEST_HAS_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define TORVEL_TEST_HAS_ASAN 1
#endif
#endif

// Each of these once kept Torvel from starting: a stack overflow on the nesting, an open that waited
// for a writer, a read without end. Each start runs in a child, so a hang or crash fails the test.
TEST_F(JsonFileDefaultsStoreTest, StartsWithDefaultsWhateverSitsAtThePathAndMovesItAside) {
    auto startsWithDefaults = [&](std::string_view logged) {
        const auto started = std::chrono::steady_clock::now();
        const pid_t child = ::fork();
        if (child == 0) {
            ::alarm(10);
#ifndef TORVEL_TEST_HAS_ASAN  // its shadow memory needs far more room
            const rlimit memory{std::size_t{2} << 30, std::size_t{2} << 30};
            ::setrlimit(RLIMIT_AS, &memory);
#endif
            try {
                CapturingLogSink childLog;
                JsonFileDefaultsStore store(file, childLog);
                const bool fresh = store.keys().empty() && store.set("fresh", true);
                ::_exit(fresh && childLog.contains("Settings", logged) ? 0 : 1);
            } catch (...) {  // never back into the test runner
                ::_exit(2);
            }
        }
        int status = 0;
        if (::waitpid(child, &status, 0) != child || !WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            fs::remove(file);  // still where it was; the next case needs the path
            return false;
        }
        EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(5)) << logged;
        EXPECT_EQ(JsonFileDefaultsStore(file, log).keys(), std::vector<std::string>{"fresh"}) << logged;
        fs::remove(file);
        return true;
    };
    const std::string deep = std::string(100000, '[') + std::string(100000, ']');
    writeFile(R"({"format": "torvel-defaults", "version": )" + deep + R"(, "values": {}})");
    EXPECT_TRUE(startsWithDefaults("nested deeper than 64 levels"));
    writeFile(R"({"format": "torvel-defaults", "version": 1, "values": {"x": )" + deep + "}}");
    EXPECT_TRUE(startsWithDefaults("nested deeper than 64 levels"));
    // Well-formed but padded past the size limit: refused unread.
    writeFile(R"({"format": "torvel-defaults", "version": 1, "values": {}})" + std::string(9 << 20, ' '));
    EXPECT_TRUE(startsWithDefaults("larger than the limit of 8388608 bytes"));
    EXPECT_EQ(siblings(".corrupt-").size(), 3u);

    ASSERT_EQ(::mkfifo(file.c_str(), 0600), 0);
    EXPECT_TRUE(startsWithDefaults("a FIFO, not a regular file"));
    fs::create_symlink("/dev/zero", file);
    EXPECT_TRUE(startsWithDefaults("a device, not a regular file"));
    // The link moved aside, not what it names.
    EXPECT_TRUE(fs::is_character_file("/dev/zero"));
    const auto aside = siblings(".corrupt-");
    ASSERT_EQ(aside.size(), 5u);
    EXPECT_EQ(std::count_if(aside.begin(), aside.end(),
                            [&](const auto& name) { return fs::is_symlink(file.parent_path() / name); }),
              1);
}

}  // namespace
}  // namespace torvel
