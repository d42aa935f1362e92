#pragma once

#include <filesystem>
#include <map>
#include <optional>
#include <string>

#include "Platform/DefaultsStore.h"
#include "Platform/Log.h"

namespace torvel {

/// The defaults store on disk: one indented JSON document, each value tagged with its kind so the kinds
/// stay apart on reading. Every write (one change or a batch) rewrites the whole file by atomic replace
/// (a "<file>.tmp-XXXXXX" sibling, fsync, rename, fsync of the directory) under an flock on
/// "<file>.lock", re-reading the file first so that keys another process wrote meanwhile survive.
/// Reads come from memory. A file that is a symbolic link (a dotfiles checkout) stays one: the write
/// goes to the link's target, with the temporary file beside the target.
///
/// An entry this version cannot read (a kind it does not know, a damaged value) is not a value to it, but
/// it is never dropped: its JSON text goes back into the file byte for byte at every rewrite, until its
/// key itself is written or removed.
///
/// A file that cannot be read as ours (not JSON, nested too deep, over the size limit, or not a regular
/// file at all: a FIFO, a device, a folder) is never overwritten: it is moved aside to
/// "<file>.corrupt-YYYYMMDDTHHMMSSZ" and the store starts empty. A temporary file left by a writer
/// that died is removed by the next store that opens the file or writes it.
class JsonFileDefaultsStore : public DefaultsStore {
public:
    /// Loads `file`; a missing file is an empty store and nothing is created until the first write.
    JsonFileDefaultsStore(std::filesystem::path file, LogSink& log);

    /// $XDG_CONFIG_HOME/torvel/defaults.json, or under $HOME/.config (then the password database's
    /// home) when that is unset, empty or relative. No usable home at all: std::nullopt.
    static std::optional<std::filesystem::path> defaultPath();

    std::optional<DefaultsValue> object(std::string_view key) const override;
    /// Also refused, changing nothing, for a value JSON cannot carry (a non-finite number, a string or
    /// key that is not UTF-8).
    DefaultsWrite apply(const std::vector<DefaultsChange>& changes) override;
    /// The readable keys only.
    std::vector<std::string> keys() const override;
    std::optional<std::string> unreadable(std::string_view key) const override;
    DefaultsWrite copy(std::string_view from, std::string_view to) override;

    /// The file as given (a link stays the link).
    const std::filesystem::path& path() const { return file_; }

private:
    /// An entry kept as it stands in the file: its JSON text, and why it is not a value.
    struct Unread {
        std::string text;
        std::string why;
    };
    /// What the file holds: the values, and the entries kept as they are.
    struct Values {
        std::map<std::string, DefaultsValue, std::less<>> readable;
        std::map<std::string, Unread, std::less<>> unread;
        void clear() {
            readable.clear();
            unread.clear();
        }
    };
    /// A copy of the entry under `from` to `to`, within one write.
    struct Copy {
        std::string from;
        std::string to;
    };

    enum class ReadResult { ok, corrupt, unreadable };

    void load();
    /// Reads the file into `values`; a missing file is an empty one. Malformed entries are kept unread.
    ReadResult read(Values& values, std::string& problem, bool reportSkipped) const;
    /// Moves the unusable file aside; why not when it cannot.
    std::optional<std::string> moveAside(const std::string& problem) const;
    void removeStaleTemporaries(bool holdingLock) const;
    /// Writes `changes` (then `copy`, when given) over what the file holds now; why not when it cannot.
    std::optional<std::string> persist(const std::vector<DefaultsChange>& changes,
                                       const Copy* copy = nullptr);
    std::string sibling(std::string_view suffix) const { return file_.string() + std::string(suffix); }

    std::filesystem::path file_;
    Logger log_;
    Values values_;
};

}  // namespace torvel
