#include "windows/pictures.h"

#include "runtime/contrast.h"
#include "runtime/runtime.h"
#include "windows/pictures_data.h"

#include <objidl.h>
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
// GDI+'s headers use min and max unqualified.
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus
#include <gdiplus.h>

namespace quorvex::windows {

namespace gp = Gdiplus::DllExports;

namespace {

// GDI+ runs from the first picture decoded until the program ends.
class GdiPlus {
  public:
    GdiPlus() {
        Gdiplus::GdiplusStartupInput input;
        ok_ = Gdiplus::GdiplusStartup(&token_, &input, nullptr) == Gdiplus::Ok;
    }
    ~GdiPlus() {
        if (ok_) {
            Gdiplus::GdiplusShutdown(token_);
        }
    }
    bool ok() const { return ok_; }

  private:
    ULONG_PTR token_ = 0;
    bool ok_ = false;
};

bool GdiPlusReady() {
    static GdiPlus gdi_plus;
    return gdi_plus.ok();
}

// The colour a GIF marks transparent (its graphic control extension's index
// in the global colour table), as 0xRRGGBB; -1 where it marks none.
long GifTransparentColour(const PictureFile& file) {
    const unsigned char* data = file.data;
    const std::size_t size = file.size;
    if (size < 13 || std::memcmp(data, "GIF8", 4) != 0 || (data[10] & 0x80) == 0) {
        return -1;
    }
    const std::size_t table = 13;
    const std::size_t table_size = 3u << ((data[10] & 7) + 1);
    for (std::size_t i = table + table_size; i + 7 < size; ++i) {
        if (data[i] == 0x21 && data[i + 1] == 0xF9 && data[i + 2] == 4) {
            if ((data[i + 3] & 1) == 0) {
                return -1;
            }
            const std::size_t entry = table + 3u * data[i + 6];
            return (long{data[entry]} << 16) | (long{data[entry + 1]} << 8) | data[entry + 2];
        }
    }
    return -1;
}

// The picture as 32-bit colours with coverage, its transparent colour (if
// any) cleared: not every GDI+ honours a GIF's transparency.
Gdiplus::GpBitmap* WithAlpha(Gdiplus::GpBitmap* bitmap, long transparent) {
    UINT width = 0;
    UINT height = 0;
    gp::GdipGetImageWidth(bitmap, &width);
    gp::GdipGetImageHeight(bitmap, &height);
    Gdiplus::GpBitmap* copy = nullptr;
    if (gp::GdipCreateBitmapFromScan0(static_cast<INT>(width), static_cast<INT>(height), 0,
                                      PixelFormat32bppARGB, nullptr, &copy) != Gdiplus::Ok) {
        return bitmap;
    }
    const Gdiplus::GpRect area(0, 0, static_cast<INT>(width), static_cast<INT>(height));
    Gdiplus::BitmapData source{};
    Gdiplus::BitmapData target{};
    if (gp::GdipBitmapLockBits(bitmap, &area, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB,
                               &source) != Gdiplus::Ok) {
        gp::GdipDisposeImage(copy);
        return bitmap;
    }
    if (gp::GdipBitmapLockBits(copy, &area, Gdiplus::ImageLockModeWrite, PixelFormat32bppARGB,
                               &target) == Gdiplus::Ok) {
        for (UINT y = 0; y < height; ++y) {
            const auto* from = reinterpret_cast<const std::uint32_t*>(
                static_cast<const unsigned char*>(source.Scan0) + y * source.Stride);
            auto* to = reinterpret_cast<std::uint32_t*>(static_cast<unsigned char*>(target.Scan0) +
                                                        y * target.Stride);
            for (UINT x = 0; x < width; ++x) {
                const bool clear = transparent >= 0 &&
                                   (from[x] & 0xFFFFFFu) == static_cast<std::uint32_t>(transparent);
                to[x] = clear ? 0 : from[x];
            }
        }
        gp::GdipBitmapUnlockBits(copy, &target);
    }
    gp::GdipBitmapUnlockBits(bitmap, &source);
    gp::GdipDisposeImage(bitmap);
    return copy;
}

// Decodes a GIF or PNG file held in memory.
Gdiplus::GpBitmap* Decode(const PictureFile& file) {
    HGLOBAL memory = GlobalAlloc(GMEM_MOVEABLE, file.size);
    if (memory == nullptr) {
        return nullptr;
    }
    void* bytes = GlobalLock(memory);
    std::copy_n(file.data, file.size, static_cast<unsigned char*>(bytes));
    GlobalUnlock(memory);
    IStream* stream = nullptr;
    if (FAILED(CreateStreamOnHGlobal(memory, TRUE, &stream))) {
        GlobalFree(memory);
        return nullptr;
    }
    Gdiplus::GpBitmap* bitmap = nullptr;
    if (gp::GdipCreateBitmapFromStream(stream, &bitmap) != Gdiplus::Ok) {
        bitmap = nullptr;
    }
    if (bitmap != nullptr) {
        // Copied out, so that the stream is no longer needed.
        bitmap = WithAlpha(bitmap, GifTransparentColour(file));
    }
    stream->Release();
    return bitmap;
}

runtime::Rgb RgbOf(COLORREF colour) {
    return {GetRValue(colour), GetGValue(colour), GetBValue(colour)};
}

// The ink the pictures are drawn in: near-black.
constexpr COLORREF kInk = RGB(1, 1, 1);

}  // namespace

// One file of the picture, decoded the first time a screen needs it: at
// start-up only the files for the scale in use are read.
struct Picture::Render {
    const PictureFile* file;
    Gdiplus::GpBitmap* bitmap = nullptr;
    bool tried = false;
    UINT width = 0;
    UINT height = 0;

