#include "ui/command_images.h"

#include "ui/model/window_model.h"

namespace quarzo {
namespace {

constexpr COLORREF kMaskColour = RGB(255, 0, 255);

// GDI objects chosen for one shape and deleted afterwards.
class Tools {
public:
    Tools(HDC dc, COLORREF line, COLORREF fill, int width = 1) : dc_(dc) {
        pen_ = CreatePen(PS_SOLID, width, line);
        brush_ = CreateSolidBrush(fill);
        oldPen_ = SelectObject(dc, pen_);
        oldBrush_ = SelectObject(dc, brush_);
    }
    ~Tools() {
        SelectObject(dc_, oldPen_);
        SelectObject(dc_, oldBrush_);
        DeleteObject(pen_);
        DeleteObject(brush_);
    }

private:
    HDC dc_;
    HGDIOBJ pen_, brush_, oldPen_, oldBrush_;
};

void Polygon(HDC dc, COLORREF line, COLORREF fill, std::initializer_list<POINT> points) {
    Tools t(dc, line, fill);
    ::Polygon(dc, points.begin(), static_cast<int>(points.size()));
}

void Box(HDC dc, COLORREF line, COLORREF fill, int l, int t, int r, int b) {
    Tools tools(dc, line, fill);
    Rectangle(dc, l, t, r, b);
}

void Line(HDC dc, COLORREF colour, int width, std::initializer_list<POINT> points) {
    Tools t(dc, colour, colour, width);
    Polyline(dc, points.begin(), static_cast<int>(points.size()));
}

// A chip with pins on both sides, shared by program and read.
void Chip(HDC dc) {
    Box(dc, RGB(40, 40, 40), RGB(60, 60, 70), 6, 10, 18, 22);
    for (int y = 12; y <= 19; y += 3) {
        Box(dc, RGB(150, 150, 150), RGB(190, 190, 190), 3, y, 6, y + 2);
        Box(dc, RGB(150, 150, 150), RGB(190, 190, 190), 18, y, 21, y + 2);
    }
}

void DrawImage(HDC dc, int image) {
    switch (image) {
        case kImageOpen:
            Polygon(dc, RGB(150, 110, 20), RGB(240, 200, 80),
                    {{2, 6}, {9, 6}, {11, 8}, {20, 8}, {20, 19}, {2, 19}});
            Polygon(dc, RGB(150, 110, 20), RGB(255, 225, 120), {{5, 11}, {23, 11}, {20, 19}, {2, 19}});
            break;
        case kImageSave:
            Box(dc, RGB(20, 50, 110), RGB(50, 100, 190), 3, 3, 21, 21);
            Box(dc, RGB(200, 200, 200), RGB(245, 245, 245), 7, 3, 17, 10);
            Box(dc, RGB(20, 50, 110), RGB(30, 60, 120), 7, 14, 17, 21);
            break;
        case kImageSetup: {
            for (int i = 0; i < 8; ++i) {
                static const POINT kTeeth[8] = {{12, 2},  {19, 5}, {22, 12}, {19, 19},
                                                {12, 22}, {5, 19}, {2, 12},  {5, 5}};
                Box(dc, RGB(80, 80, 90), RGB(120, 120, 130), kTeeth[i].x - 2, kTeeth[i].y - 2,
                    kTeeth[i].x + 2, kTeeth[i].y + 2);
            }
            Tools t(dc, RGB(80, 80, 90), RGB(150, 150, 160), 1);
            Ellipse(dc, 4, 4, 21, 21);
            Tools hole(dc, RGB(80, 80, 90), kMaskColour, 1);
            Ellipse(dc, 9, 9, 16, 16);
            break;
        }
        case kImageAuto:
            Polygon(dc, RGB(170, 90, 0), RGB(255, 190, 30),
                    {{14, 1}, {5, 13}, {11, 13}, {8, 23}, {19, 9}, {13, 9}});
            break;
        case kImageErase:
            Polygon(dc, RGB(150, 60, 90), RGB(240, 140, 170), {{4, 15}, {13, 6}, {20, 13}, {11, 22}});
            Polygon(dc, RGB(150, 60, 90), RGB(250, 250, 250), {{4, 15}, {8, 11}, {15, 18}, {11, 22}});
            Line(dc, RGB(90, 90, 90), 1, {{11, 22}, {22, 22}});
            break;
        case kImageBlankCheck: {
            Box(dc, RGB(110, 110, 110), RGB(255, 255, 255), 3, 2, 16, 20);
            Tools t(dc, RGB(30, 90, 170), kMaskColour, 2);
            Ellipse(dc, 10, 10, 19, 19);
            Line(dc, RGB(30, 90, 170), 3, {{18, 18}, {22, 22}});
            break;
        }
        case kImageProgram:
            Chip(dc);
            Polygon(dc, RGB(0, 110, 0), RGB(40, 180, 40),
                    {{9, 1}, {15, 1}, {15, 5}, {19, 5}, {12, 11}, {5, 5}, {9, 5}});
            break;
        case kImageVerify:
            Line(dc, RGB(0, 140, 0), 4, {{3, 13}, {9, 19}, {21, 5}});
            break;
        case kImageRead:
            Chip(dc);
            Polygon(dc, RGB(20, 60, 150), RGB(60, 130, 230),
                    {{12, 0}, {19, 6}, {15, 6}, {15, 10}, {9, 10}, {9, 6}, {5, 6}});
            break;
        case kImageReset: {
            // A circular arrow: three quarters of a ring with its head at the top.
            Tools t(dc, RGB(210, 110, 0), kMaskColour, 3);
            Arc(dc, 4, 4, 20, 20, 12, 4, 20, 12);
            Polygon(dc, RGB(180, 90, 0), RGB(245, 150, 30), {{12, 0}, {18, 4}, {12, 9}});
            break;
        }
        case kImageAbort:
            Polygon(dc, RGB(140, 0, 0), RGB(220, 30, 30),
                    {{8, 2}, {16, 2}, {22, 8}, {22, 16}, {16, 22}, {8, 22}, {2, 16}, {2, 8}});
            Box(dc, RGB(255, 255, 255), RGB(255, 255, 255), 6, 10, 18, 14);
            break;
        case kImageAbout: {
            Tools t(dc, RGB(20, 60, 150), RGB(40, 100, 210), 1);
            Ellipse(dc, 2, 2, 22, 22);
            Box(dc, RGB(255, 255, 255), RGB(255, 255, 255), 11, 10, 13, 18);
            Box(dc, RGB(255, 255, 255), RGB(255, 255, 255), 11, 6, 13, 8);
            break;
        }
    }
}

}  // namespace

HIMAGELIST CreateCommandImages(int size) {
    HIMAGELIST list = ImageList_Create(size, size, ILC_COLOR32 | ILC_MASK, kImageCount, 0);
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    for (int i = 0; i < kImageCount; ++i) {
        HBITMAP bitmap = CreateCompatibleBitmap(screen, size, size);
        HGDIOBJ old = SelectObject(dc, bitmap);
        RECT all{0, 0, size, size};
        HBRUSH mask = CreateSolidBrush(kMaskColour);
        FillRect(dc, &all, mask);
        DeleteObject(mask);
        // The shapes are laid out on a 24-unit grid and scaled to the size asked for.
        SetMapMode(dc, MM_ANISOTROPIC);
        SetWindowExtEx(dc, 24, 24, nullptr);
        SetViewportExtEx(dc, size, size, nullptr);
        DrawImage(dc, i);
        SetMapMode(dc, MM_TEXT);
        SelectObject(dc, old);
        ImageList_AddMasked(list, bitmap, kMaskColour);
        DeleteObject(bitmap);
    }
    DeleteDC(dc);
    ReleaseDC(nullptr, screen);
    return list;
}

int CommandImageOf(unsigned id) {
    switch (id) {
        case kCmdOpen:
            return kImageOpen;
        case kCmdSave:
            return kImageSave;
        case kCmdSetup:
            return kImageSetup;
        case kCmdAuto:
            return kImageAuto;
        case kCmdErase:
            return kImageErase;
        case kCmdBlankCheck:
            return kImageBlankCheck;
        case kCmdProgram:
            return kImageProgram;
        case kCmdVerify:
            return kImageVerify;
        case kCmdRead:
            return kImageRead;
        case kCmdReset:
            return kImageReset;
        case kCmdAbort:
            return kImageAbort;
        case kCmdAbout:
            return kImageAbout;
        default:
            return -1;
    }
}

}  // namespace quarzo
