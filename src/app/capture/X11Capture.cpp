#include "app/capture/X11Capture.h"

#include <xcb/shape.h>
#include <xcb/xcb.h>
#include <xcb/xfixes.h>

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <memory>

namespace zepho {

namespace {

// Replies and errors come from malloc.
struct FreeDeleter {
    void operator()(void* p) const { std::free(p); }
};
template <typename T> using Reply = std::unique_ptr<T, FreeDeleter>;

// Runs a request's reply function, dropping the error a vanished window gives.
template <typename T, typename Fn, typename Cookie> Reply<T> Get(xcb_connection_t* c, Fn fn, Cookie cookie) {
    xcb_generic_error_t* error = nullptr;
    Reply<T> reply(fn(c, cookie, &error));
    std::free(error);
    return reply;
}

// Large grabs are read in strips, so that no single reply grows without bound.
constexpr int kStripBytes = 4 << 20;

struct Channel {
    std::uint32_t mask = 0;
    int shift = 0, bits = 0;

    explicit Channel(std::uint32_t m) : mask(m) {
        if (!m) return;
        shift = std::countr_zero(m);
        bits = std::popcount(m);
    }
    BYTE Of(std::uint32_t pixel) const {
        if (!bits) return 0;
        const std::uint32_t v = (pixel & mask) >> shift;
        if (bits >= 8) return static_cast<BYTE>(v >> (bits - 8));
        return static_cast<BYTE>(v * 255 / ((1u << bits) - 1));
    }
};

xcb_screen_t* ScreenOf(xcb_connection_t* c, int number) {
    if (!c || xcb_connection_has_error(c)) return nullptr;
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; it.rem; xcb_screen_next(&it), ++i)
        if (i == number) return it.data;
    return nullptr;
}

} // namespace

X11WindowSystem::X11WindowSystem(xcb_connection_t* connection, int screenNumber) : c_(connection) {
    xcb_screen_t* screen = ScreenOf(c_, screenNumber);
    if (!screen) return;
    root_ = screen->root;
    screenWidth_ = screen->width_in_pixels;
    screenHeight_ = screen->height_in_pixels;

    const xcb_query_extension_reply_t* ext = xcb_get_extension_data(c_, &xcb_shape_id);
    shape_ = ext && ext->present;
    ext = xcb_get_extension_data(c_, &xcb_xfixes_id);
    if (ext && ext->present) {
        // XFIXES answers nothing until the client has announced its version.
        auto version = Get<xcb_xfixes_query_version_reply_t>(c_, xcb_xfixes_query_version_reply,
                                                             xcb_xfixes_query_version(c_, 4, 0));
        xfixes_ = version && version->major_version >= 1;
    }
    static const char kOpacity[] = "_NET_WM_WINDOW_OPACITY";
    auto atom = Get<xcb_intern_atom_reply_t>(c_, xcb_intern_atom_reply,
                                             xcb_intern_atom(c_, 0, sizeof kOpacity - 1, kOpacity));
    if (atom) opacityAtom_ = atom->atom;
    if (!FormatOf(root_, rootFormat_)) rootFormat_ = PixelFormat{};
}

// Asked each time: the screen may have been resized (a monitor added or removed) since start.
SIZE X11WindowSystem::ScreenSize() {
    if (root_) {
        auto geometry =
            Get<xcb_get_geometry_reply_t>(c_, xcb_get_geometry_reply, xcb_get_geometry(c_, root_));
        if (geometry) {
            screenWidth_ = geometry->width;
            screenHeight_ = geometry->height;
        }
    }
    return SIZE{screenWidth_, screenHeight_};
}

