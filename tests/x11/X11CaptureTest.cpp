// Screen capture against a real X server (run under Xvfb): windows of known colours, a shaped
// window and a translucent one, read back through the capture's window system.
#include "app/capture/X11Capture.h"

#include <gtest/gtest.h>
#include <xcb/shape.h>
#include <xcb/xcb.h>

#include <bit>
#include <cstdlib>
#include <cstring>

using namespace zepho;

namespace {

class X11Capture : public ::testing::Test {
protected:
    void SetUp() override {
        c_ = xcb_connect(nullptr, &screenNumber_);
        if (xcb_connection_has_error(c_)) GTEST_SKIP() << "no X display";
        xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c_));
        for (int i = 0; i < screenNumber_; ++i)
            xcb_screen_next(&it);
        screen_ = it.data;
        for (auto d = xcb_screen_allowed_depths_iterator(screen_); d.rem; xcb_depth_next(&d))
            for (auto v = xcb_depth_visuals_iterator(d.data); v.rem; xcb_visualtype_next(&v))
                if (v.data->visual_id == screen_->root_visual) visual_ = *v.data;
        ASSERT_EQ(visual_._class, XCB_VISUAL_CLASS_TRUE_COLOR);
        sys_ = std::make_unique<X11WindowSystem>(c_, screenNumber_);
        ASSERT_TRUE(sys_->IsValid());
    }
    void TearDown() override {
        sys_.reset();
        if (c_) xcb_disconnect(c_);
    }

    // The root visual's pixel for a colour.
    std::uint32_t Pixel(BYTE r, BYTE g, BYTE b) const {
        auto place = [](BYTE v, std::uint32_t mask) {
            const int bits = std::popcount(mask);
            return (std::uint32_t{v} >> (8 - bits) << std::countr_zero(mask)) & mask;
        };
        return place(r, visual_.red_mask) | place(g, visual_.green_mask) | place(b, visual_.blue_mask);
    }
    // A mapped window outside any window manager's hands.
    xcb_window_t Window(xcb_window_t parent, int x, int y, int w, int h, COLORREF colour,
                        std::uint16_t cls = XCB_WINDOW_CLASS_INPUT_OUTPUT) {
        const xcb_window_t id = xcb_generate_id(c_);
        if (cls == XCB_WINDOW_CLASS_INPUT_ONLY) {
            const std::uint32_t values[] = {1};
            xcb_create_window(c_, 0, id, parent, x, y, w, h, 0, cls, XCB_COPY_FROM_PARENT,
                              XCB_CW_OVERRIDE_REDIRECT, values);
        } else {
            const std::uint32_t values[] = {Pixel(GetRValue(colour), GetGValue(colour), GetBValue(colour)),
                                            1};
            xcb_create_window(c_, XCB_COPY_FROM_PARENT, id, parent, x, y, w, h, 0, cls, screen_->root_visual,
                              XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT, values);
        }
        xcb_map_window(c_, id);
        return id;
    }
    // Every request so far has been carried out.
    void Sync() { std::free(xcb_get_input_focus_reply(c_, xcb_get_input_focus(c_), nullptr)); }

    static COLORREF At(const PackedDib& d, int x, int y) {
        const BYTE* p = d.Pixel32(x, y);
        return RGB(p[2], p[1], p[0]);
    }

    xcb_connection_t* c_ = nullptr;
    int screenNumber_ = 0;
    xcb_screen_t* screen_ = nullptr;
    xcb_visualtype_t visual_{};
    std::unique_ptr<X11WindowSystem> sys_;
};

constexpr COLORREF kRed = RGB(255, 0, 0), kGreen = RGB(0, 255, 0), kBlue = RGB(0, 0, 255),
                   kGrey = RGB(128, 128, 128);

} // namespace