    bool Decoded() {
        if (!tried) {
            tried = true;
            bitmap = Decode(*file);
            if (bitmap != nullptr) {
                gp::GdipGetImageWidth(bitmap, &width);
                gp::GdipGetImageHeight(bitmap, &height);
            }
        }
        return bitmap != nullptr;
    }
};

Picture::Picture(std::string_view name) {
    if (!GdiPlusReady()) {
        runtime::Raise(runtime::ErrorNumber::DeviceUnavailable);
    }
    for (std::size_t i = 0; i < kPictureFileCount; ++i) {
        if (kPictureFiles[i].name == name) {
            renders_.push_back({&kPictureFiles[i]});
        }
    }
    std::sort(renders_.begin(), renders_.end(),
              [](const Render& a, const Render& b) { return a.file->ratio < b.file->ratio; });
    // The picture at ratio 1 gives the size, and must be there.
    if (renders_.empty() || renders_.front().file->ratio != 1 || !renders_.front().Decoded()) {
        runtime::Raise(runtime::ErrorNumber::DeviceUnavailable);
    }
    size_ = {static_cast<LONG>(renders_.front().width), static_cast<LONG>(renders_.front().height)};
}

Picture::~Picture() {
    for (Render& render : renders_) {
        if (render.bitmap != nullptr) {
            gp::GdipDisposeImage(render.bitmap);
        }
    }
}

Picture::Render& Picture::RenderFor(double scale) const {
    // The render for this scale, else the smallest one drawn for a denser
    // screen: scaled down it stays sharp, where scaled up it would blur.
    // Failing those, the largest that decodes; the one at ratio 1 always does.
    for (Render& render : renders_) {
        if (render.file->ratio >= scale - 0.01 && render.Decoded()) {
            return render;
        }
    }
    for (auto render = renders_.rbegin(); render != renders_.rend(); ++render) {
        if (render->Decoded()) {
            return *render;
        }
    }
    return renders_.front();
}

void Picture::Draw(HDC dc, const RECT& area, double scale, COLORREF background,
                   COLORREF text) const {
    const Render& render = RenderFor(scale);
    const UINT source_width = render.width;
    const UINT source_height = render.height;
    // The size the picture takes on this screen: its logical size scaled,
    // or the render's own where it was made for this very scale.
    const bool exact = std::abs(render.file->ratio - scale) < 0.01;
    const int width =
        exact ? static_cast<int>(source_width) : static_cast<int>(std::lround(size_.cx * scale));
    const int height =
        exact ? static_cast<int>(source_height) : static_cast<int>(std::lround(size_.cy * scale));
    const int left = area.left + (area.right - area.left - width) / 2;
    const int top = area.top + (area.bottom - area.top - height) / 2;

    Gdiplus::GpGraphics* graphics = nullptr;
    if (gp::GdipCreateFromHDC(dc, &graphics) != Gdiplus::Ok) {
        return;
    }
    gp::GdipSetInterpolationMode(graphics, Gdiplus::InterpolationModeHighQualityBicubic);
    gp::GdipSetPixelOffsetMode(graphics, Gdiplus::PixelOffsetModeHalf);
    Gdiplus::GpImageAttributes* attributes = nullptr;
    if (runtime::ContrastRatio(RgbOf(kInk), RgbOf(background)) < 4.5 &&
        gp::GdipCreateImageAttributes(&attributes) == Gdiplus::Ok) {
        // Every pixel takes the text colour and keeps its coverage.
        Gdiplus::ColorMatrix matrix{};
        matrix.m[3][3] = 1;
        matrix.m[4][0] = GetRValue(text) / 255.0f;
        matrix.m[4][1] = GetGValue(text) / 255.0f;
        matrix.m[4][2] = GetBValue(text) / 255.0f;
        matrix.m[4][4] = 1;
        gp::GdipSetImageAttributesColorMatrix(attributes, Gdiplus::ColorAdjustTypeDefault, TRUE,
                                              &matrix, nullptr, Gdiplus::ColorMatrixFlagsDefault);
    }
    gp::GdipDrawImageRectRectI(graphics, render.bitmap, left, top, width, height, 0, 0,
                               static_cast<INT>(source_width), static_cast<INT>(source_height),
                               Gdiplus::UnitPixel, attributes, nullptr, nullptr);
    if (attributes != nullptr) {
        gp::GdipDisposeImageAttributes(attributes);
    }
    gp::GdipDeleteGraphics(graphics);
}

}  // namespace quorvex::windows
