#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

#include "Platform/Linux/Helpers/FileDescriptor.h"

namespace torvel::AtomicFile {

/// strerror text of `error` ("Not a directory").
std::string errorText(int error);

/// Where writing `file` really lands: `file` itself, or the end of its chain of symbolic links, so a
/// link into a dotfiles repository stays a link. The target need not exist yet. A chain that loops or
/// runs longer than the kernel's own limit of 40: `file` itself, whose write then fails with ELOOP.
std::filesystem::path writeTarget(const std::filesystem::path& file);

/// What readRegular found.
enum class ReadStatus { ok, missing, refused, failed };

/// Reads `file` (through links) into `text`, at most `maxSize` bytes. Anything but a regular file (a
/// FIFO, a device, a directory) is refused without being read, and the open never waits on one, so
/// a FIFO or /dev/zero at the path cannot hang or exhaust the reader. `refused` and `failed` say why
/// in `why`; `missing` is a path that names nothing (or a dangling link).
ReadStatus readRegular(const std::filesystem::path& file, std::size_t maxSize, std::string& text,
                       std::string& why);

/// The folder holding `file` ("." for a bare name).
std::filesystem::path directoryOf(const std::filesystem::path& file);

/// Creates `dir` and any missing parents with mode 0700, as the XDG base directory rules ask.
/// Failure: why, naming the folder that could not be made.
std::optional<std::string> makeDirectories(const std::filesystem::path& dir);

/// An exclusive flock on `path` (created when missing), held while the descriptor lives; `wait`
/// false gives up at once when another holds it. Failure: std::nullopt with `error` set.
std::optional<FileDescriptor> lockExclusive(const std::string& path, bool wait, int& error);

/// Replaces `target` with `text` atomically: a "<target><temporaryInfix>XXXXXX" file in the same
/// folder (mode 0600), fsync, rename over `target`, fsync of the folder. Readers see the old or the
/// new file, never a part. Failure: why, naming the step, the file and the system's reason; the
/// temporary file is gone again and `target` untouched (unless only the final folder sync failed).
std::optional<std::string> replace(const std::filesystem::path& target, std::string_view text,
                                   std::string_view temporaryInfix);

}  // namespace torvel::AtomicFile
