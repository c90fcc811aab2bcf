#include "link/program_path.h"

namespace karvex {

std::string FolderOf(std::string_view path) {
    const size_t separator = path.find_last_of(kPathSeparators);
    if (separator == std::string_view::npos) return {};
    return std::string(path.substr(0, separator == 0 ? 1 : separator));
}

std::string_view FileNameOf(std::string_view path) {
    const size_t separator = path.find_last_of(kPathSeparators);
    return separator == std::string_view::npos ? path : path.substr(separator + 1);
}

std::string BaseNameOf(std::string_view path) {
    const std::string_view name = FileNameOf(path);
    const size_t dot = name.rfind('.');
    return std::string(dot != std::string_view::npos && dot > 0 ? name.substr(0, dot) : name);
}

std::string JoinPath(std::string_view folder, std::string_view name) {
    std::string path(folder);
    if (!path.empty() && kPathSeparators.find(path.back()) == std::string_view::npos) {
        path += kPathSeparator;
    }
    return path += name;
}

std::filesystem::path PathFromUtf8(std::string_view utf8) {
    return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

std::string Utf8FromPath(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string ExecutableDir() {
    return FolderOf(ExecutablePath());
}

}  // namespace karvex
