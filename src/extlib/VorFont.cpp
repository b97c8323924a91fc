#include "extlib/VorFont.h"

#include <fontconfig/fontconfig.h>
#include <ft2build.h>
#include FT_FREETYPE_H
#include FT_OUTLINE_H
#include FT_TRUETYPE_TABLES_H
#include <hb-ft.h>
#include <hb.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

namespace zepho::vor {

namespace {

constexpr double kDefaultEm = 16;     // a zero height asks for the default size
constexpr double kMaxEm = 10000;      // well inside FreeType's limits
constexpr double kObliqueShear = 0.2; // slant of a synthesised italic
constexpr int kMaxFallbackFonts = 64;

struct Face {
    FT_Face ft = nullptr;
    hb_font_t* hb = nullptr;
    std::string family, style, file;
    int weight = FC_WEIGHT_REGULAR;
    int slant = FC_SLANT_ROMAN;
    double em = -1; // size currently set on ft

    ~Face() {
        if (hb) hb_font_destroy(hb);
        if (ft) FT_Done_Face(ft);
    }
    bool SetEm(double size) {
        if (size == em) return true;
        if (FT_Set_Char_Size(ft, 0, static_cast<FT_F26Dot6>(std::lround(size * 64)), 72, 72) != 0)
            return false;
        hb_ft_font_changed(hb);
        em = size;
        return true;
    }
    bool Has(char32_t cp) const { return FT_Get_Char_Index(ft, cp) != 0; }
};

// One font request resolved to a face, plus what is needed to find faces for missing characters.
struct Request {
    Face* primary = nullptr;
    bool syntheticBold = false;
    bool syntheticItalic = false;
    std::string lang;
    FcPattern* pattern = nullptr; // substituted request, for the fallback list
    FcFontSet* fallbacks = nullptr;
    bool sorted = false;
    std::unordered_map<char32_t, Face*> fallbackFor;

    ~Request() {
        if (fallbacks) FcFontSetDestroy(fallbacks);
        if (pattern) FcPatternDestroy(pattern);
    }
};

const char* LangOfCharset(BYTE charset) {
    switch (charset) {
    case 128:
        return "ja";
    case 129:
    case 130:
        return "ko";
    case 134:
        return "zh-cn";
    case 136:
        return "zh-tw";
    case 161:
        return "el";
    case 162:
        return "tr";
    case 163:
        return "vi";
    case 177:
        return "he";
    case 178:
        return "ar";
    case 186:
        return "lt";
    case 204:
        return "ru";
    case 222:
        return "th";
    case 238:
        return "pl";
    default:
        return nullptr;
    }
}

std::string FaceName(const LOGFONTA& font) {
    return std::string(font.lfFaceName, strnlen(font.lfFaceName, LF_FACESIZE - 1));
}

int RequestedWeight(const LOGFONTA& font) {
    return font.lfWeight <= 0 ? 400 : std::min<int>(font.lfWeight, 1000);
}

class Cache {
public:
    std::mutex mutex;

    ~Cache() { Release(false); }

    bool Ready() {
        if (library_ && config_) return true;
        if (failed_) return false;
        if (!library_ && FT_Init_FreeType(&library_) != 0) library_ = nullptr;
        if (!config_) config_ = FcInitLoadConfigAndFonts();
        failed_ = !library_ || !config_;
        return !failed_;
    }

    Request* Resolve(const LOGFONTA& font) {
        const std::string name = FaceName(font);
        const int weight = RequestedWeight(font);
        const bool italic = font.lfItalic != 0;
        const std::string key =
            name + '\n' + std::to_string(weight) + (italic ? "i" : "r") + std::to_string(font.lfCharSet);
        if (auto it = requests_.find(key); it != requests_.end()) return it->second.get();

        auto req = std::make_unique<Request>();
        if (const char* lang = LangOfCharset(font.lfCharSet)) req->lang = lang;
        // The named family first; a name that gives nothing usable falls back to the default
        // sans-serif face, so text is never silently lost.
        for (const std::string& family :
             {name.empty() ? std::string("sans-serif") : name, std::string("sans-serif")}) {
            if (Match(*req, family, weight, italic)) break;
        }
        if (!req->primary) return nullptr;
        req->syntheticBold = weight >= 600 && req->primary->weight < FC_WEIGHT_DEMIBOLD;
        req->syntheticItalic = italic && req->primary->slant == FC_SLANT_ROMAN;
        return (requests_[key] = std::move(req)).get();
    }

