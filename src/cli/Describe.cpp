#include "cli/Describe.h"

#include "codecs/PhotoInfoIo.h"
#include "model/BitmapObj.h"
#include "model/EllipseObj.h"
#include "model/PolygonObj.h"
#include "model/RectObj.h"
#include "model/TextObj.h"
#include "platform/AnsiText.h"

#include <sstream>

namespace zepho::cli {

namespace {

const char* KindName(int kind) {
    switch (kind) {
    case KindImage:
        return "image";
    case KindEllipse:
        return "ellipse";
    case KindRectangle:
        return "rectangle";
    case KindPolygon:
        return "polygon";
    case KindTransformedImage:
        return "transformed image";
    case KindText:
        return "text";
    default:
        return "unknown";
    }
}

void VectorPart(const CShapeObj& s, JsonWriter& j) {
    j.Field("fill", s.fill != 0).Field("strokeWidth", s.strokeWidth);
    j.Field("strokeColour", static_cast<long long>(s.paint.color1));
    j.Field("fillColour", static_cast<long long>(s.paint.color2)).Field("fillMode", int(s.paint.mode));
}

void DescribeShape(const CObjShape& shape, JsonWriter& j) {
    j.Key("shape").BeginObject();
    j.Field("angle", shape.angle);
    if (auto* bmp = dynamic_cast<const CBitmapObj*>(&shape)) {
        j.Field("filter", bmp->filter).Field("scaleX", bmp->scaleX).Field("scaleY", bmp->scaleY);
        j.Field("sourceWidth", bmp->source.Width()).Field("sourceHeight", bmp->source.Height());
    }
    if (auto* v = dynamic_cast<const CShapeObj*>(&shape)) VectorPart(*v, j);
    if (auto* e = dynamic_cast<const CEllipseObj*>(&shape)) {
        j.Field("arc", e->arcFlag != 0).Field("startAngle", e->startAngle).Field("endAngle", e->endAngle);
        j.Field("radiusX", e->radiusX).Field("radiusY", e->radiusY);
    }
    if (auto* r = dynamic_cast<const CRectObj*>(&shape))
        j.Field("width", r->width).Field("height", r->height).Field("roundCorner", r->roundCorner);
    if (auto* p = dynamic_cast<const CPolygonObj*>(&shape)) {
        j.Key("points").BeginArray();
        for (const PointD& pt : p->points)
            j.BeginArray().Value(pt.x).Value(pt.y).EndArray();
        j.EndArray();
    }
    if (auto* t = dynamic_cast<const CTextObj*>(&shape)) {
        j.Field("lineSpacing", t->lineSpacing).Field("alignment", t->alignment);
        j.Field("scaleX", t->scaleX)
            .Field("scaleY", t->scaleY)
            .Field("width", t->width)
            .Field("height", t->height);
        j.Key("outline").BeginObject().Field("on", t->outline != 0);
        j.Field("colour", static_cast<long long>(t->outlineColor)).Field("thickness", t->outlineThickness);
        j.Field("transparency", t->outlineTransparency).Field("smooth", t->outlineSmooth).EndObject();
        j.Key("runs").BeginArray();
        for (const CTextRun& r : t->runs) {
            j.BeginObject().Field("face", r.face).Field("size", r.size).Field("bold", r.bold != 0);
            j.Field("italic", r.italic != 0).Field("outlined", r.outlined != 0);
            j.Field("baselineOffset", r.baselineOffset)
                .Field("spacing", r.spacing)
                .Field("charSet", r.charSet);
            j.Field("lineEnd", r.lineEnd != 0).Field("text", Utf16ToUtf8(r.text)).EndObject();
        }
        j.EndArray();
    }
    j.EndObject();
}

void DescribeObject(const CDrawObj& o, int index, JsonWriter& j) {
    const CObjContent& c = *o.content;
    j.BeginObject();
    j.Field("index", index).Field("name", c.name).Field("kind", c.kind).Field("kindName", KindName(c.kind));
    j.Field("filter", c.filter)
        .Field("x", o.x)
        .Field("y", o.y)
        .Field("width", c.width)
        .Field("height", c.height);
    j.Field("visible", o.visible != 0)
        .Field("locked", o.locked != 0)
        .Field("transparency", int(o.transparency));
    j.Key("shadow").BeginObject();
    j.Field("on", c.HasShadow())
        .Field("type", c.shadowType)
        .Field("colour", static_cast<long long>(c.shadowColour));
    j.Field("offsetX", c.shadowOffsetX).Field("offsetY", c.shadowOffsetY).Field("size", int(c.shadowSize));
    j.Field("transparency", int(c.shadowTransparency)).Field("smooth", int(c.shadowSmooth));
    j.Field("skew", int(c.shadowSkew)).Field("perspective", int(c.shadowPerspective));
    j.EndObject();
    if (c.shape) DescribeShape(*c.shape, j);
    j.EndObject();
}

// Whether the file said anything of the photo: information, a profile, an orientation.
bool HasPhotoLook(const CPhotoInfo& info) {
    return !info.Empty() || !info.profile.empty() || info.orientation != 1;
}

// The photo's main fields, those it has; "location" says only whether it holds coordinates.
void DescribePhoto(const CPhotoInfo& info, JsonWriter& j) {
    const PhotoSummary p = SummarizePhotoInfo(info);
    j.Key("photo").BeginObject();
    const std::pair<const char*, const std::string*> texts[] = {{"make", &p.make},
                                                                {"model", &p.model},
                                                                {"lens", &p.lens},
                                                                {"dateTaken", &p.dateTaken},
                                                                {"exposureTime", &p.exposureTime},
                                                                {"fNumber", &p.fNumber}};
    for (const auto& [key, value] : texts)
        if (!value->empty()) j.Field(key, *value);
    if (p.iso > 0) j.Field("iso", static_cast<long long>(p.iso));
    j.Field("location", p.hasLocation);
    j.Field("orientation", p.orientation);
    if (!info.profile.empty()) j.Field("profile", info.profile);
    j.EndObject();
}

} // namespace

void DescribeDocument(const CDocImage& doc, const std::string& format, JsonWriter& j) {
    j.BeginObject();
    j.Field("format", format)
        .Field("width", doc.width)
        .Field("height", doc.height)
        .Field("delay", int(doc.delay));
    j.Field("matteColour", static_cast<long long>(doc.matteColour));
    j.Field("gifBackgroundIndex", doc.gifBackgroundIndex)
        .Field("gifTransparentIndex", int(doc.gifTransparentIndex));
    j.Field("gifControlFlags", int(doc.gifControlFlags)).Field("gifImageFlags", int(doc.gifImageFlags));
    if (HasPhotoLook(doc.photoInfo)) DescribePhoto(doc.photoInfo, j);
    j.Key("objects").BeginArray();
    int i = 0;
    for (const auto& o : doc.objects)
        if (o->content) DescribeObject(*o, i++, j);
    j.EndArray();
    j.EndObject();
}

std::string DescribeDocumentText(const CDocImage& doc, const std::string& format) {
    std::ostringstream s;
    s << "format: " << format << "\n"
      << "canvas: " << doc.width << " x " << doc.height << "\n"
      << "delay: " << doc.delay << "\n"
      << "gif: background " << doc.gifBackgroundIndex << ", transparent index "
      << int(doc.gifTransparentIndex) << ", control flags 0x" << std::hex << int(doc.gifControlFlags)
      << ", image flags 0x" << int(doc.gifImageFlags) << ", matte 0x" << doc.matteColour << std::dec << "\n"
      << "objects: " << doc.objects.Count() << "\n";
    if (HasPhotoLook(doc.photoInfo)) {
        JsonWriter j;
        DescribePhoto(doc.photoInfo, j.BeginObject());
        j.EndObject();
        s << "photo information: " << j.Take() << "\n";
    }
    int i = 0;
    for (const auto& ref : doc.objects) {
        const CDrawObj& o = *ref;
        if (!o.content) continue;
        const CObjContent& c = *o.content;
        s << "[" << i++ << "] \"" << c.name << "\" " << KindName(c.kind) << " (kind " << c.kind << ")"
          << " at " << o.x << "," << o.y << " size " << c.width << " x " << c.height << ", filter "
          << c.filter << (o.visible ? ", visible" : ", hidden") << (o.locked ? ", locked" : "")
          << ", transparency " << int(o.transparency) << "\n";
        s << "    shadow " << (c.HasShadow() ? "on" : "off") << ": type " << c.shadowType << ", offset "
          << c.shadowOffsetX << "," << c.shadowOffsetY << ", size " << int(c.shadowSize) << "%, transparency "
          << int(c.shadowTransparency) << ", smooth " << int(c.shadowSmooth) << ", skew " << c.shadowSkew
          << ", perspective " << c.shadowPerspective << ", colour 0x" << std::hex << c.shadowColour
          << std::dec << "\n";
        if (c.shape) {
            JsonWriter j;
            DescribeShape(*c.shape, j.BeginObject());
            j.EndObject();
            s << "    " << j.Take() << "\n";
        }
    }
    return s.str();
}

} // namespace zepho::cli
