#include "codecs/FfmpegLibrary.h"

#include <dlfcn.h>

#include <mutex>

namespace zepho {

namespace {

#define ZEPHO_STRINGIFY2(x) #x
#define ZEPHO_STRINGIFY(x) ZEPHO_STRINGIFY2(x)

// Each library before those that depend on it.
constexpr const char* kNames[] = {
    "libavutil.so." ZEPHO_STRINGIFY(LIBAVUTIL_VERSION_MAJOR),
    "libswscale.so." ZEPHO_STRINGIFY(LIBSWSCALE_VERSION_MAJOR),
    "libavcodec.so." ZEPHO_STRINGIFY(LIBAVCODEC_VERSION_MAJOR),
    "libavformat.so." ZEPHO_STRINGIFY(LIBAVFORMAT_VERSION_MAJOR),
};

} // namespace

std::vector<std::string> FfmpegLibrary::DefaultNames() {
    return {std::begin(kNames), std::end(kNames)};
}

std::unique_ptr<FfmpegLibrary> FfmpegLibrary::Load(const std::vector<std::string>& names, std::string& why) {
    std::vector<void*> handles;
    for (const std::string& name : names) {
        void* handle = dlopen(name.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (!handle) {
            why = name;
            for (void* h : handles)
                dlclose(h);
            return nullptr;
        }
        handles.push_back(handle);
    }
    // Each call is looked up in every library, the first that has it wins.
    auto find = [&handles](const char* symbol) -> void* {
        for (void* h : handles)
            if (void* p = dlsym(h, symbol)) return p;
        return nullptr;
    };
    auto lib = std::make_unique<FfmpegLibrary>();
    bool complete = true;
#define ZEPHO_FFMPEG_RESOLVE(name)                                                                           \
    lib->name = reinterpret_cast<decltype(lib->name)>(find(#name));                                          \
    if (complete && !lib->name) {                                                                            \
        complete = false;                                                                                    \
        why = #name;                                                                                         \
    }
    ZEPHO_FFMPEG_CALLS(ZEPHO_FFMPEG_RESOLVE)
#undef ZEPHO_FFMPEG_RESOLVE
    if (!complete) {
        for (void* h : handles)
            dlclose(h);
        return nullptr;
    }
    return lib;
}

const FfmpegLibrary* FfmpegLibrary::Get(std::string* why) {
    static std::once_flag once;
    static std::unique_ptr<FfmpegLibrary> lib;
    static std::string missing;
    std::call_once(once, [] { lib = Load(DefaultNames(), missing); });
    if (!lib && why)
        *why = "video needs the FFmpeg libraries (libavformat, libavcodec, libswscale, libavutil), "
               "which are not installed: " +
               missing + " is missing";
    return lib.get();
}

} // namespace zepho