    // A face holding cp among the request's fallback list, or null.
    Face* Fallback(Request& req, char32_t cp) {
        if (auto it = req.fallbackFor.find(cp); it != req.fallbackFor.end()) return it->second;
        Face* found = nullptr;
        if (!req.sorted) {
            req.sorted = true;
            FcResult result;
            req.fallbacks = FcFontSort(config_, req.pattern, FcTrue, nullptr, &result);
        }
        if (req.fallbacks) {
            const int n = std::min(req.fallbacks->nfont, kMaxFallbackFonts);
            for (int i = 0; i < n && !found; ++i) {
                FcPattern* p = req.fallbacks->fonts[i];
                FcCharSet* cs = nullptr;
                if (FcPatternGetCharSet(p, FC_CHARSET, 0, &cs) != FcResultMatch || !FcCharSetHasChar(cs, cp))
                    continue;
                Face* face = FaceOf(p);
                if (face && face->Has(cp)) found = face;
            }
        }
        req.fallbackFor[cp] = found;
        return found;
    }

    void Release(bool finish) {
        requests_.clear();
        faces_.clear();
        if (library_) FT_Done_FreeType(library_);
        library_ = nullptr;
        if (config_) FcConfigDestroy(config_);
        // FcFini tears down fontconfig for the whole process; only on explicit request.
        if (config_ && finish) FcFini();
        config_ = nullptr;
        failed_ = false;
    }

private:
    bool Match(Request& req, const std::string& family, int weight, bool italic) {
        FcPattern* pat = FcPatternCreate();
        if (!pat) return false;
        FcPatternAddString(pat, FC_FAMILY, reinterpret_cast<const FcChar8*>(family.c_str()));
        FcPatternAddInteger(pat, FC_WEIGHT, FcWeightFromOpenType(weight));
        FcPatternAddInteger(pat, FC_SLANT, italic ? FC_SLANT_ITALIC : FC_SLANT_ROMAN);
        FcPatternAddBool(pat, FC_SCALABLE, FcTrue);
        if (!req.lang.empty())
            FcPatternAddString(pat, FC_LANG, reinterpret_cast<const FcChar8*>(req.lang.c_str()));
        FcConfigSubstitute(config_, pat, FcMatchPattern);
        FcDefaultSubstitute(pat);
        FcResult result;
        FcPattern* match = FcFontMatch(config_, pat, &result);
        Face* face = match ? FaceOf(match) : nullptr;
        if (match) FcPatternDestroy(match);
        if (!face) {
            FcPatternDestroy(pat);
            return false;
        }
        if (req.pattern) FcPatternDestroy(req.pattern);
        req.pattern = pat;
        req.primary = face;
        return true;
    }

    // The cached face of a matched pattern; null when it cannot be loaded or has no outlines.
    Face* FaceOf(FcPattern* p) {
        FcChar8* file = nullptr;
        int index = 0;
        if (FcPatternGetString(p, FC_FILE, 0, &file) != FcResultMatch || !file) return nullptr;
        FcPatternGetInteger(p, FC_INDEX, 0, &index);
        const std::string key = reinterpret_cast<const char*>(file) + ('#' + std::to_string(index));
        if (auto it = faces_.find(key); it != faces_.end()) return it->second.get();

        auto face = std::make_unique<Face>();
        face->file = reinterpret_cast<const char*>(file);
        if (FT_New_Face(library_, face->file.c_str(), index, &face->ft) != 0) {
            face->ft = nullptr;
            faces_[key] = nullptr;
            return nullptr;
        }
        if (!FT_IS_SCALABLE(face->ft)) {
            faces_[key] = nullptr;
            return nullptr;
        }
        face->hb = hb_ft_font_create_referenced(face->ft);
        hb_ft_font_set_load_flags(face->hb, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP);
        FcChar8* s = nullptr;
        if (FcPatternGetString(p, FC_FAMILY, 0, &s) == FcResultMatch && s)
            face->family = reinterpret_cast<char*>(s);
        if (FcPatternGetString(p, FC_STYLE, 0, &s) == FcResultMatch && s)
            face->style = reinterpret_cast<char*>(s);
        FcPatternGetInteger(p, FC_WEIGHT, 0, &face->weight);
        FcPatternGetInteger(p, FC_SLANT, 0, &face->slant);
        return (faces_[key] = std::move(face)).get();
    }

