#pragma once

#include <string>

namespace zepho {

// The text after the last path separator (either slash).
inline std::string BaseName(const std::string& path) {
    const auto pos = path.find_last_of("/\\");
    return pos == std::string::npos ? path : path.substr(pos + 1);
}

// The extension after the last dot of the file name, upper-cased; empty when there is none.
inline std::string UpperExtension(const std::string& path) {
    const std::string name = BaseName(path);
    const auto dot = name.find_last_of('.');
    if (dot == std::string::npos) return {};
    std::string ext = name.substr(dot + 1);
    for (char& c : ext)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return ext;
}

} // namespace zepho
