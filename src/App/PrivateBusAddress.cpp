#include "App/PrivateBusAddress.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace torvel {

namespace {

constexpr const char* kFileName = "/bus";
// A bus address is a short line; anything longer is not one.
constexpr std::size_t kMaxAddressLength = 1024;

// The user's own folder, not a link, that nobody else can enter or change.
bool folderIsPrivate(const std::string& folder) {
    struct stat info {};
    return ::lstat(folder.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && info.st_uid == ::getuid() &&
           (info.st_mode & 077) == 0;
}

bool isAddress(const std::string& text) {
    if (text.empty() || text.size() > kMaxAddressLength) return false;
    for (unsigned char c : text)
        if (c <= 0x20 || c >= 0x7F) return false;
    return text.find(':') != std::string::npos;
}

std::optional<std::string> readFile(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0) return std::nullopt;
    struct stat info {};
    std::string text(kMaxAddressLength + 2, '\0');
    ssize_t length = -1;
    if (::fstat(fd, &info) == 0 && S_ISREG(info.st_mode) && info.st_uid == ::getuid() &&
        (info.st_mode & 022) == 0)
        length = ::read(fd, text.data(), text.size());
    ::close(fd);
    if (length <= 0) return std::nullopt;
    text.resize(static_cast<std::size_t>(length));
    if (text.ends_with('\n')) text.pop_back();
    return text;
}

}  // namespace

std::string PrivateBusAddress::folderFor(const char* runtimeDir, uid_t uid) {
    if (runtimeDir && *runtimeDir == '/') return std::string(runtimeDir) + "/torvel";
    return "/tmp/torvel-" + std::to_string(uid);
}

std::string PrivateBusAddress::defaultFolder() {
    return folderFor(std::getenv("XDG_RUNTIME_DIR"), ::getuid());
}

std::optional<std::string> PrivateBusAddress::record(const std::string& folder, const std::string& address) {
    if (!isAddress(address)) return "not a bus address";
    if (::mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return folder + ": " + std::strerror(errno);
    // In /tmp another user may have made the folder first: then it is theirs, and not used.
    if (!folderIsPrivate(folder)) return folder + " is not a folder only this user can use";
    std::string temporary = folder + "/.bus-XXXXXX";
    const int fd = ::mkstemp(temporary.data());
    if (fd < 0) return folder + ": " + std::strerror(errno);
    const std::string line = address + "\n";
    const bool written = ::write(fd, line.data(), line.size()) == static_cast<ssize_t>(line.size());
    ::close(fd);
    // Replaced in one step, so a reader never sees half an address.
    if (!written || ::rename(temporary.c_str(), (folder + kFileName).c_str()) != 0) {
        const std::string why = std::strerror(errno);
        ::unlink(temporary.c_str());
        return folder + kFileName + ": " + why;
    }
    return std::nullopt;
}

std::optional<std::string> PrivateBusAddress::read(const std::string& folder) {
    if (!folderIsPrivate(folder)) return std::nullopt;
    auto text = readFile(folder + kFileName);
    if (!text || !isAddress(*text)) return std::nullopt;
    return text;
}

void PrivateBusAddress::remove(const std::string& folder, const std::string& address) {
    if (read(folder) == address) ::unlink((folder + kFileName).c_str());
}

}  // namespace torvel