bool X11WindowSystem::FormatOf(WindowId w, PixelFormat& out) {
    auto attrs = Get<xcb_get_window_attributes_reply_t>(c_, xcb_get_window_attributes_reply,
                                                        xcb_get_window_attributes(c_, w));
    auto geometry = Get<xcb_get_geometry_reply_t>(c_, xcb_get_geometry_reply, xcb_get_geometry(c_, w));
    if (!attrs || !geometry) return false;
    const xcb_setup_t* setup = xcb_get_setup(c_);
    out = PixelFormat{};
    out.msbFirst = setup->image_byte_order == XCB_IMAGE_ORDER_MSB_FIRST;
    for (auto it = xcb_setup_pixmap_formats_iterator(setup); it.rem; xcb_format_next(&it))
        if (it.data->depth == geometry->depth) {
            out.bitsPerPixel = it.data->bits_per_pixel;
            out.scanlinePad = it.data->scanline_pad;
        }
    // Colour comes straight from the pixel only with a true-colour (or direct-colour) visual.
    bool found = false;
    for (auto screens = xcb_setup_roots_iterator(setup); screens.rem && !found; xcb_screen_next(&screens))
        for (auto depths = xcb_screen_allowed_depths_iterator(screens.data); depths.rem && !found;
             xcb_depth_next(&depths))
            for (auto v = xcb_depth_visuals_iterator(depths.data); v.rem; xcb_visualtype_next(&v))
                if (v.data->visual_id == attrs->visual) {
                    if (v.data->_class != XCB_VISUAL_CLASS_TRUE_COLOR &&
                        v.data->_class != XCB_VISUAL_CLASS_DIRECT_COLOR)
                        return false;
                    out.masks[0] = v.data->red_mask;
                    out.masks[1] = v.data->green_mask;
                    out.masks[2] = v.data->blue_mask;
                    found = true;
                    break;
                }
    const int bpp = out.bitsPerPixel;
    return found && (bpp == 16 || bpp == 24 || bpp == 32) && out.scanlinePad >= 8 && out.scanlinePad % 8 == 0;
}

PackedDib X11WindowSystem::ReadImage(WindowId drawable, const PixelFormat& f, int x, int y, int width,
                                     int height) {
    if (!f.bitsPerPixel || width <= 0 || height <= 0 || width > 0x7FFF || height > 0x7FFF) return {};
    PackedDib dib = PackedDib::Create(width, height, 32);
    if (!dib) return dib;
    const std::size_t pad = static_cast<std::size_t>(f.scanlinePad);
    const std::size_t stride = (static_cast<std::size_t>(width) * f.bitsPerPixel + pad - 1) / pad * pad / 8;
    const int bytesPerPixel = f.bitsPerPixel / 8;
    const Channel red(f.masks[0]), green(f.masks[1]), blue(f.masks[2]);
    const int strip = std::max(1, static_cast<int>(kStripBytes / stride));
    for (int top = 0; top < height; top += strip) {
        const int rows = std::min(strip, height - top);
        auto image = Get<xcb_get_image_reply_t>(
            c_, xcb_get_image_reply,
            xcb_get_image(c_, XCB_IMAGE_FORMAT_Z_PIXMAP, drawable, static_cast<std::int16_t>(x),
                          static_cast<std::int16_t>(y + top), static_cast<std::uint16_t>(width),
                          static_cast<std::uint16_t>(rows), ~0u));
        if (!image) return {};
        const BYTE* data = xcb_get_image_data(image.get());
        const int length = xcb_get_image_data_length(image.get());
        if (length < 0 || static_cast<std::size_t>(length) < stride * rows) return {};
        for (int row = 0; row < rows; ++row) {
            const BYTE* src = data + stride * row;
            BYTE* dst = dib.Row(top + row);
            for (int col = 0; col < width; ++col, src += bytesPerPixel, dst += 4) {
                std::uint32_t pixel = 0;
                for (int b = 0; b < bytesPerPixel; ++b) {
                    const int shift = 8 * (f.msbFirst ? bytesPerPixel - 1 - b : b);
                    pixel |= std::uint32_t{src[b]} << shift;
                }
                dst[0] = blue.Of(pixel);
                dst[1] = green.Of(pixel);
                dst[2] = red.Of(pixel);
                dst[3] = 255;
            }
        }
    }
    return dib;
}

