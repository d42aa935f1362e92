#include "Platform/Linux/Helpers/AtomicFile.h"

#include <cerrno>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <system_error>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>

#include <fmt/format.h>

namespace torvel::AtomicFile {

namespace {

constexpr int kMaxLinks = 40;  // what the kernel follows before ELOOP

}  // namespace

std::string errorText(int error) {
    return std::generic_category().message(error);
}

std::filesystem::path writeTarget(const std::filesystem::path& file) {
    std::filesystem::path current = file;
    for (int hop = 0; hop < kMaxLinks; ++hop) {
        std::error_code error;
        if (!std::filesystem::is_symlink(std::filesystem::symlink_status(current, error)) || error)
            return current;
        const std::filesystem::path next = std::filesystem::read_symlink(current, error);
        if (error) return current;
        // A relative link is relative to the folder holding it.
        current = next.is_absolute() ? next : directoryOf(current) / next;
    }
    return file;
}

ReadStatus readRegular(const std::filesystem::path& file, std::size_t maxSize, std::string& text,
                       std::string& why) {
    text.clear();
    auto failed = [&](int error) {
        why = errorText(error);
        return ReadStatus::failed;
    };
    auto refused = [&](mode_t mode) {
        why = S_ISFIFO(mode)                   ? "a FIFO, not a regular file"
              : S_ISCHR(mode) || S_ISBLK(mode) ? "a device, not a regular file"
              : S_ISDIR(mode)                  ? "a folder, not a regular file"
                                               : "not a regular file";
        return ReadStatus::refused;
    };
    auto tooLarge = [&] {
        why = fmt::format("larger than the limit of {} bytes", maxSize);
        return ReadStatus::refused;
    };
    // Look before opening: opening some devices does something by itself.
    struct stat info {};
    if (::stat(file.c_str(), &info) != 0) return errno == ENOENT ? ReadStatus::missing : failed(errno);
    if (!S_ISREG(info.st_mode)) return refused(info.st_mode);
    // O_NONBLOCK: should the name turn into a FIFO meanwhile, the open does not wait for a writer.
    FileDescriptor fd(
        retryOnInterrupt([&] { return ::open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY); }));
    if (fd.get() < 0) {
        if (errno == ENOENT) return ReadStatus::missing;
        return errno == ENXIO ? refused(S_IFSOCK) : failed(errno);
    }
    // What was opened is what counts; the name may have been replaced since the look above.
    if (::fstat(fd.get(), &info) != 0) return failed(errno);
    if (!S_ISREG(info.st_mode)) return refused(info.st_mode);
    if (info.st_size < 0 || static_cast<std::uintmax_t>(info.st_size) > maxSize) return tooLarge();
    text.reserve(static_cast<std::size_t>(info.st_size));
    char buffer[16384];
    ssize_t count = 0;
    while ((count = retryOnInterrupt([&] { return ::read(fd.get(), buffer, sizeof buffer); })) > 0) {
        text.append(buffer, static_cast<std::size_t>(count));
        if (text.size() > maxSize) return tooLarge();  // grew while being read
    }
    if (count < 0) return failed(errno);
    return ReadStatus::ok;
}

std::filesystem::path directoryOf(const std::filesystem::path& file) {
    return file.has_parent_path() ? file.parent_path() : std::filesystem::path(".");
}

std::optional<std::string> makeDirectories(const std::filesystem::path& dir) {
    struct stat info {};
    if (dir.empty() || (::stat(dir.c_str(), &info) == 0 && S_ISDIR(info.st_mode))) return std::nullopt;
    if (auto error = makeDirectories(dir.parent_path())) return error;
    if (::mkdir(dir.c_str(), 0700) == 0) return std::nullopt;
    int error = errno;
    if (error == EEXIST) {
        // Another process made it meanwhile, or a file (or a dangling link) sits in the folder's place.
        if (::stat(dir.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) return std::nullopt;
        error = ENOTDIR;
    }
    return fmt::format("cannot create {}: {}", dir.string(), errorText(error));
}

std::optional<FileDescriptor> lockExclusive(const std::string& path, bool wait, int& error) {
    FileDescriptor fd(
        retryOnInterrupt([&] { return ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600); }));
    if (fd.get() < 0 ||
        retryOnInterrupt([&] { return ::flock(fd.get(), LOCK_EX | (wait ? 0 : LOCK_NB)); }) != 0) {
        error = errno;
        return std::nullopt;
    }
    return fd;
}

std::optional<std::string> replace(const std::filesystem::path& target, std::string_view text,
                                   std::string_view temporaryInfix) {
    std::string temporary = target.string() + std::string(temporaryInfix) + "XXXXXX";
    FileDescriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));  // mode 0600
    const bool created = fd.get() >= 0;
    auto fail = [&](std::string_view step, const std::string& file) {
        const int error = errno;
        if (created) ::unlink(temporary.c_str());
        return fmt::format("{} {} failed: {}", step, file, errorText(error));
    };
    if (!created) return fail("creating", temporary);
    for (std::size_t written = 0; written < text.size();) {
        const ssize_t count =
            retryOnInterrupt([&] { return ::write(fd.get(), text.data() + written, text.size() - written); });
        if (count < 0) return fail("writing", temporary);
        written += static_cast<std::size_t>(count);
    }
    if (retryOnInterrupt([&] { return ::fsync(fd.get()); }) != 0) return fail("syncing", temporary);
    if (!fd.close()) return fail("closing", temporary);
    if (::rename(temporary.c_str(), target.c_str()) != 0) return fail("renaming it to", target.string());

    // The rename is durable only once the folder is.
    const std::filesystem::path dir = directoryOf(target);
    FileDescriptor dirFd(
        retryOnInterrupt([&] { return ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); }));
    if (dirFd.get() < 0 || (retryOnInterrupt([&] { return ::fsync(dirFd.get()); }) != 0 && errno != EINVAL)) {
        return fmt::format("saved {}, but syncing its folder failed: {}", target.string(), errorText(errno));
    }
    return std::nullopt;
}

}  // namespace torvel::AtomicFile
