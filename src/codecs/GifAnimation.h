// The animated GIF writer: every step of a document's stack becomes one frame of a looping GIF.
#pragma once

#include "platform/PackedDib.h"
#include "platform/Services.h"
#include "platform/WinTypes.h"

#include <cstdint>
#include <memory>
#include <vector>

namespace zepho {

class ByteWriter;

struct GifAnimationOptions {
    // Hundredths of a second, for every frame.
    WORD delay = 20;
    // Written when it lies below the global table's size, else 0.
    int backgroundIndex = 0;
    // The transparent index whenever the palette leaves it free.
    int preferredTransparent = 0;
    // The first frame's graphic control keeps the user-input bit (1) of these.
    BYTE controlFlags = 0;
    bool interlace = false;
};

// What the optimiser chose, for tests and measurements.
struct GifAnimationStats {
    int frames = 0;
    bool globalPalette = false; // a global colour table was written
    int localPalettes = 0;      // frames that carry their own table
    int quantisedFrames = 0;    // frames whose colours were reduced
    int transparentFrames = 0;  // frames after the first that leave unchanged pixels transparent
    std::uint64_t bytes = 0;
};

// Collects the frames, then writes them as one GIF89a file that loops forever.
//
// Each frame is the whole screen after one more step (canvas-sized, 32 bits). The file shows
// exactly that sequence: the first frame is written whole, every later one only as the rectangle
// in which it differs from the frame before, drawn over what is on screen (disposal "do not
// dispose"). Inside that rectangle the unchanged pixels are written transparent, or with their
// own colours, whichever codes smaller. Because a later frame is only ever drawn on top of the
// earlier ones, reading the file back as one object per frame and stacking them gives every
// frame again.
//
// Colours: alpha 0 is transparent, partial alpha is blended over white as in the single-image
// writer. When all frames together use at most 255 colours they share one exact global table
// (plus the transparent entry). Otherwise every frame of at most 255 colours gets an exact local
// table, and the others share a global table quantised from all frames, unless their own
// quantised table is clearly better, in which case they carry it locally.
class GifAnimationWriter {
public:
    GifAnimationWriter();
    ~GifAnimationWriter();
    GifAnimationWriter(const GifAnimationWriter&) = delete;
    GifAnimationWriter& operator=(const GifAnimationWriter&) = delete;

    // Starts an animation of the given canvas size (1..65535 each way).
    bool Begin(int width, int height);
    // Adds the screen after one more step; false when it is not a 32-bit image of the canvas
    // size or memory runs out.
    bool AddFrame(const PackedDib& screen32);
    int FrameCount() const;

    // The whole file. False without frames or when a write failed.
    bool Write(ByteWriter& out, const GifAnimationOptions& options, IProgress* progress,
               GifAnimationStats* stats = nullptr);

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace zepho