    FT_Library library_ = nullptr;
    FcConfig* config_ = nullptr;
    bool failed_ = false;
    std::map<std::string, std::unique_ptr<Face>> faces_;
    std::map<std::string, std::unique_ptr<Request>> requests_;
};

Cache& TheCache() {
    static Cache cache;
    return cache;
}

// Em size and whole-pixel ascent and descent of the primary face. Ascent and descent take the
// larger of the typographic and the clipping metrics, so accents and descenders fit inside.
bool FaceMetrics(const LOGFONTA& font, Face& face, RunLayout& out) {
    FT_Face ft = face.ft;
    const double upem = ft->units_per_EM > 0 ? ft->units_per_EM : 2048;
    double asc = ft->ascender, desc = -static_cast<double>(ft->descender);
    if (auto* os2 = static_cast<TT_OS2*>(FT_Get_Sfnt_Table(ft, FT_SFNT_OS2)); os2 && os2->version != 0xFFFF) {
        asc = std::max(asc, static_cast<double>(os2->usWinAscent));
        desc = std::max(desc, static_cast<double>(os2->usWinDescent));
    }
    if (asc + desc <= 0) {
        asc = upem * 0.8;
        desc = upem * 0.2;
    }
    double em = kDefaultEm;
    if (font.lfHeight < 0)
        em = -static_cast<double>(font.lfHeight);
    else if (font.lfHeight > 0)
        em = font.lfHeight * upem / (asc + desc); // a cell height
    if (!(em > 0) || em > kMaxEm) return false;
    out.em = em;
    out.ascent = static_cast<int>(std::ceil(asc * em / upem - 1e-9));
    out.descent = static_cast<int>(std::ceil(desc * em / upem - 1e-9));
    return true;
}

struct CodePoint {
    char32_t cp;
    std::uint32_t start;
    std::uint32_t units;
};

std::vector<CodePoint> Decode(const std::u16string& s) {
    std::vector<CodePoint> out;
    out.reserve(s.size());
    for (std::uint32_t i = 0; i < s.size();) {
        const char16_t c = s[i];
        if (c >= 0xD800 && c < 0xDC00 && i + 1 < s.size() && s[i + 1] >= 0xDC00 && s[i + 1] < 0xE000) {
            out.push_back({0x10000 + ((char32_t(c) - 0xD800) << 10) + (s[i + 1] - 0xDC00), i, 2});
            i += 2;
        } else {
            out.push_back({(c >= 0xD800 && c < 0xE000) ? char32_t(0xFFFD) : char32_t(c), i, 1});
            ++i;
        }
    }
    return out;
}

bool Joins(char32_t cp) {
    // Marks, joiners and selectors stay with the character before them.
    switch (hb_unicode_general_category(hb_unicode_funcs_get_default(), cp)) {
    case HB_UNICODE_GENERAL_CATEGORY_NON_SPACING_MARK:
    case HB_UNICODE_GENERAL_CATEGORY_SPACING_MARK:
    case HB_UNICODE_GENERAL_CATEGORY_ENCLOSING_MARK:
    case HB_UNICODE_GENERAL_CATEGORY_FORMAT:
        return true;
    default:
        return (cp >= 0xFE00 && cp <= 0xFE0F) || (cp >= 0xE0100 && cp <= 0xE01EF);
    }
}

struct Segment {
    Face* face;
    hb_script_t script;
    std::uint32_t start, end;
};

// Splits the run where the face or the script changes, so each piece shapes with one font and
// one direction.
std::vector<Segment> Itemize(Cache& cache, Request& req, const std::vector<CodePoint>& cps) {
    std::vector<Segment> segs;
    hb_unicode_funcs_t* uf = hb_unicode_funcs_get_default();
    for (const CodePoint& c : cps) {
        Face* face = req.primary;
        if (!segs.empty() && Joins(c.cp))
            face = segs.back().face;
        else if (!req.primary->Has(c.cp))
            if (Face* other = cache.Fallback(req, c.cp)) face = other;
        hb_script_t script = hb_unicode_script(uf, c.cp);
        const bool neutral = script == HB_SCRIPT_COMMON || script == HB_SCRIPT_INHERITED;
        if (!segs.empty()) {
            Segment& last = segs.back();
            const bool sameScript = neutral || last.script == HB_SCRIPT_COMMON || last.script == script;
            if (last.face == face && sameScript) {
                if (last.script == HB_SCRIPT_COMMON && !neutral) last.script = script;
                last.end = c.start + c.units;
                continue;
            }
        }
        segs.push_back({face, neutral ? HB_SCRIPT_COMMON : script, c.start, c.start + c.units});
    }
    return segs;
}

struct OutlineSink {
    agg::path_storage* path;
    double ox, oy, shear;
    bool open = false;

