// Photos read back by an independent decoder: ImageMagick, run as a child process.
#pragma once

#include <string>

// The picture's size as "640x480", or "not decoded".
std::string DecodedSize(const std::string& jpeg);
// One pixel of the decoded picture as 0xRRGGBB, -1 when it cannot be decoded.
long DecodedPixel(const std::string& jpeg, int x, int y);
// Whether the 0xRRGGBB `pixel` is within `tolerance` of `rgb` in each channel; -1 is near nothing.
bool IsNearRgb(long pixel, long rgb, int tolerance = 50);
// A 640 x 480 photo of the virtual camera, the right way up and in the right colours: red, green,
// white and blue markers at its top left, top right, bottom left and bottom right.
void ExpectCameraPicture(const std::string& jpeg);
