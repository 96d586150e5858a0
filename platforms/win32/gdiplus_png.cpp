// Screenshots encoded by GDI+, started before and shut down after each one.
#include "platforms/win32/win32_host.h"

#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <string>

// GDI+'s C++ headers expect the min and max macros of <windows.h>.
#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
} // namespace Gdiplus
#include <gdiplus.h>

using namespace Gdiplus;

int findEncoderClsid(const wchar_t* mimeType, CLSID* clsid) {
    UINT count = 0, size = 0;
    DllExports::GdipGetImageEncodersSize(&count, &size);
    if (size == 0) return -1;
    auto* encoders = static_cast<ImageCodecInfo*>(std::malloc(size));
    if (!encoders) return -1;
    DllExports::GdipGetImageEncoders(count, size, encoders);
    for (UINT i = 0; i < count; ++i) {
        if (std::wcscmp(encoders[i].MimeType, mimeType) == 0) {
            *clsid = encoders[i].Clsid;
            std::free(encoders);
            return static_cast<int>(i);
        }
    }
    std::free(encoders);
    return -1;
}

bool encodePngWithGdiPlus(const char* path, const uint32_t* pixels, uint32_t width, uint32_t height,
                          int32_t pitch) {
    GdiplusStartupInput input;
    ULONG_PTR token = 0;
    GdiplusStartup(&token, &input, nullptr);
    GpBitmap* bitmap = nullptr;
    DllExports::GdipCreateBitmapFromScan0(
        static_cast<INT>(width), static_cast<INT>(height), pitch, PixelFormat32bppRGB,
        reinterpret_cast<BYTE*>(const_cast<uint32_t*>(pixels)), &bitmap);
    // One wide character per byte of the name.
    std::wstring wideName;
    for (const char* c = path; *c; ++c)
        wideName.push_back(static_cast<unsigned char>(*c));
    bool saved = false;
    CLSID encoder;
    if (bitmap && findEncoderClsid(L"image/png", &encoder) >= 0) {
        saved = DllExports::GdipSaveImageToFile(bitmap, wideName.c_str(), &encoder, nullptr) == Ok;
    }
    if (bitmap) DllExports::GdipDisposeImage(bitmap);
    GdiplusShutdown(token);
    return saved;
}
