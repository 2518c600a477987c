#include "platform/win32/wic_picture.h"

#include <algorithm>
#include <vector>
#include <wincodec.h>

#include "platform/os_path.h"

namespace velk2 {

namespace {

bool make_factory(ComPtr<IWICImagingFactory>& factory) {
    return SUCCEEDED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                      IID_IWICImagingFactory,
                                      reinterpret_cast<void**>(factory.put())));
}

} // namespace

OwnedBitmap make_dib(int width, int height, void** bits) {
    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = -height; // top-down
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    return OwnedBitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, bits, nullptr, 0));
}

OwnedBitmap load_picture_bitmap(const std::string& path, int width, int height) {
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IWICBitmapDecoder> decoder;
    ComPtr<IWICBitmapFrameDecode> frame;
    if (!make_factory(factory) ||
        FAILED(factory->CreateDecoderFromFilename(widen(path).c_str(), nullptr, GENERIC_READ,
                                                  WICDecodeMetadataCacheOnDemand, decoder.put())) ||
        FAILED(decoder->GetFrame(0, frame.put())))
        return nullptr;
    UINT w = 0, h = 0;
    if (FAILED(frame->GetSize(&w, &h)) || w == 0 || h == 0) return nullptr;
    UINT out_w = w, out_h = h;
    if (width > 0 && height > 0) {
        const double scale = std::min(double(width) / w, double(height) / h);
        out_w = std::max(1u, UINT(w * scale + 0.5));
        out_h = std::max(1u, UINT(h * scale + 0.5));
    }
    ComPtr<IWICBitmapScaler> scaler;
    ComPtr<IWICFormatConverter> converter;
    if (FAILED(factory->CreateBitmapScaler(scaler.put())) ||
        FAILED(scaler->Initialize(frame.get(), out_w, out_h, WICBitmapInterpolationModeFant)) ||
        FAILED(factory->CreateFormatConverter(converter.put())) ||
        FAILED(converter->Initialize(scaler.get(), GUID_WICPixelFormat32bppBGR,
                                     WICBitmapDitherTypeNone, nullptr, 0,
                                     WICBitmapPaletteTypeCustom)))
        return nullptr;
    void* bits = nullptr;
    OwnedBitmap bitmap = make_dib(int(out_w), int(out_h), &bits);
    if (!bitmap || FAILED(converter->CopyPixels(nullptr, out_w * 4, out_w * out_h * 4,
                                                static_cast<BYTE*>(bits))))
        return nullptr;
    return bitmap;
}

bool save_bitmap_png(HBITMAP bitmap, const std::string& path) {
    DIBSECTION dib{};
    if (GetObjectW(bitmap, sizeof dib, &dib) != sizeof dib || dib.dsBm.bmBitsPixel != 32)
        return false;
    const UINT w = UINT(dib.dsBm.bmWidth), h = UINT(std::abs(dib.dsBmih.biHeight));
    const UINT stride = UINT(dib.dsBm.bmWidthBytes);
    // A bottom-up section is turned over; PNG rows run top-down.
    std::vector<BYTE> rows(std::size_t(stride) * h);
    const BYTE* src = static_cast<const BYTE*>(dib.dsBm.bmBits);
    for (UINT y = 0; y < h; ++y) {
        const UINT from = dib.dsBmih.biHeight > 0 ? h - 1 - y : y;
        std::copy_n(src + std::size_t(from) * stride, stride,
                    rows.data() + std::size_t(y) * stride);
    }
    ComPtr<IWICImagingFactory> factory;
    ComPtr<IWICStream> stream;
    ComPtr<IWICBitmapEncoder> encoder;
    ComPtr<IWICBitmapFrameEncode> frame;
    WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGR;
    return make_factory(factory) && SUCCEEDED(factory->CreateStream(stream.put())) &&
           SUCCEEDED(stream->InitializeFromFilename(widen(path).c_str(), GENERIC_WRITE)) &&
           SUCCEEDED(factory->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.put())) &&
           SUCCEEDED(encoder->Initialize(stream.get(), WICBitmapEncoderNoCache)) &&
           SUCCEEDED(encoder->CreateNewFrame(frame.put(), nullptr)) &&
           SUCCEEDED(frame->Initialize(nullptr)) && SUCCEEDED(frame->SetSize(w, h)) &&
           SUCCEEDED(frame->SetPixelFormat(&format)) &&
           IsEqualGUID(format, GUID_WICPixelFormat32bppBGR) &&
           SUCCEEDED(frame->WritePixels(h, stride, UINT(rows.size()), rows.data())) &&
           SUCCEEDED(frame->Commit()) && SUCCEEDED(encoder->Commit());
}

} // namespace velk2
