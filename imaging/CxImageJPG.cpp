#include "imaging/CxImageJPG.h"

#include "imaging/CxFile.h"
#include "imaging/JpegErrorTrap.h"
#include "imaging/JpegFileDestination.h"

namespace {

// Everything one compression needs, as plain data: a failure jumps back over libjpeg's frames to
// the recovery point, so nothing on the way may need a destructor.
struct JpegJob {
    jpeg_compress_struct compressor;
    JpegErrorTrap trap;
    JpegFileDestination destination;
};

enum class Samples { Colour, Grey };

// The quality libjpeg is given: the stored value rounded, kept to a byte.
int IntegerQuality(float quality)
{
    if (!(quality > -1.0e6f && quality < 1.0e6f)) // also NaN, which has no integer
        return 0;
    return static_cast<BYTE>(static_cast<int>(quality + 0.5f));
}

void SetParameters(jpeg_compress_struct& compressor, const CxImage& image, Samples samples)
{
    compressor.image_width = image.GetWidth();
    compressor.image_height = image.GetHeight();
    if (samples == Samples::Grey) {
        compressor.input_components = 1;
        compressor.in_color_space = JCS_GRAYSCALE;
    } else {
        // libjpeg-turbo takes the rows in their stored blue-green-red order. The file is the same as
        // from red-green-blue rows, without a pass that swaps every pixel first.
        compressor.input_components = 3;
        compressor.in_color_space = JCS_EXT_BGR;
    }
    jpeg_set_defaults(&compressor);
    jpeg_set_quality(&compressor, IntegerQuality(image.GetJpegQuality()), FALSE);
    if (samples == Samples::Colour) {
        compressor.comp_info[0].h_samp_factor = 2;
        compressor.comp_info[0].v_samp_factor = 2;
        compressor.comp_info[1].h_samp_factor = 1;
        compressor.comp_info[1].v_samp_factor = 1;
        compressor.comp_info[2].h_samp_factor = 1;
        compressor.comp_info[2].v_samp_factor = 1;
    }
    compressor.density_unit = 1;
    compressor.X_density = static_cast<UINT16>(image.GetXDPI());
    compressor.Y_density = static_cast<UINT16>(image.GetYDPI());
}

// The top row of the picture is the last row in memory, so rows are handed over from the end, one
// per call. libjpeg only reads them and stops at the row's last pixel, so the image's own rows go
// in as they are: no copy, and the pad bytes never reach the file.
void WriteImage(JpegJob& job, const CxImage& image, CxFile* stream, Samples samples)
{
    jpeg_compress_struct& compressor = job.compressor;
    jpeg_create_compress(&compressor);
    job.destination.Install(&compressor, stream);
    SetParameters(compressor, image, samples);
    jpeg_start_compress(&compressor, TRUE);

    DWORD memoryRow = image.GetHeight();
    while (compressor.next_scanline < compressor.image_height) {
        --memoryRow;
        JSAMPROW row = image.GetBits(memoryRow);
        jpeg_write_scanlines(&compressor, &row, 1);
    }
    jpeg_finish_compress(&compressor);
    jpeg_destroy_compress(&compressor);
}

bool Compress(JpegJob& job, const CxImage& image, CxFile* stream, Samples samples, char* lastError)
{
    job.compressor.err = job.trap.Install(lastError);
    if (setjmp(job.trap.recovery)) {
        jpeg_destroy_compress(&job.compressor);
        return false;
    }
    WriteImage(job, image, stream, samples);
    return true;
}

} // namespace

CxImageJPG::CxImageJPG() : CxImage(CXIMAGE_FORMAT_JPG) { }

CxImageJPG::~CxImageJPG() = default;

bool CxImageJPG::Encode(CxFile* stream)
{
    if (!stream) {
        SetLastErrorText("null file handler");
        return false;
    }
    if (!IsValid()) {
        SetLastErrorText("null image!!!");
        return false;
    }
    Samples samples = GetPalette() ? Samples::Grey : Samples::Colour;
    if (samples == Samples::Grey && !IsGrayScale()) {
        SetLastErrorText("JPEG can save only RGB or GreyScale images");
        return false;
    }
    JpegJob job {};
    return Compress(job, *this, stream, samples, LastErrorBuffer());
}