    void Point(const FT_Vector* v, double& x, double& y) const {
        const double gx = v->x / 64.0, gy = v->y / 64.0;
        x = ox + gx + shear * gy;
        y = oy - gy;
    }
    static int MoveTo(const FT_Vector* to, void* user) {
        auto* s = static_cast<OutlineSink*>(user);
        double x, y;
        s->Point(to, x, y);
        if (s->open) s->path->close_polygon();
        s->path->move_to(x, y);
        s->open = true;
        return 0;
    }
    static int LineTo(const FT_Vector* to, void* user) {
        auto* s = static_cast<OutlineSink*>(user);
        double x, y;
        s->Point(to, x, y);
        s->path->line_to(x, y);
        return 0;
    }
    static int ConicTo(const FT_Vector* c, const FT_Vector* to, void* user) {
        auto* s = static_cast<OutlineSink*>(user);
        double cx, cy, x, y;
        s->Point(c, cx, cy);
        s->Point(to, x, y);
        s->path->curve3(cx, cy, x, y);
        return 0;
    }
    static int CubicTo(const FT_Vector* c1, const FT_Vector* c2, const FT_Vector* to, void* user) {
        auto* s = static_cast<OutlineSink*>(user);
        double x1, y1, x2, y2, x, y;
        s->Point(c1, x1, y1);
        s->Point(c2, x2, y2);
        s->Point(to, x, y);
        s->path->curve4(x1, y1, x2, y2, x, y);
        return 0;
    }
};

void AppendGlyph(Face& face, unsigned gid, double x, double y, double shear, FT_Pos embolden,
                 agg::path_storage& path) {
    if (FT_Load_Glyph(face.ft, gid, FT_LOAD_NO_HINTING | FT_LOAD_NO_BITMAP) != 0) return;
    FT_GlyphSlot slot = face.ft->glyph;
    if (slot->format != FT_GLYPH_FORMAT_OUTLINE || slot->outline.n_points == 0) return; // e.g. space
    if (embolden) FT_Outline_EmboldenXY(&slot->outline, embolden, embolden);
    static const FT_Outline_Funcs funcs = {
        &OutlineSink::MoveTo, &OutlineSink::LineTo, &OutlineSink::ConicTo, &OutlineSink::CubicTo, 0, 0};
    OutlineSink sink{&path, x, y, shear};
    FT_Outline_Decompose(&slot->outline, &funcs, &sink);
    if (sink.open) path.close_polygon();
}

} // namespace

bool LayoutRun(std::u16string_view text, const LOGFONTA& font, double spacing, double x, double baseline,
               RunLayout& layout, agg::path_storage* outlines) {
    layout = RunLayout{};
    if (!std::isfinite(spacing)) spacing = 0;
    if (!std::isfinite(x) || !std::isfinite(baseline)) return false;
    Cache& cache = TheCache();
    std::lock_guard lock(cache.mutex);
    if (!cache.Ready()) return false;
    Request* req = cache.Resolve(font);
    if (!req) return false;
    RunLayout metrics;
    if (!FaceMetrics(font, *req->primary, metrics)) return false;
    layout = metrics;

    // Control characters would show as missing-glyph boxes; they take the room of a space.
    std::u16string buf(text);
    for (char16_t& c : buf)
        if (c < 0x20 || c == 0x7F) c = u' ';
    const std::vector<CodePoint> cps = Decode(buf);
    const std::vector<Segment> segs = Itemize(cache, *req, cps);

    const double em = metrics.em;
    const double shear = req->syntheticItalic ? kObliqueShear : 0.0;
    const double bolden = req->syntheticBold ? em / 32 : 0.0;
    const auto boldenFixed = static_cast<FT_Pos>(std::lround(bolden * 64));
    hb_buffer_t* hbuf = hb_buffer_create();
    const hb_language_t lang =
        req->lang.empty() ? hb_language_get_default() : hb_language_from_string(req->lang.c_str(), -1);
    double pen = x;
    std::vector<std::uint32_t> starts;
    for (const Segment& seg : segs) {
        if (!seg.face->SetEm(em)) continue;
        hb_buffer_clear_contents(hbuf);
        hb_buffer_add_utf16(hbuf, reinterpret_cast<const std::uint16_t*>(buf.data()),
                            static_cast<int>(buf.size()), seg.start, static_cast<int>(seg.end - seg.start));
        hb_buffer_set_script(hbuf, seg.script == HB_SCRIPT_COMMON ? HB_SCRIPT_LATIN : seg.script);
        hb_buffer_set_direction(hbuf, hb_script_get_horizontal_direction(seg.script) == HB_DIRECTION_RTL
                                          ? HB_DIRECTION_RTL
                                          : HB_DIRECTION_LTR);
        hb_buffer_set_language(hbuf, lang);
        hb_shape(seg.face->hb, hbuf, nullptr, 0);
        unsigned n = 0;
        const hb_glyph_info_t* info = hb_buffer_get_glyph_infos(hbuf, &n);
        const hb_glyph_position_t* pos = hb_buffer_get_glyph_positions(hbuf, nullptr);

        // UTF-16 units behind each cluster, for the spacing that follows every unit.
        starts.clear();
        for (unsigned i = 0; i < n; ++i)
            starts.push_back(info[i].cluster);
        std::sort(starts.begin(), starts.end());
        starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
        const auto unitsOf = [&](std::uint32_t cluster) {
            auto it = std::upper_bound(starts.begin(), starts.end(), cluster);
            return (it == starts.end() ? seg.end : *it) - cluster;
        };

        for (unsigned i = 0; i < n; ++i) {
            if (outlines)
                AppendGlyph(*seg.face, info[i].codepoint, pen + pos[i].x_offset / 64.0,
                            baseline - pos[i].y_offset / 64.0, shear, boldenFixed, *outlines);
            pen += pos[i].x_advance / 64.0;
            if (pos[i].x_advance != 0) pen += bolden;
            if (i + 1 == n || info[i + 1].cluster != info[i].cluster)
                pen += spacing * unitsOf(info[i].cluster);
        }
    }
    hb_buffer_destroy(hbuf);
    layout.advance = pen - x;
    return true;
}

bool DescribeFace(const LOGFONTA& font, FaceDescription& out) {
    Cache& cache = TheCache();
    std::lock_guard lock(cache.mutex);
    if (!cache.Ready()) return false;
    Request* req = cache.Resolve(font);
    if (!req) return false;
    out.family = req->primary->family;
    out.style = req->primary->style;
    out.file = req->primary->file;
    out.syntheticBold = req->syntheticBold;
    out.syntheticItalic = req->syntheticItalic;
    return true;
}

void ReleaseFontCache() {
    Cache& cache = TheCache();
    std::lock_guard lock(cache.mutex);
    cache.Release(true);
}

} // namespace zepho::vor
