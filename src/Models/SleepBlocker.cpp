#include "Models/SleepBlocker.h"


namespace torvel {

namespace {

// The kernel keeps at most this many bytes of a command name (with the terminator on Linux, so 15
// visible; 16 on other systems): a name this long may have been cut.
constexpr std::size_t kCutCommandLength = 15;

std::size_t characterCount(const std::string& text) {
    std::size_t count = 0;
    for (const char c : text)
        if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) ++count;
    return count;
}

bool isSpace(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f'; }

}  // namespace

std::string SleepBlocker::displayName() const {
    if (!processName.empty()) return processName;
    if (commName.empty()) return "PID " + std::to_string(pid);
    if (commName.size() < kCutCommandLength) return commName;
    // A cut command name is often the start of the first word of the reason ("com.example.Syn" of
    // "com.example.Syncer is uploading").
    if (assertionName.rfind(commName, 0) != 0) return commName;
    std::size_t end = 0;
    while (end < assertionName.size() && !isSpace(assertionName[end])) ++end;
    std::string word = assertionName.substr(0, end);
    return characterCount(word) > characterCount(commName) ? word : commName;
}

std::string SleepBlocker::toString() const {
    return "SleepBlocker(pid=" + std::to_string(pid) + " process='" + processName +
           "' kind=" + std::string(torvel::toString(kind)) + " name='" + assertionName +
           "' ownUser=" + (isOwnedByCurrentUser ? "true" : "false") + " comm='" + commName +
           "' start=" + (startTime ? std::to_string(*startTime) : std::string("?")) +
           (isSessionRelay ? " sessionRelay" : "") + ")";
}

}  // namespace torvel
