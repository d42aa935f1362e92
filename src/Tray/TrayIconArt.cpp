#include "Tray/TrayIconArt.h"

#include <fstream>
#include <system_error>

namespace torvel {

const char* toString(GlyphShade shade) {
    switch (shade) {
        case GlyphShade::dark:
            return "dark";
        case GlyphShade::light:
            return "light";
        case GlyphShade::mid:
            break;
    }
    return "mid";
}

GlyphShade glyphShadeForColorScheme(std::optional<unsigned> colorScheme) {
    return colorScheme == 1u ? GlyphShade::light : GlyphShade::dark;
}

std::filesystem::path trayPixmapFolder(const std::filesystem::path& iconThemeFolder) {
    if (iconThemeFolder.empty()) return {};
    return (iconThemeFolder / ".." / "torvel" / "icons").lexically_normal();
}

std::filesystem::path trayPixmapFile(const std::filesystem::path& folder, const std::string& name,
                                     GlyphShade shade, int size, TrayPixmapFormat format) {
    std::string file = name;
    file.append("-").append(toString(shade)).append("-").append(std::to_string(size));
    file.append(format == TrayPixmapFormat::png ? ".png" : ".argb");
    return folder / file;
}

bool isPlainIconName(const std::string& name) {
    if (name.empty() || name.size() > 64) return false;
    for (char c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                           c == '-' || c == '_';
        if (!plain) return false;
    }
    return true;
}

namespace {

// Exactly `bytes` bytes of a regular file, or nothing: a file of another length is not this rendering.
std::optional<std::string> readExactly(const std::filesystem::path& file, std::size_t bytes) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error) || std::filesystem::file_size(file, error) != bytes ||
        error)
        return std::nullopt;
    std::ifstream in(file, std::ios::binary);
    std::string out(bytes, '\0');
    if (!in.read(out.data(), static_cast<std::streamsize>(bytes))) return std::nullopt;
    // It may have grown since its size was read.
    if (in.peek() != std::ifstream::traits_type::eof()) return std::nullopt;
    return out;
}

}  // namespace

std::vector<TrayPixmap> loadTrayPixmaps(const std::filesystem::path& folder, const std::string& name,
                                        GlyphShade shade) {
    if (folder.empty() || !isPlainIconName(name)) return {};
    std::vector<TrayPixmap> out;
    for (int size : kTrayPixmapSizes) {
        const auto bytes = static_cast<std::size_t>(size) * static_cast<std::size_t>(size) * 4;
        auto argb = readExactly(trayPixmapFile(folder, name, shade, size, TrayPixmapFormat::raw), bytes);
        if (!argb) return {};
        out.push_back({size, std::move(*argb)});
    }
    return out;
}

}  // namespace torvel
