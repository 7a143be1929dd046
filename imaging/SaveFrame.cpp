#include "imaging/SaveFrame.h"

#include "imaging/CxImage.h"

#include <cstdint>

void SaveFrameAsJpeg(const BYTE* pixels, LONG byteCount, UINT width, UINT height, LPCWSTR path)
{
    uint64_t stride = (static_cast<uint64_t>(width) * 3 + 3) / 4 * 4;
    // A frame that does not cover its own size would be read past its end.
    if (byteCount < 0 || static_cast<uint64_t>(byteCount) < stride * height)
        return;
    CxImage image(CXIMAGE_FORMAT_UNKNOWN);
    if (!image.CreateFromPixels(pixels, width, height, 24, static_cast<DWORD>(stride), CxImage::FlipRows::No))
        return;
    image.SaveFile(path, CXIMAGE_FORMAT_JPG);
}

PhotoFrame::PhotoFrame() = default;
PhotoFrame::~PhotoFrame() = default;

BYTE* PhotoFrame::Rows(UINT width, UINT height, LONG* size)
{
    *size = 0;
    bool reusable = m_image && m_image->IsValid() && m_image->GetWidth() == width && m_image->GetHeight() == height;
    if (!reusable) {
        m_image = std::make_unique<CxImage>(CXIMAGE_FORMAT_UNKNOWN);
        if (!m_image->Create(width, height, 24, CXIMAGE_FORMAT_UNKNOWN)) {
            m_image.reset();
            return nullptr;
        }
    }
    *size = static_cast<LONG>(m_image->GetEffWidth() * m_image->GetHeight());
    return m_image->GetBits(0);
}

void PhotoFrame::Save(LPCWSTR path)
{
    if (m_image && m_image->IsValid())
        m_image->SaveFile(path, CXIMAGE_FORMAT_JPG);
}
