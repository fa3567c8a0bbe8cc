// Pictures decoded and PNG files encoded through the Windows Imaging
// Component. Only those two steps are the system's: scaling is portable code
// (changes/picture_icon.*), so icons look the same wherever they are made.
#include <windows.h>

// The component's class and format identifiers are defined here, as
// selectany data, rather than taken from an import library: its DLL is
// reached through COM only.
#include <initguid.h>
#include <wincodec.h>

#include <new>

#include "platform/win32/unique.h"
#include "platform/win32/win32_os.h"

namespace tarrow::win32 {
namespace {

template <typename T>
void ReleaseCom(T* object) {
  object->Release();
}
template <typename T>
using ComPtr = Unique<T*, &ReleaseCom<T>>;

// COM for the calls of one function, on whichever thread asks. A thread
// already in another apartment keeps it: the component works in either.
class ComScope {
 public:
  ComScope() : initialized_(SUCCEEDED(::CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {}
  ~ComScope() {
    if (initialized_) ::CoUninitialize();
  }
  ComScope(const ComScope&) = delete;
  ComScope& operator=(const ComScope&) = delete;

 private:
  bool initialized_;
};

ComPtr<IWICImagingFactory> Factory() {
  ComPtr<IWICImagingFactory> factory;
  ::CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER, IID_IWICImagingFactory,
                     reinterpret_cast<void**>(factory.put()));
  return factory;
}

// Blue and red change places: the component's 32-bit format in both
// directions is BGRA.
void SwapRedAndBlue(std::vector<std::uint8_t>& pixels) {
  for (std::size_t i = 0; i + 3 < pixels.size(); i += 4) std::swap(pixels[i], pixels[i + 2]);
}

bool IsPictureFormat(const GUID& format) {
  return IsEqualGUID(format, GUID_ContainerFormatPng) || IsEqualGUID(format, GUID_ContainerFormatJpeg) ||
         IsEqualGUID(format, GUID_ContainerFormatBmp) || IsEqualGUID(format, GUID_ContainerFormatGif);
}

}  // namespace

DecodedPicture Win32Shell::DecodePicture(std::string_view bytes, int maxSide) {
  DecodedPicture decoded;
  if (bytes.empty() || bytes.size() > MAXDWORD) return decoded;
  const ComScope com;
  const ComPtr<IWICImagingFactory> factory = Factory();
  ComPtr<IWICStream> stream;
  if (!factory || FAILED(factory.get()->CreateStream(stream.put())) ||
      FAILED(stream.get()->InitializeFromMemory(reinterpret_cast<BYTE*>(const_cast<char*>(bytes.data())),
                                                static_cast<DWORD>(bytes.size()))))
    return decoded;
  ComPtr<IWICBitmapDecoder> decoder;
  GUID format{};
  ComPtr<IWICBitmapFrameDecode> frame;
  UINT width = 0, height = 0;
  if (FAILED(factory.get()->CreateDecoderFromStream(stream.get(), nullptr, WICDecodeMetadataCacheOnDemand,
                                                    decoder.put())) ||
      FAILED(decoder.get()->GetContainerFormat(&format)) || !IsPictureFormat(format) ||
      FAILED(decoder.get()->GetFrame(0, frame.put())) || FAILED(frame.get()->GetSize(&width, &height)) ||
      width == 0 || height == 0 || width > MAXINT || height > MAXINT)
    return decoded;
  decoded.width = static_cast<int>(width);
  decoded.height = static_cast<int>(height);
  if (decoded.width > maxSide || decoded.height > maxSide) return decoded;
  ComPtr<IWICFormatConverter> converter;
  if (FAILED(factory.get()->CreateFormatConverter(converter.put())) ||
      FAILED(converter.get()->Initialize(frame.get(), GUID_WICPixelFormat32bppBGRA, WICBitmapDitherTypeNone,
                                         nullptr, 0.0, WICBitmapPaletteTypeCustom)))
    return decoded;
  const std::size_t stride = std::size_t{width} * 4;
  const std::size_t size = stride * height;
  if (size > UINT_MAX) return decoded;
  RgbaImage image{decoded.width, decoded.height, {}};
  try {
    image.pixels.resize(size);
  } catch (const std::bad_alloc&) {
    return decoded;
  }
  if (FAILED(converter.get()->CopyPixels(nullptr, static_cast<UINT>(stride), static_cast<UINT>(size),
                                         image.pixels.data())))
    return decoded;
  SwapRedAndBlue(image.pixels);
  decoded.image = std::move(image);
  return decoded;
}

std::optional<std::string> Win32Shell::EncodePng(const RgbaImage& image) {
  const std::size_t stride = static_cast<std::size_t>(image.width) * 4;
  if (image.width <= 0 || image.height <= 0 || image.pixels.size() != stride * image.height ||
      image.pixels.size() > UINT_MAX)
    return std::nullopt;
  std::vector<std::uint8_t> bgra = image.pixels;
  SwapRedAndBlue(bgra);
  const ComScope com;
  const ComPtr<IWICImagingFactory> factory = Factory();
  ComPtr<IStream> stream;
  ComPtr<IWICBitmapEncoder> encoder;
  ComPtr<IWICBitmapFrameEncode> frame;
  ComPtr<IPropertyBag2> options;
  WICPixelFormatGUID format = GUID_WICPixelFormat32bppBGRA;
  if (!factory || FAILED(::CreateStreamOnHGlobal(nullptr, TRUE, stream.put())) ||
      FAILED(factory.get()->CreateEncoder(GUID_ContainerFormatPng, nullptr, encoder.put())) ||
      FAILED(encoder.get()->Initialize(stream.get(), WICBitmapEncoderNoCache)) ||
      FAILED(encoder.get()->CreateNewFrame(frame.put(), options.put())) ||
      FAILED(frame.get()->Initialize(options.get())) ||
      FAILED(frame.get()->SetSize(static_cast<UINT>(image.width), static_cast<UINT>(image.height))) ||
      FAILED(frame.get()->SetPixelFormat(&format)) || !IsEqualGUID(format, GUID_WICPixelFormat32bppBGRA) ||
      FAILED(frame.get()->WritePixels(static_cast<UINT>(image.height), static_cast<UINT>(stride),
                                      static_cast<UINT>(bgra.size()), bgra.data())) ||
      FAILED(frame.get()->Commit()) || FAILED(encoder.get()->Commit()))
    return std::nullopt;
  ULARGE_INTEGER end{};
  HGLOBAL memory = nullptr;
  if (FAILED(stream.get()->Seek(LARGE_INTEGER{}, STREAM_SEEK_CUR, &end)) ||
      FAILED(::GetHGlobalFromStream(stream.get(), &memory)) || ::GlobalSize(memory) < end.QuadPart)
    return std::nullopt;
  const auto* data = static_cast<const char*>(::GlobalLock(memory));
  if (!data) return std::nullopt;
  std::string png(data, static_cast<std::size_t>(end.QuadPart));
  ::GlobalUnlock(memory);
  return png;
}

}  // namespace tarrow::win32
