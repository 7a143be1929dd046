// The JPEG encoder: made for one encode, borrowing the image it writes.
#pragma once

#include "imaging/CxImage.h"

#include <vector>

class CxImageJPG : public CxImage {
public:
    CxImageJPG();
    ~CxImageJPG() override;

    // Writes a baseline JFIF JPEG of the image to `stream`: 4:2:0 for colour, the image's quality
    // and its resolution as the density. False with the reason in the last-error text.
    bool Encode(CxFile* stream);

private:
    // EXIF data of a decoded picture. Nothing is decoded here, so no EXIF segment is written.
    std::vector<BYTE> m_exif;
};
