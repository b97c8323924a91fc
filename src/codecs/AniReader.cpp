// Animated cursors: a RIFF "ACON" file whose "icon" chunks each hold a whole icon or cursor file.
#include "codecs/IconCodec.h"
#include "codecs/IconReader.h"
#include "platform/ByteStream.h"

#include <algorithm>
#include <cstring>

namespace zepho {

namespace {

// Lists nested deeper than this are skipped rather than followed.
constexpr int kMaxListDepth = 8;

bool TagIs(const BYTE* tag, const char* name) {
    return std::memcmp(tag, name, 4) == 0;
}

struct AniState {
    CDocImage* doc = nullptr; // null when only the first frame is wanted
    PackedDib firstFrame;
    bool haveHeader = false;
    DWORD frames = 0;
    DWORD displayRate = 0;
    bool haveRate = false;
    DWORD firstRate = 0;
    IProgress* progress = nullptr;
};

enum class Walk { Go, Stop, Fail };

// The frame of an "icon" chunk: the first image of the file it holds.
PackedDib ReadFrame(ByteReader& in, std::uint64_t start, std::uint64_t end, bool full) {
    WORD type = 0;
    std::vector<IconDirEntry> entries;
    if (!ReadIconDirectory(in, end, type, entries)) return {};
    return ReadIconEntryImage(in, start, end, entries[0], full, full);
}

// The chunks between the reader's position and `end`. Every chunk must fit inside its parent, and
// each step moves forward by at least a chunk header, so no chain of chunks can loop.
Walk WalkChunks(ByteReader& in, std::uint64_t end, int depth, AniState& s) {
    for (;;) {
        const std::uint64_t at = in.Tell();
        if (at > end || end - at < 8) return Walk::Go;
        BYTE tag[4];
        DWORD size = 0;
        if (!in.Read(tag, 4) || !in.ReadU32(size)) return Walk::Fail;
        const std::uint64_t dataStart = at + 8;
        if (size > end - dataStart) return Walk::Fail;
        const std::uint64_t dataEnd = dataStart + size;

        if (TagIs(tag, "LIST")) {
            BYTE listType[4];
            if (size >= 4 && depth < kMaxListDepth) {
                if (!in.Read(listType, 4)) return Walk::Fail;
                const Walk inner = WalkChunks(in, dataEnd, depth + 1, s);
                if (inner != Walk::Go) return inner;
            }
        } else if (TagIs(tag, "anih")) {
            DWORD header[9];
            if (size < sizeof header || !in.Read(header, sizeof header)) return Walk::Fail;
            s.haveHeader = true;
            s.frames = header[1];
            s.displayRate = header[7];
        } else if (TagIs(tag, "rate")) {
            // A table too short for one entry counts as absent.
            if (size >= 4) {
                if (!in.ReadU32(s.firstRate)) return Walk::Fail;
                s.haveRate = true;
            }
        } else if (TagIs(tag, "icon")) {
            PackedDib frame = ReadFrame(in, dataStart, dataEnd, s.doc != nullptr);
            if (!frame) return Walk::Fail;
            if (!s.doc) {
                s.firstFrame = std::move(frame);
                return Walk::Stop;
            }
            AppendIconObject(*s.doc, std::move(frame));
            if (s.progress) {
                s.progress->SetPos(static_cast<int>(dataEnd * 100 / in.Size()));
                s.progress->Pump();
            }
        }
        // Chunks start on even offsets: an odd-sized one is followed by a pad byte.
        const std::uint64_t next = std::min(end, dataEnd + (size & 1));
        if (!in.Seek(next)) return Walk::Fail;
    }
}

// Checks the RIFF header and walks the file's chunks.
Walk WalkAni(ByteReader& in, AniState& s) {
    BYTE tag[4];
    DWORD riffSize = 0;
    if (!in.Read(tag, 4) || !in.ReadU32(riffSize) || !TagIs(tag, "RIFF")) return Walk::Fail;
    if (s.progress) {
        s.progress->SetPos(static_cast<int>(in.Tell() * 100 / in.Size()));
        s.progress->Pump();
    }
    // Some writers get the RIFF size wrong; the file's own length is the limit then.
    std::uint64_t end = in.Size();
    if (riffSize >= 4 && riffSize <= end - 8) end = std::uint64_t{riffSize} + 8;
    BYTE form[4];
    if (!in.Read(form, 4)) return Walk::Fail;
    return WalkChunks(in, end, 0, s);
}

} // namespace

std::uint16_t AniRateToDelay(DWORD jiffies) {
    const double hundredths = jiffies * 5.0 * 0.33333334 + 0.5;
    return static_cast<std::uint16_t>(std::min(hundredths, 65535.0));
}

bool ReadAni(CDocImage& doc, ByteReader& in, IProgress* progress) {
    AniState s;
    s.doc = &doc;
    s.progress = progress;
    const bool ok = WalkAni(in, s) == Walk::Go && s.haveHeader && s.frames != 0 &&
                    static_cast<DWORD>(doc.objects.Count()) == s.frames;
    if (!ok) {
        doc.Clear();
        return false;
    }
    doc.delay = AniRateToDelay(s.haveRate ? s.firstRate : s.displayRate);
    if (progress) progress->SetPos(100);
    return true;
}

bool ReadAniFile(CDocImage& doc, const std::string& path, IProgress* progress) {
    FileReader in(path);
    if (!in.IsOpen()) {
        doc.Clear();
        return false;
    }
    return ReadAni(doc, in, progress);
}

PackedDib ReadAniPreview(ByteReader& in) {
    AniState s;
    if (WalkAni(in, s) != Walk::Stop) return {};
    return std::move(s.firstFrame);
}

} // namespace zepho
