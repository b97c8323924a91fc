// Video files: every frame of every video stream becomes one image object. Our own code reads the
// file's main header; FFmpeg decodes the frames. FFmpeg is loaded when the first video is opened.
#pragma once

#include "model/DocImage.h"
#include "platform/PackedDib.h"
#include "platform/Services.h"

#include <cstdint>
#include <memory>
#include <string>

namespace zepho {

class ByteReader;

// What the main header says: total frames, width and height.
struct AviHeader {
    std::uint32_t frames = 0;
    std::int32_t width = 0;
    std::int32_t height = 0;
};

// True when the file starts "RIFF" size "AVI " "LIST" size "hdrl" "avih" size and the 56 bytes of
// the main header follow.
bool ReadAviHeader(const std::string& path, AviHeader& header);
bool ReadAviHeader(ByteReader& in, AviHeader& header);

// Decodes the video streams of a file one after the other, frame by frame, as 32-bit rasters.
class AviReader {
public:
    AviReader();
    ~AviReader();
    AviReader(const AviReader&) = delete;
    AviReader& operator=(const AviReader&) = delete;

    bool OpenAvi(const std::string& path);
    void CloseAvi();
    // The first video stream with a decoder; false when there is none.
    bool OpenFirstVideoStream();
    // The next frame (opaque, straight alpha 255), going on to the next video stream when the
    // current one is done; empty after the last, or when the file could not be read on (then
    // Failed() says so).
    PackedDib NextAviFrame();
    bool Failed() const;

    // Frame rate of the current stream as rate / scale frames per second.
    int rate = 0;
    int scale = 0;

private:
    bool OpenFile();
    bool OpenStream(int fromIndex);
    struct State;
    std::unique_ptr<State> s_;
};

// True when FFmpeg can be loaded to decode videos; otherwise `why`, when given, receives a
// sentence for the user naming what is missing. ImportAvi fails while it is false.
bool CanDecodeVideo(std::string* why = nullptr);

// Clears nothing: appends one hidden image object at (0, 0) per frame to the (cleared) model,
// sets the canvas to the header's size and the delay to the frame duration in hundredths of a
// second. False when the header is not a video's or the file cannot be opened; a file without a
// decodable video stream gives no objects and true. A file that cannot be read to its end, or a
// frame that cannot be converted, keeps the frames before it: `ui` is told how many were imported
// and that the rest could not be read; without any good frame the import fails. Refuses to hold
// more than `memoryBudget` bytes of frames (false), so that a long film cannot exhaust the machine.
bool ImportAvi(CDocImage& doc, const std::string& path, IProgress* progress, IUiHost* ui = nullptr,
               std::uint64_t memoryBudget = std::uint64_t{3} << 30);

} // namespace zepho
