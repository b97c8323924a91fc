// ImageMagick as an independent reader of what our writers produce. A program named `convert` is
// not always ImageMagick: it is known by its version banner, /usr/bin/convert first.
#pragma once

#include <array>
#include <cstdio>
#include <cstdlib>
#include <sstream>
#include <string>
#include <vector>

namespace zepho::test {

namespace imagemagick_detail {

// Everything a shell command writes to stdout; false when it did not exit with 0.
inline bool Capture(const std::string& command, std::string& out) {
    out.clear();
    FILE* p = popen(command.c_str(), "r");
    if (!p) return false;
    std::array<char, 65536> buf;
    std::size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0)
        out.append(buf.data(), n);
    return pclose(p) == 0;
}

inline std::string Quote(const std::string& s) {
    std::string q = "'";
    for (char c : s)
        q += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return q + "'";
}

inline bool IsImageMagick(const std::string& program) {
    std::string banner;
    return !program.empty() && Capture(Quote(program) + " -version 2>/dev/null", banner) &&
           banner.find("ImageMagick") != std::string::npos;
}

inline std::string Find() {
    if (IsImageMagick("/usr/bin/convert")) return "/usr/bin/convert";
    std::string onPath;
    if (Capture("command -v convert 2>/dev/null", onPath)) {
        while (!onPath.empty() && (onPath.back() == '\n' || onPath.back() == '\r'))
            onPath.pop_back();
        if (IsImageMagick(onPath)) return onPath;
    }
    return {};
}

} // namespace imagemagick_detail

// ImageMagick's convert, or empty when it is not installed. Tests skip with
// kNoImageMagick when it is empty.
inline const std::string& ImageMagickConvert() {
    static const std::string path = imagemagick_detail::Find();
    return path;
}

// The first line of its version banner ("Version: ImageMagick 6.9.11-60 Q16 ...").
inline std::string ImageMagickVersion() {
    std::string banner;
    imagemagick_detail::Capture(ImageMagickConvert() + " -version 2>/dev/null", banner);
    return banner.substr(0, banner.find('\n'));
}

inline constexpr const char kNoImageMagick[] =
    "ImageMagick is not installed (no convert whose -version names ImageMagick); "
    "scripts/install-deps.sh installs it";

// Runs convert with the arguments (already quoted where needed); stderr is dropped.
inline bool ImageMagickRun(const std::string& args) {
    std::string ignored;
    return imagemagick_detail::Capture(ImageMagickConvert() + " " + args + " 2>/dev/null", ignored);
}

// One line per image of the file: the `-format` escapes expanded (%w %h size, %n image count,
// %l label, which for a PSD layer is its name).
inline std::vector<std::string> ImageMagickInfo(const std::string& path, const std::string& format) {
    std::string out;
    std::vector<std::string> lines;
    if (!imagemagick_detail::Capture(ImageMagickConvert() + " " + imagemagick_detail::Quote(path) +
                                         " -format " + imagemagick_detail::Quote(format + "\\n") +
                                         " info: 2>/dev/null",
                                     out))
        return lines;
    std::istringstream in(out);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// A decoded image: 8-bit R, G, B, A per pixel, top row first.
struct MagickImage {
    int width = 0, height = 0;
    std::vector<unsigned char> rgba;
    const unsigned char* At(int x, int y) const {
        return rgba.data() + 4 * (static_cast<std::size_t>(y) * static_cast<std::size_t>(width) + x);
    }
};

// Image `index` of the file as ImageMagick decodes it. False when it cannot read it.
inline bool ImageMagickRead(const std::string& path, MagickImage& image, int index = 0) {
    const std::string source = imagemagick_detail::Quote(path + "[" + std::to_string(index) + "]");
    std::string size;
    if (!imagemagick_detail::Capture(
            ImageMagickConvert() + " " + source + " -format '%w %h' info: 2>/dev/null", size))
        return false;
    if (std::sscanf(size.c_str(), "%d %d", &image.width, &image.height) != 2 || image.width < 1 ||
        image.height < 1)
        return false;
    std::string bytes;
    // Rows stored from the bottom (a TGA flag ImageMagick keeps as its orientation) come out top
    // row first, as every viewer shows them.
    if (!imagemagick_detail::Capture(
            ImageMagickConvert() + " " + source + " -auto-orient -depth 8 rgba:- 2>/dev/null", bytes))
        return false;
    image.rgba.assign(bytes.begin(), bytes.end());
    return image.rgba.size() ==
           4 * static_cast<std::size_t>(image.width) * static_cast<std::size_t>(image.height);
}

} // namespace zepho::test