PackedDib X11WindowSystem::GrabScreen() {
    if (!root_) return {};
    const SIZE size = ScreenSize();
    return ReadImage(root_, rootFormat_, 0, 0, size.cx, size.cy);
}

bool X11WindowSystem::GetCursor(CursorImage& out) {
    if (!xfixes_) return false;
    auto reply = Get<xcb_xfixes_get_cursor_image_reply_t>(c_, xcb_xfixes_get_cursor_image_reply,
                                                          xcb_xfixes_get_cursor_image(c_));
    if (!reply || !reply->width || !reply->height) return false;
    const int w = reply->width, h = reply->height;
    const std::uint32_t* argb = xcb_xfixes_get_cursor_image_cursor_image(reply.get());
    if (xcb_xfixes_get_cursor_image_cursor_image_length(reply.get()) < w * h) return false;
    PackedDib img = PackedDib::Create(w, h, 32);
    if (!img) return false;
    // The server hands premultiplied ARGB words, one per pixel, row by row from the top.
    for (int y = 0; y < h; ++y) {
        BYTE* d = img.Row(y);
        for (int x = 0; x < w; ++x, d += 4) {
            const std::uint32_t p = argb[static_cast<std::size_t>(y) * w + x];
            d[0] = static_cast<BYTE>(p);
            d[1] = static_cast<BYTE>(p >> 8);
            d[2] = static_cast<BYTE>(p >> 16);
            d[3] = static_cast<BYTE>(p >> 24);
        }
    }
    out.image = std::move(img);
    out.hotSpot = POINT{reply->xhot, reply->yhot};
    out.position = POINT{reply->x, reply->y};
    return true;
}

bool X11WindowSystem::IsVisible(WindowId w) {
    if (!w) return false;
    if (w == root_) return true;
    auto attrs = Get<xcb_get_window_attributes_reply_t>(c_, xcb_get_window_attributes_reply,
                                                        xcb_get_window_attributes(c_, w));
    // An input-only window shows nothing of its own.
    return attrs && attrs->map_state == XCB_MAP_STATE_VIEWABLE &&
           attrs->_class != XCB_WINDOW_CLASS_INPUT_ONLY;
}

bool X11WindowSystem::GetWindowRect(WindowId w, RECT& out) {
    if (!w || !root_) return false;
    const auto geometryCookie = xcb_get_geometry(c_, w);
    const auto translateCookie = xcb_translate_coordinates(c_, w, root_, 0, 0);
    auto geometry = Get<xcb_get_geometry_reply_t>(c_, xcb_get_geometry_reply, geometryCookie);
    auto origin =
        Get<xcb_translate_coordinates_reply_t>(c_, xcb_translate_coordinates_reply, translateCookie);
    if (!geometry || !origin) return false;
    out =
        RECT{origin->dst_x, origin->dst_y, origin->dst_x + geometry->width, origin->dst_y + geometry->height};
    return true;
}

std::vector<WindowId> X11WindowSystem::Children(WindowId w) {
    auto tree = Get<xcb_query_tree_reply_t>(c_, xcb_query_tree_reply, xcb_query_tree(c_, w));
    if (!tree) return {};
    const xcb_window_t* children = xcb_query_tree_children(tree.get());
    const int n = xcb_query_tree_children_length(tree.get());
    // The server lists them bottom to top.
    std::vector<WindowId> out(children, children + std::max(n, 0));
    std::reverse(out.begin(), out.end());
    return out;
}

WindowId X11WindowSystem::Parent(WindowId w) {
    if (!w || w == root_) return 0;
    auto tree = Get<xcb_query_tree_reply_t>(c_, xcb_query_tree_reply, xcb_query_tree(c_, w));
    return tree ? tree->parent : 0;
}

