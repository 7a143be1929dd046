// The one file that speaks to V4L2 directly: a camera's current format, which its caps do not tell.
#include "platform/media/gst/CaptureSupport.h"
#include "platform/media/gst/DeviceCaps.h"

#include <fcntl.h>
#include <linux/videodev2.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

namespace lumo::media {

namespace {

std::optional<PixelFormat> PixelFormatOf(__u32 fourcc)
{
    switch (fourcc) {
    case V4L2_PIX_FMT_YUYV: return PixelFormat::YUY2;
    case V4L2_PIX_FMT_UYVY: return PixelFormat::UYVY;
    case V4L2_PIX_FMT_MJPEG:
    case V4L2_PIX_FMT_JPEG: return PixelFormat::MJPG;
    case V4L2_PIX_FMT_NV12: return PixelFormat::NV12;
    case V4L2_PIX_FMT_YUV420: return PixelFormat::I420;
    case V4L2_PIX_FMT_YVU420: return PixelFormat::YV12;
    case V4L2_PIX_FMT_BGR24:
    case V4L2_PIX_FMT_RGB24: return PixelFormat::RGB24;
    case V4L2_PIX_FMT_BGR32:
    case V4L2_PIX_FMT_XBGR32: return PixelFormat::RGB32;
    default: return std::nullopt;
    }
}

int Control(int fd, unsigned long request, void* argument)
{
    int result;
    do {
        result = ioctl(fd, request, argument);
    } while (result < 0 && errno == EINTR);
    return result;
}

} // namespace

std::optional<VideoCapability> CurrentV4l2Format(const char* node)
{
    if (!node || !*node)
        return std::nullopt;
    // Opening a node does not start it, and another program streaming from it does not stop us
    // from asking.
    int fd = open(node, O_RDWR | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return std::nullopt;
    v4l2_format format {};
    format.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
    std::optional<VideoCapability> current;
    if (Control(fd, VIDIOC_G_FMT, &format) == 0) {
        if (auto pixelFormat = PixelFormatOf(format.fmt.pix.pixelformat)) {
            VideoCapability capability {*pixelFormat, static_cast<int>(format.fmt.pix.width),
                                        static_cast<int>(format.fmt.pix.height), 0};
            v4l2_streamparm parameters {};
            parameters.type = V4L2_BUF_TYPE_VIDEO_CAPTURE;
            if (Control(fd, VIDIOC_G_PARM, &parameters) == 0) {
                const v4l2_fract& perFrame = parameters.parm.capture.timeperframe;
                if (perFrame.numerator > 0 && perFrame.denominator > 0)
                    capability.frameInterval = FrameIntervalOf(static_cast<double>(perFrame.denominator) / perFrame.numerator);
            }
            current = capability;
        }
    }
    close(fd);
    return current;
}

} // namespace lumo::media
