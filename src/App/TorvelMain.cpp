// The torvel command. For now it answers --doctor, --help and --version; the tray application,
// --headless and the client commands join it with the application itself.
#include <QCoreApplication>
#include <QDBusConnection>
#include <cstdio>
#include <cstring>

#include "Platform/Linux/Doctor.h"

namespace {

constexpr const char* kUsage =
    "Usage: torvel [OPTION]\n"
    "\n"
    "Keeps this computer awake: by hand, through profiles, or while an external display,\n"
    "a trusted Wi-Fi network or a watched application calls for it.\n"
    "\n"
    "  --doctor    show which desktop services this session offers and what Torvel does without each\n"
    "  --help      show this text\n"
    "  --version   show the version\n";

}  // namespace

int main(int argc, char** argv) {
    if (argc == 2 && (!std::strcmp(argv[1], "--help") || !std::strcmp(argv[1], "-h"))) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (argc == 2 && !std::strcmp(argv[1], "--version")) {
        std::printf("torvel %s\n", TORVEL_VERSION);
        return 0;
    }
    if (argc == 2 && !std::strcmp(argv[1], "--doctor")) {
        QCoreApplication app(argc, argv);
        const auto findings =
            torvel::examineDesktop(QDBusConnection::systemBus(), QDBusConnection::sessionBus());
        std::fputs(torvel::formatDoctorReport(findings).c_str(), stdout);
        return 0;
    }
    std::fprintf(
        stderr, "torvel: %s\nTry 'torvel --help'.\n",
        argc < 2 ? "the tray application is not part of this build yet; see --doctor" : "unknown option");
    return 2;
}