bool X11WindowSystem::GetShape(WindowId w, Region& out) {
    if (!shape_ || !w || w == root_) return false;
    auto extents = Get<xcb_shape_query_extents_reply_t>(c_, xcb_shape_query_extents_reply,
                                                        xcb_shape_query_extents(c_, w));
    if (!extents || !extents->bounding_shaped) return false;
    auto rects = Get<xcb_shape_get_rectangles_reply_t>(
        c_, xcb_shape_get_rectangles_reply, xcb_shape_get_rectangles(c_, w, XCB_SHAPE_SK_BOUNDING));
    if (!rects) return false;
    const xcb_rectangle_t* r = xcb_shape_get_rectangles_rectangles(rects.get());
    const int n = xcb_shape_get_rectangles_rectangles_length(rects.get());
    std::vector<RECT> list;
    list.reserve(static_cast<std::size_t>(std::max(n, 0)));
    for (int i = 0; i < n; ++i)
        list.push_back(RECT{r[i].x, r[i].y, r[i].x + r[i].width, r[i].y + r[i].height});
    out = Region::FromRects(list.data(), static_cast<int>(list.size()));
    return true;
}

PackedDib X11WindowSystem::GrabWindow(WindowId w, const RECT& rect) {
    if (rect.IsEmpty()) return {};
    // The window's own pixels: for a redirected window (under a compositor) these are its
    // contents even where other windows cover it. A window whose pixels cannot be read that
    // way (a visual we do not decode, a part hidden by its parent) is read off the screen.
    PixelFormat format;
    RECT window;
    if (w != root_ && FormatOf(w, format) && GetWindowRect(w, window))
        if (PackedDib dib = ReadImage(w, format, rect.left - window.left, rect.top - window.top, rect.Width(),
                                      rect.Height()))
            return dib;
    return ReadImage(root_, rootFormat_, rect.left, rect.top, rect.Width(), rect.Height());
}

bool X11WindowSystem::GetOpacity(WindowId w, BYTE& alpha) {
    if (!opacityAtom_) return false;
    for (WindowId at = w; at && at != root_; at = Parent(at)) {
        auto prop = Get<xcb_get_property_reply_t>(
            c_, xcb_get_property_reply, xcb_get_property(c_, 0, at, opacityAtom_, XCB_ATOM_CARDINAL, 0, 1));
        if (prop && prop->format == 32 && xcb_get_property_value_length(prop.get()) >= 4) {
            std::uint32_t value;
            std::memcpy(&value, xcb_get_property_value(prop.get()), 4);
            alpha = static_cast<BYTE>(value >> 24);
            return true;
        }
    }
    return false;
}

void X11WindowSystem::ConfinePointer(POINT at) {
    ReleasePointer();
    if (!c_ || !root_) return;
    confine_ = xcb_generate_id(c_);
    const std::uint32_t mask = XCB_CW_OVERRIDE_REDIRECT;
    const std::uint32_t values[] = {1};
    xcb_create_window(c_, XCB_COPY_FROM_PARENT, confine_, root_, static_cast<std::int16_t>(at.x),
                      static_cast<std::int16_t>(at.y), 1, 1, 0, XCB_WINDOW_CLASS_INPUT_ONLY,
                      XCB_COPY_FROM_PARENT, mask, values);
    xcb_map_window(c_, confine_);
    // The grab moves the pointer into the window if it is elsewhere, and holds it there.
    xcb_grab_pointer_reply_t* reply =
        xcb_grab_pointer_reply(c_,
                               xcb_grab_pointer(c_, 0, root_, 0, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC,
                                                confine_, XCB_NONE, XCB_CURRENT_TIME),
                               nullptr);
    std::free(reply);
    xcb_flush(c_);
}

void X11WindowSystem::ReleasePointer() {
    if (!c_ || !confine_) return;
    xcb_ungrab_pointer(c_, XCB_CURRENT_TIME);
    xcb_destroy_window(c_, confine_);
    confine_ = 0;
    xcb_flush(c_);
}

} // namespace zepho
