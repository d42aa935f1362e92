#include "FakeSystemTree.h"

#include <stdlib.h>

#include <array>
#include <fstream>
#include <string_view>
#include <system_error>

namespace torvel {

namespace fs = std::filesystem;
using namespace std::string_literals;

namespace {

// Languages a widely translated application ships Name and Comment in.
constexpr std::array<std::string_view, 24> kLanguages{"ar", "bg", "ca",    "cs", "da", "de", "el", "es",
                                                      "fi", "fr", "he",    "hu", "it", "ja", "ko", "nb",
                                                      "nl", "pl", "pt_BR", "ru", "sk", "sv", "uk", "zh_CN"};

// Entries found by the cgroup route are named by a systemd scope, which escapes '-'.
std::string entryId(int entry) {
    if (entry % 10 == 5) return "vendor-bench-app-" + std::to_string(entry);  // vendor/bench-app-N
    return entry % 2 == 0 ? "org.bench.App" + std::to_string(entry) : "bench-app-" + std::to_string(entry);
}

std::string program(int entry) {
    return "benchapp" + std::to_string(entry);
}

std::string escapeUnit(const std::string& id) {
    std::string out;
    for (const char c : id) out += c == '-' ? "\\x2d"s : std::string(1, c);
    return out;
}

void write(const fs::path& path, const std::string& text) {
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

std::string desktopFile(int entry) {
    const std::string n = std::to_string(entry);
    std::string text = "[Desktop Entry]\nType=Application\nVersion=1.0\nName=Bench Application " + n + "\n";
    for (const auto language : kLanguages) text += "Name[" + std::string(language) + "]=Aplikace " + n + "\n";
    text += "GenericName=Benchmark Tool\nComment=Does benchmark things number " + n + "\n";
    for (const auto language : kLanguages)
        text += "Comment[" + std::string(language) + "]=Translated description of application " + n + "\n";
    switch (entry % 3) {
        case 0:
            text += "Exec=" + program(entry) + " %U\n";
            break;
        case 1:
            text += "Exec=/usr/bin/" + program(entry) + " --new-window %F\n";
            break;
        default:
            text += "Exec=env BENCH_MODE=1 " + program(entry) + " %u\n";
            break;
    }
    if (entry % 5 == 0) text += "TryExec=" + program(entry) + "\n";
    if (entry % 4 == 0) text += "StartupWMClass=BenchApp" + n + "\n";
    if (entry % 25 == 0) text += "NoDisplay=true\n";
    text += "Icon=bench-app-" + n +
            "\nTerminal=false\nCategories=Utility;Development;\n"
            "Keywords=bench;measure;tool;\nStartupNotify=true\nMimeType=text/plain;text/x-log;\n";
    if (entry % 3 == 0) {
        text +=
            "Actions=new-window;\n\n[Desktop Action new-window]\nName=New Window\nName[cs]=Nové okno\n"
            "Exec=" +
            program(entry) + " --new-window\n";
    }
    return text;
}

// The environment a desktop session hands its programs: a few kilobytes of variables.
std::string baseEnvironment() {
    std::string text;
    const std::array<std::string_view, 12> fixed{
        "SHELL=/bin/bash",
        "LANG=cs_CZ.UTF-8",
        "HOME=/home/user",
        "USER=user",
        "LOGNAME=user",
        "XDG_SESSION_TYPE=wayland",
        "XDG_CURRENT_DESKTOP=GNOME",
        "WAYLAND_DISPLAY=wayland-0",
        "DBUS_SESSION_BUS_ADDRESS=unix:path=/run/user/1000/bus",
        "XDG_RUNTIME_DIR=/run/user/1000",
        "PATH=/home/user/.local/bin:/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin",
        "XDG_DATA_DIRS=/usr/share/gnome:/usr/local/share/:/usr/share/"};
    for (const auto item : fixed) text += std::string(item) + '\0';
    for (int i = 0; i < 30; ++i)
        text += "SESSION_VARIABLE_" + std::to_string(i) + "=some-value-of-moderate-length" + '\0';
    return text;
}

std::string status(const std::string& comm, int pid, int parent, std::uint32_t uid) {
    const std::string u = std::to_string(uid);
    std::string text = "Name:\t" + comm + "\nUmask:\t0022\nState:\tS (sleeping)\nTgid:\t" +
                       std::to_string(pid) + "\nNgid:\t0\nPid:\t" + std::to_string(pid) + "\nPPid:\t" +
                       std::to_string(parent) + "\nTracerPid:\t0\nUid:\t" + u + "\t" + u + "\t" + u + "\t" +
                       u + "\nGid:\t" + u + "\t" + u + "\t" + u + "\t" + u +
                       "\nFDSize:\t64\nGroups:\t4 24 27 30 46 100 118 " + u + "\n";
    // The memory, signal and capability lines that follow in a real file, about a kilobyte.
    for (const auto key : {"NStgid",
                           "NSpid",
                           "NSpgid",
                           "NSsid",
                           "VmPeak",
                           "VmSize",
                           "VmLck",
                           "VmPin",
                           "VmHWM",
                           "VmRSS",
                           "RssAnon",
                           "RssFile",
                           "RssShmem",
                           "VmData",
                           "VmStk",
                           "VmExe",
                           "VmLib",
                           "VmPTE",
                           "VmSwap",
                           "HugetlbPages",
                           "CoreDumping",
                           "THP_enabled",
                           "Threads",
                           "SigQ",
                           "SigPnd",
                           "ShdPnd",
                           "SigBlk",
                           "SigIgn",
                           "SigCgt",
                           "CapInh",
                           "CapPrm",
                           "CapEff",
                           "CapBnd",
                           "CapAmb",
                           "NoNewPrivs",
                           "Seccomp",
                           "Speculation_Store_Bypass",
                           "Cpus_allowed",
                           "Cpus_allowed_list",
                           "Mems_allowed",
                           "Mems_allowed_list",
                           "voluntary_ctxt_switches",
                           "nonvoluntary_ctxt_switches"})
        text += std::string(key) + ":\t0000000000000000\n";
    return text;
}

std::string stat(int pid, const std::string& comm, int parent) {
    return std::to_string(pid) + " (" + comm + ") S " + std::to_string(parent) +
           " 1 1 0 -1 4194304 5023 0 12 0 42 17 0 0 20 0 4 0 " + std::to_string(90000 + pid) +
           " 812345344 12345 18446744073709551615 1 1 0 0 0 0 0 4096 17663 0 0 0 17 1 0 0 0 0 0 0 0 0 0 0 0 "
           "0 0\n";
}

}  // namespace

FakeSystemTree::FakeSystemTree(int processes, int desktopEntries) {
    std::string pattern = (fs::temp_directory_path() / "torvel-bench-XXXXXX").string();
    if (!::mkdtemp(pattern.data())) return;
    root_ = pattern;
    writeEntries(desktopEntries);
    writeProcesses(processes, desktopEntries);
}

FakeSystemTree::~FakeSystemTree() {
    std::error_code ignored;
    if (valid()) fs::remove_all(root_, ignored);
}

fs::path FakeSystemTree::entryPath(int entry) const {
    // A tenth of the entries are the user's own; a few sit in a vendor subfolder, as KDE's used to.
    const fs::path folder = root_ / (entry % 10 == 3 ? "user" : "system");
    if (entry % 10 == 5) return folder / "vendor" / ("bench-app-" + std::to_string(entry) + ".desktop");
    return folder / (entryId(entry) + ".desktop");
}

void FakeSystemTree::writeEntries(int count) {
    for (int entry = 0; entry < count; ++entry) write(entryPath(entry), desktopFile(entry));
}

void FakeSystemTree::writeProcesses(int count, int entries) {
    const fs::path proc = procRoot();
    // What /proc holds besides processes.
    for (const auto name : {"meminfo", "cpuinfo", "stat", "uptime", "version", "loadavg", "mounts", "cgroups",
                            "filesystems", "interrupts", "modules", "swaps", "vmstat", "zoneinfo"})
        write(proc / name, "0\n");
    for (const auto name : {"sys", "net", "bus", "fs", "irq", "driver", "tty"})
        fs::create_directories(proc / name);

    const std::string environment = baseEnvironment();
    const std::string session = "0::/user.slice/user-1000.slice/session-2.scope\n";
    for (int i = 0; i < count; ++i) {
        // Forty kinds repeat: 14 not the user's, 2 launched, 3 scoped, 5 by program, 2 helpers, 14 no app.
        const int kind = i % 40;
        const int pid = 300 + i * 3;
        const int entry = (i / 40 * 13 + kind) % entries;
        int parent = 1;
        std::uint32_t uid = kUser;
        std::string comm = "worker" + std::to_string(i % 97);
        std::string exe = "/usr/libexec/worker-" + std::to_string(i);
        std::string env = environment;
        std::string cgroup = session;
        std::string cmdline = exe + '\0' + "--daemon" + '\0';
        if (kind < 14) {
            uid = kind % 2 == 0 ? 0u : 100u + static_cast<std::uint32_t>(kind);
        } else if (kind < 16) {
            exe = "/usr/lib/launched-" + std::to_string(entry) + "/main";
            env += "GIO_LAUNCHED_DESKTOP_FILE=" + entryPath(entry).string() + '\0' +
                   "GIO_LAUNCHED_DESKTOP_FILE_PID=" + std::to_string(pid) + '\0';
        } else if (kind < 19) {
            exe = "/opt/scoped/" + std::to_string(entry) + "/run";
            cgroup = "0::/user.slice/user-1000.slice/user@1000.service/app.slice/app-gnome-" +
                     escapeUnit(entryId(entry)) + "-" + std::to_string(pid) + ".scope\n";
        } else if (kind < 26) {
            // Helpers (kinds 24 and 25) run the program of the process just before them, their parent.
            const int owner = kind < 24 ? entry : (i - (kind - 23)) / 40 * 13 + 23;
            comm = program(owner % entries);
            exe = "/usr/bin/" + comm;
            cmdline = exe + '\0';
            if (kind >= 24) parent = pid - 3;
        }
        if (uid == kUser && kind >= 14 && kind < 26) ++expectedApplications_;

        const fs::path dir = proc / std::to_string(pid);
        write(dir / "status", status(comm, pid, parent, uid));
        write(dir / "stat", stat(pid, comm, parent));
        write(dir / "cmdline", cmdline);
        write(dir / "environ", env);
        write(dir / "cgroup", cgroup);
        fs::create_symlink(exe, dir / "exe");
    }
}

}  // namespace torvel
