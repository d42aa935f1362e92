#include "Platform/Linux/Desktop/PulseSimpleSounds.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "Platform/Linux/TestSupport.h"

namespace torvel {
namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr double kRate = 22050;
const fs::path kSounds = fs::path(TORVEL_SOURCE_ROOT) / "resources" / "sounds";

// The players log from their own threads; what they say is not what these tests check.
struct QuietLog : LogSink {
    void write(LogLevel, std::string_view, std::string_view) override {}
};

// The main loop the adapter posts outcomes to from the players' threads, and the outcomes it told.
struct PostedLoop : Scheduler {
    void post(std::function<void()> task) override {
        const std::lock_guard lock(mutex);
        posted.push_back(std::move(task));
    }
    Timer after(double, std::function<void()>) override { return nullptr; }
    Timer every(double, std::function<void()>) override { return nullptr; }
    Sounds::Outcome record() {
        return [this](bool heard) { told.push_back(heard); };
    }
    void runPosted() {
        std::deque<std::function<void()>> tasks;
        {
            const std::lock_guard lock(mutex);
            tasks.swap(posted);
        }
        for (auto& task : tasks) task();
    }
    // Runs what is posted until `count` outcomes were told, for at most 10 s.
    bool runUntilTold(std::size_t count) {
        const auto deadline = Clock::now() + 10s;
        for (runPosted(); told.size() < count; runPosted()) {
            if (Clock::now() > deadline) return false;
            std::this_thread::sleep_for(10ms);
        }
        return true;
    }
    std::mutex mutex;
    std::deque<std::function<void()>> posted;
    std::vector<bool> told;
};

std::vector<unsigned char> wav(std::uint16_t format, std::uint16_t channels, std::uint32_t rate,
                               std::uint16_t bits, std::uint32_t dataSize, std::size_t dataPresent) {
    std::vector<unsigned char> b;
    const auto put = [&b](std::uint64_t v, int n) {
        for (int i = 0; i < n; ++i) b.push_back(static_cast<unsigned char>(v >> (8 * i)));
    };
    const auto tag = [&b](const char* t) {
        for (int i = 0; i < 4; ++i) b.push_back(static_cast<unsigned char>(t[i]));
    };
    tag("RIFF"), put(36 + dataSize, 4), tag("WAVE");
    tag("LIST"), put(3, 4), put(0, 4);  // an odd-sized chunk before the format, padded to 4
    tag("fmt "), put(16, 4), put(format, 2), put(channels, 2), put(rate, 4),
        put(rate * channels * bits / 8, 4);
    put(channels * bits / 8, 2), put(bits, 2);
    tag("data"), put(dataSize, 4);
    for (std::size_t i = 0; i < dataPresent; ++i) b.push_back(static_cast<unsigned char>(i));
    return b;
}

TEST(WavClipTest, ReadsPlainPcmAndRefusesEverythingElse) {
    const auto good = WavClip::parse(wav(1, 1, 22050, 16, 8, 8));
    ASSERT_TRUE(good);
    EXPECT_EQ(good->sampleRate, 22050u);
    EXPECT_EQ(good->samples, (std::vector<std::int16_t>{0x0100, 0x0302, 0x0504, 0x0706}));
    // A data size beyond the file keeps the whole frames that are there.
    EXPECT_EQ(WavClip::parse(wav(1, 2, 44100, 16, 0xFFFFFFFF, 11))->samples.size(), 4u);

    // Floating point, 8-bit, no channels, surround, no rate, no samples, less than one frame; then a
    // chunk size that would wrap the offset, which ends the walk instead.
    std::vector<std::vector<unsigned char>> rows = {wav(3, 1, 22050, 16, 8, 8), wav(1, 1, 22050, 8, 8, 8),
                                                    wav(1, 0, 22050, 16, 8, 8), wav(1, 6, 22050, 16, 8, 8),
                                                    wav(1, 1, 0, 16, 8, 8),     wav(1, 1, 22050, 16, 0, 0),
                                                    wav(1, 2, 22050, 16, 8, 3), wav(1, 1, 22050, 16, 8, 8)};
    std::fill_n(rows.back().begin() + 16, 4, 0xFF);
    for (std::size_t i = 0; i < rows.size(); ++i) EXPECT_FALSE(WavClip::parse(rows[i])) << "row " << i;

    const auto pop = WavClip::read(kSounds / "Pop.wav");
    ASSERT_TRUE(pop);
    EXPECT_EQ(pop->channels, 1);
    EXPECT_NEAR(static_cast<double>(pop->samples.size()) / kRate, 0.1, 0.01);
}

TEST(PulseSimpleSoundsTest, FindsOnlyItsOwnSoundsAndSaysWhenThereIsNoAudio) {
    QuietLog log;
    PostedLoop loop;
    {
        PulseSimpleSounds sounds(kSounds, loop, log, "libtorvel-no-such-audio.so.0");
        EXPECT_TRUE(sounds.has("Submarine"));
        EXPECT_FALSE(sounds.has("Nope"));
        EXPECT_FALSE(sounds.has("../sounds/Pop"));
        EXPECT_FALSE(sounds.has(""));
        EXPECT_FALSE(PulseSimpleSounds({}, loop, log).has("Pop"));

        // Whether the library is there is learnt on the player's thread and told through the loop; from
        // then on nothing starts.
        sounds.play("Pop", 1.0, loop.record());
        EXPECT_TRUE(loop.told.empty()) << "told inside the call";
        ASSERT_TRUE(loop.runUntilTold(1));
        sounds.play("Pop", 1.0, loop.record());
        sounds.startLoop("Sosumi", 1.0, loop.record());
        ASSERT_TRUE(loop.runUntilTold(3));
    }
    // The library is there (the tests install it), the server is not: an alarm is told it could not sound.
    const test::ScopedEnv noServer("PULSE_SERVER", "unix:/nonexistent/torvel-test/no-server");
    {
        PulseSimpleSounds sounds(kSounds, loop, log);
        sounds.startLoop("Sosumi", 1.0, loop.record());
        sounds.play("Pop", 1.0, loop.record());
        EXPECT_TRUE(loop.runUntilTold(5));
    }
    EXPECT_EQ(loop.told, std::vector<bool>(5, false));
}

// Where the non-silent part of a recording starts and ends (seconds) and its loudest sample (0 to 1).
struct Heard {
    double start = -1, end = -1, peak = 0;
    double length() const { return end - start; }
};

Heard listen(const std::vector<std::int16_t>& samples) {
    Heard heard;
    for (std::size_t i = 0; i < samples.size(); ++i) {
        const double level = std::abs(samples[i]) / 32768.0;
        if (level < 0.01) continue;
        if (heard.start < 0) heard.start = static_cast<double>(i) / kRate;
        heard.end = static_cast<double>(i) / kRate;
        heard.peak = std::max(heard.peak, level);
    }
    return heard;
}

int sh(const std::string& command) {
    return std::system(command.c_str());
}

// A private PulseAudio server with one null sink, and a recording of what reaches it.
class PulseServer : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(dir_.empty());
        fs::create_directories(dir_ / "run");
        // The server, the recorder and the adapter's library all find one another through these.
        env_.emplace(std::map<std::string, std::optional<std::string>>{
            {"HOME", dir_.string()},
            {"XDG_RUNTIME_DIR", (dir_ / "run").string()},
            {"PULSE_SERVER", "unix:" + (dir_ / "pulse.sock").string()}});
        // Daemonised, the server returns once it is ready; if the test dies, it ends itself once idle.
        if (sh("pulseaudio -n --daemonize=yes --exit-idle-time=20 --load='module-null-sink sink_name=t' "
               "--load='module-native-protocol-unix auth-anonymous=1 socket=" +
               (dir_ / "pulse.sock").string() + "' 2>" + (dir_ / "server.log").string()) != 0) {
            const std::string why = test::readFile(dir_ / "server.log");
            // Only a machine without the server may skip; CI installs it and must run this.
            if (std::getenv("CI")) FAIL() << "no PulseAudio server: " << why;
            GTEST_SKIP() << "no PulseAudio server here (./scripts/setup --tests installs it): " << why;
        }
        ASSERT_EQ(sh("parec -d t.monitor --format=s16le --rate=22050 --channels=1 --latency-msec=10 >" +
                     (dir_ / "recording.raw").string() + " & echo $! >" + (dir_ / "parec.pid").string()),
                  0);
    }
    void TearDown() override {
        sh("kill $(cat " + (dir_ / "parec.pid").string() + ") 2>/dev/null; pulseaudio --kill 2>/dev/null");
        env_.reset();
    }
    std::vector<std::int16_t> recording() const {
        const std::string bytes = test::readFile(dir_ / "recording.raw");
        std::vector<std::int16_t> samples(bytes.size() / 2);
        if (!samples.empty()) std::memcpy(samples.data(), bytes.data(), samples.size() * 2);
        return samples;
    }
    // Waits (at most 10 s) until something was heard and then `quiet` seconds of silence.
    Heard heardThenQuiet(double quiet) const {
        const auto deadline = Clock::now() + 10s;
        for (;;) {
            const auto samples = recording();
            const Heard heard = listen(samples);
            if ((heard.start >= 0 && static_cast<double>(samples.size()) / kRate - heard.end >= quiet) ||
                Clock::now() > deadline)
                return heard;
            std::this_thread::sleep_for(20ms);
        }
    }

    QuietLog log_;
    test::TemporaryFolder folder_{"/tmp/torvel-pulse"};  // a short path: the socket lives in it
    fs::path dir_ = folder_.path();
    std::optional<test::ScopedEnv> env_;
};

