// libFuzzer target: the engine's PNG and JPEG decoders, through an image of the built Facet.so.
// The first two bytes are the size hint (the largest width and height the picture is shown at,
// 0 for none), the next four where and how large it is drawn; the rest is the file.
#include "FacetTestSupport.h"
#include "facet/Image.h"
#include "platform/ui/Gdi.h"
#include "support/FuzzSupport.h"

namespace {

constexpr size_t kControlBytes = 6;
constexpr int kCanvas = 64;
constexpr int kLargestSide = 16384;

HDC Canvas()
{
    static const HDC dc = [] {
        HDC memory = CreateCompatibleDC(nullptr);
        SelectObject(memory, CreateCompatibleBitmap(memory, kCanvas, kCanvas));
        return memory;
    }();
    return dc;
}

int Signed(std::uint8_t byte)
{
    return static_cast<int>(byte) - 128;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < kControlBytes)
        return 0;
    static EngineImage* image = [] {
        EngineImage* made = nullptr;
        fuzz::Check(Facet().createFacetBitmap && Facet().createFacetBitmap(&made) == S_OK && made, "the engine makes an image");
        return made;
    }();
    const int maxWidth = data[0];
    const int maxHeight = data[1];
    const std::string path = fuzz::ScratchFolder() + "/picture";
    fuzz::Check(fuzz::WriteFile(path, fuzz::Text(data + kControlBytes, size - kControlBytes)), "the input file is written");

    HRESULT loaded = image->ImageLoad(Utf8ToWide(path).c_str(), ImageSizeHint(maxWidth, maxHeight));
    int width = image->ImageWidth();
    int height = image->ImageHeight();
    if (loaded != S_OK) {
        fuzz::Check(width == 0 && height == 0, "a picture that did not load is empty");
        return 0;
    }
    fuzz::Check(width > 0 && height > 0 && width <= kLargestSide && height <= kLargestSide, "a loaded picture has a sane size");
    if (maxWidth > 0)
        fuzz::Check(width <= 2 * maxWidth, "a picture is decoded at most twice the width it is shown at");
    if (maxHeight > 0)
        fuzz::Check(height <= 2 * maxHeight, "a picture is decoded at most twice the height it is shown at");

    HRESULT drawn = image->ImageDraw(Canvas(), Signed(data[2]) / 4, Signed(data[3]) / 4, Signed(data[4]), Signed(data[5]),
        Signed(data[2]), Signed(data[3]), -1, -1, 0);
    fuzz::Check(drawn == S_OK || drawn == S_FALSE || drawn == E_INVALIDARG, "drawing answers a known result");
    return 0;
}
