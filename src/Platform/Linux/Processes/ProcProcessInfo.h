#pragma once

#include <filesystem>

#include "Platform/AssertionTable.h"

namespace torvel {

/// Holder processes read from /proc: the executable's file name (readable for the user's own
/// processes only), the effective uid from "status", the command name from "comm" and the start time
/// from "stat".
class ProcProcessInfo : public ProcessInfo {
public:
    explicit ProcProcessInfo(std::filesystem::path procRoot = "/proc") : procRoot_(std::move(procRoot)) {}

    std::string processName(std::int32_t pid) override;
    std::optional<Identity> identity(std::int32_t pid) override;

private:
    std::filesystem::path procRoot_;
};

}  // namespace torvel