TEST_F(PulseServer, APopArrivesWholeAtItsVolume) {
    PostedLoop loop;
    PulseSimpleSounds sounds(kSounds, loop, log_);
    sounds.play("Pop", 0.5, loop.record());
    ASSERT_TRUE(loop.runUntilTold(1));
    EXPECT_EQ(loop.told, std::vector<bool>{true});
    const Heard heard = heardThenQuiet(0.3);
    const double clipPeak = listen(WavClip::read(kSounds / "Pop.wav")->samples).peak;
    EXPECT_NEAR(heard.length(), 0.09, 0.04);
    EXPECT_NEAR(heard.peak, clipPeak * 0.5, clipPeak * 0.1);
}

TEST_F(PulseServer, TheAlarmLoopsUntilStoppedAndStopsAtOnce) {
    PostedLoop loop;
    PulseSimpleSounds sounds(kSounds, loop, log_);
    sounds.startLoop("Sosumi", 1.0, loop.record());
    const auto deadline = Clock::now() + 10s;
    while (listen(recording()).start < 0 && Clock::now() < deadline) std::this_thread::sleep_for(10ms);
    const auto firstHeard = Clock::now();
    std::this_thread::sleep_for(1200ms);  // more than two rounds of the half-second clip
    loop.runPosted();
    EXPECT_EQ(loop.told, std::vector<bool>{true}) << "heard, and told so once";
    const auto stopping = Clock::now();
    sounds.stopLoop();
    const auto stopped = Clock::now();
    const Heard heard = heardThenQuiet(0.3);
    // The recording lags the same at both ends, so this is how long it should have sounded.
    const double played = std::chrono::duration<double>(stopping - firstHeard).count();
    EXPECT_LT(stopped - stopping, 10ms);
    EXPECT_GT(heard.length(), 1.1);
    // What was heard ends within 0.1 s of the stop, give or take the recording's own latency.
    EXPECT_LT(heard.length(), played + 0.1);
    EXPECT_GT(heard.peak, 0.5);
    // The stop is no failure: nothing more is told.
    loop.runPosted();
    EXPECT_EQ(loop.told, std::vector<bool>{true});
}

}  // namespace
}  // namespace torvel