TEST_F(X11Capture, ScreenPixelsAndTheWindowTreeAsTheUserSeesThem) {
    const xcb_window_t root = screen_->root;
    const xcb_window_t a = Window(root, 20, 20, 100, 80, kRed);
    const xcb_window_t child = Window(a, 5, 5, 20, 10, kBlue);
    const xcb_window_t b = Window(root, 60, 50, 80, 60, kGreen);
    // Input-only windows catch events but show nothing: never a capture target.
    Window(root, 40, 35, 10, 10, 0, XCB_WINDOW_CLASS_INPUT_ONLY);
    Sync();

    EXPECT_EQ(sys_->ScreenSize(), (SIZE{320, 240}));
    const PackedDib screen = ScreenPicture(*sys_, false);
    ASSERT_EQ(screen.Width(), 320);
    ASSERT_EQ(screen.Height(), 240);
    EXPECT_EQ(At(screen, 50, 40), kRed);
    EXPECT_EQ(At(screen, 30, 30), kBlue);
    EXPECT_EQ(At(screen, 70, 60), kGreen) << "b was mapped last, so it is in front";
    EXPECT_EQ(screen.Pixel32(70, 60)[3], 255);

    RECT r;
    ASSERT_TRUE(sys_->GetWindowRect(child, r));
    EXPECT_EQ(r, (RECT{25, 25, 45, 35})) << "in screen coordinates";
    EXPECT_EQ(sys_->Parent(child), a);
    EXPECT_EQ(sys_->Parent(a), root);

    EXPECT_EQ(WindowFromPoint(*sys_, POINT{45, 40}, 0), a);
    EXPECT_EQ(WindowFromPoint(*sys_, POINT{30, 30}, 0), child);
    EXPECT_EQ(WindowFromPoint(*sys_, POINT{70, 60}, 0), b);
    EXPECT_EQ(WindowFromPoint(*sys_, POINT{70, 60}, b), a) << "the picker is looked through";
    EXPECT_EQ(WindowFromPoint(*sys_, POINT{300, 230}, 0), root) << "the background";

    // Raised, a comes first among the root's children and wins the overlap.
    const std::uint32_t above[] = {XCB_STACK_MODE_ABOVE};
    xcb_configure_window(c_, a, XCB_CONFIG_WINDOW_STACK_MODE, above);
    xcb_unmap_window(c_, child);
    Sync();
    EXPECT_EQ(sys_->Children(root).front(), a);
    EXPECT_EQ(WindowFromPoint(*sys_, POINT{70, 60}, 0), a);
    EXPECT_EQ(WindowFromPoint(*sys_, POINT{30, 30}, 0), a) << "an unmapped child is not visible";

    // A window's own picture, clipped to the screen.
    const std::uint32_t moved[] = {static_cast<std::uint32_t>(-30), 200};
    xcb_configure_window(c_, b, XCB_CONFIG_WINDOW_X | XCB_CONFIG_WINDOW_Y, moved);
    Sync();
    BYTE alpha = 0;
    const PackedDib pic = WindowPicture(*sys_, b, false, alpha);
    ASSERT_EQ(pic.Width(), 50);
    ASSERT_EQ(pic.Height(), 40);
    EXPECT_EQ(At(pic, 0, 0), kGreen);
    EXPECT_EQ(At(pic, 49, 39), kGreen);
    EXPECT_EQ(alpha, 255);
}

