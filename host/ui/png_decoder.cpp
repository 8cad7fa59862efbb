#include "ui/png_decoder.h"

#include <wincodec.h>

namespace {

// Holds one COM reference and gives it back when it goes out of scope.
template <class T>
class ComRef {
  public:
    ComRef() = default;
    ComRef(const ComRef&) = delete;
    ComRef& operator=(const ComRef&) = delete;
    ~ComRef() {
        if (p_) p_->Release();
    }
    T** put() { return &p_; }
    T* operator->() const { return p_; }
    T* get() const { return p_; }

  private:
    T* p_ = nullptr;
};

HBITMAP decodeWithWic(const void* data, std::size_t size, SIZE& imageSize) {
    ComRef<IWICImagingFactory> factory;
    ComRef<IWICStream> stream;
    ComRef<IWICBitmapDecoder> decoder;
    ComRef<IWICBitmapFrameDecode> frame;
    ComRef<IWICFormatConverter> converter;
    UINT width = 0;
    UINT height = 0;
    if (FAILED(CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                IID_IWICImagingFactory, reinterpret_cast<void**>(factory.put()))) ||
        FAILED(factory->CreateStream(stream.put())) ||
        FAILED(stream->InitializeFromMemory(static_cast<BYTE*>(const_cast<void*>(data)),
                                            static_cast<DWORD>(size))) ||
        FAILED(factory->CreateDecoderFromStream(stream.get(), nullptr,
                                                WICDecodeMetadataCacheOnDemand, decoder.put())) ||
        FAILED(decoder->GetFrame(0, frame.put())) ||
        FAILED(factory->CreateFormatConverter(converter.put())) ||
        FAILED(converter->Initialize(frame.get(), GUID_WICPixelFormat32bppPBGRA,
                                     WICBitmapDitherTypeNone, nullptr, 0.0,
                                     WICBitmapPaletteTypeCustom)) ||
        FAILED(converter->GetSize(&width, &height))) {
        return nullptr;
    }

    BITMAPINFO info{};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = static_cast<LONG>(width);
    info.bmiHeader.biHeight = -static_cast<LONG>(height);  // top-down, like WIC's rows
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    HBITMAP bitmap = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    if (!bitmap) return nullptr;
    UINT stride = width * 4;
    if (FAILED(converter->CopyPixels(nullptr, stride, stride * height, static_cast<BYTE*>(bits)))) {
        DeleteObject(bitmap);
        return nullptr;
    }
    imageSize = {static_cast<LONG>(width), static_cast<LONG>(height)};
    return bitmap;
}

}  // namespace

HBITMAP decodePng(const void* data, std::size_t size, SIZE& imageSize) {
    // WIC is COM; the host's thread may not have entered an apartment yet.
    HRESULT com = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    HBITMAP bitmap = decodeWithWic(data, size, imageSize);
    if (SUCCEEDED(com)) CoUninitialize();
    return bitmap;
}