TEST_F(X11Capture, ShapeOpacityAndCursorReachThePicture) {
    const xcb_window_t root = screen_->root;
    const xcb_window_t shaped = Window(root, 200, 20, 40, 40, kGrey);
    // Only the left half and the bottom row remain.
    const xcb_rectangle_t keep[] = {{0, 0, 20, 40}, {0, 39, 40, 1}};
    xcb_shape_rectangles(c_, XCB_SHAPE_SO_SET, XCB_SHAPE_SK_BOUNDING, XCB_CLIP_ORDERING_UNSORTED, shaped, 0,
                         0, 2, keep);
    const xcb_window_t translucent = Window(root, 200, 100, 30, 30, kBlue);
    const xcb_window_t inner = Window(translucent, 2, 2, 10, 10, kRed);
    static const char kOpacity[] = "_NET_WM_WINDOW_OPACITY";
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(c_, xcb_intern_atom(c_, 0, sizeof kOpacity - 1, kOpacity), nullptr);
    ASSERT_TRUE(atom);
    const std::uint32_t half = 0x80000000u;
    xcb_change_property(c_, XCB_PROP_MODE_REPLACE, translucent, atom->atom, XCB_ATOM_CARDINAL, 32, 1, &half);
    std::free(atom);
    xcb_warp_pointer(c_, XCB_NONE, root, 0, 0, 0, 0, 150, 160);
    Sync();

    Region shape;
    ASSERT_TRUE(sys_->GetShape(shaped, shape));
    EXPECT_TRUE(shape.Contains(19, 0));
    EXPECT_FALSE(shape.Contains(20, 0));
    EXPECT_FALSE(sys_->GetShape(translucent, shape));
    BYTE alpha = 0;
    const PackedDib pic = WindowPicture(*sys_, shaped, false, alpha);
    ASSERT_EQ(pic.Width(), 40);
    EXPECT_EQ(pic.Pixel32(10, 10)[3], 255);
    EXPECT_EQ(pic.Pixel32(30, 10)[3], 0);
    EXPECT_EQ(pic.Pixel32(30, 39)[3], 255);
    EXPECT_EQ(At(pic, 10, 10), kGrey);
    // Outside its shape the window does not catch the pointer either on screen, but the
    // picker goes by rectangles.
    EXPECT_EQ(WindowFromPoint(*sys_, POINT{230, 30}, 0), shaped);

    EXPECT_FALSE(sys_->GetOpacity(shaped, alpha));
    ASSERT_TRUE(sys_->GetOpacity(translucent, alpha));
    EXPECT_EQ(alpha, 128);
    ASSERT_TRUE(sys_->GetOpacity(inner, alpha)) << "a child is shown with its top-level window's opacity";
    EXPECT_EQ(alpha, 128);
    WindowPicture(*sys_, translucent, false, alpha);
    EXPECT_EQ(255 - alpha, 127);

    CursorImage cursor;
    ASSERT_TRUE(sys_->GetCursor(cursor));
    EXPECT_EQ(cursor.position, (POINT{150, 160}));
    ASSERT_TRUE(cursor.image.Is32());
    EXPECT_LT(cursor.hotSpot.x, cursor.image.Width());
    EXPECT_LT(cursor.hotSpot.y, cursor.image.Height());
    // Whatever the server's cursor looks like, drawing it changes the screen around the pointer
    // and nothing far from it.
    const PackedDib plain = ScreenPicture(*sys_, false), withCursor = ScreenPicture(*sys_, true);
    bool changedNear = false, changedFar = false;
    for (int y = 0; y < plain.Height(); ++y)
        for (int x = 0; x < plain.Width(); ++x) {
            if (std::memcmp(plain.Pixel32(x, y), withCursor.Pixel32(x, y), 4) == 0) continue;
            (std::abs(x - 150) < 64 && std::abs(y - 160) < 64 ? changedNear : changedFar) = true;
        }
    EXPECT_TRUE(changedNear);
    EXPECT_FALSE(changedFar);
}

TEST_F(X11Capture, ThePointerStaysOnThePickedPointUntilReleased) {
    const xcb_window_t root = screen_->root;
    auto where = [&] {
        xcb_query_pointer_reply_t* r = xcb_query_pointer_reply(c_, xcb_query_pointer(c_, root), nullptr);
        const POINT p = r ? POINT{r->root_x, r->root_y} : POINT{-1, -1};
        std::free(r);
        return p;
    };
    xcb_warp_pointer(c_, XCB_NONE, root, 0, 0, 0, 0, 10, 10);
    Sync();
    sys_->ConfinePointer(POINT{50, 60});
    Sync();
    EXPECT_EQ(where(), (POINT{50, 60})) << "brought to the point";
    xcb_warp_pointer(c_, XCB_NONE, root, 0, 0, 0, 0, 200, 180);
    Sync();
    EXPECT_EQ(where(), (POINT{50, 60})) << "held there";
    sys_->ReleasePointer();
    xcb_warp_pointer(c_, XCB_NONE, root, 0, 0, 0, 0, 200, 180);
    Sync();
    EXPECT_EQ(where(), (POINT{200, 180}));
}
