// The ASF writer: a WMV video stream and a WMA audio stream in one ASF file, set up by a Windows
// Media profile that can be edited (bit rate, picture size, stream removal) before the graph runs.
#pragma once

#include "platform/media/WindowsMedia.h"
#include "platform/media/graph/Filter.h"

#include <vector>

namespace lumo::media {

// One stream of a profile.
struct ProfileStream {
    WORD number = 0;
    DWORD bitRate = 0;
    MediaType type; // WMMEDIATYPE_Video with a VIDEOINFOHEADER, or WMMEDIATYPE_Audio with a WAVEFORMATEX
};

// The profile the writer starts with: stream 1 WMA audio, stream 2 WMV video.
std::vector<ProfileStream> DefaultProfileStreams();
// A profile object over a copy of the streams.
HRESULT CreateProfile(const std::vector<ProfileStream>& streams, IWMProfile** profile);
// The streams of a profile the layer made; false for a foreign one.
bool ProfileStreams(IWMProfile* profile, std::vector<ProfileStream>* streams);

class AsfWriter final : public Filter, public IFileSinkFilter, public IConfigAsfWriter2 {
public:
    AsfWriter();

    HRESULT QueryInterface(REFIID iid, void** object) override { return Filter::QueryInterface(iid, object); }
    ULONG AddRef() override { return Filter::AddRef(); }
    ULONG Release() override { return Filter::Release(); }

    HRESULT SetFileName(LPCOLESTR fileName, const AM_MEDIA_TYPE* type) override;
    HRESULT GetCurFile(LPOLESTR* fileName, AM_MEDIA_TYPE* type) override;
    HRESULT ConfigureFilterUsingProfile(IWMProfile* profile) override;
    HRESULT GetCurrentProfile(IWMProfile** profile) override;

    GstElement* CreateElement(const RunContext& context) override;
    void FinishStreaming(GstElement* element) override;

protected:
    void* FindInterface(REFIID iid) override;

private:
    ~AsfWriter() override;
    void MakePins();

    WString m_fileName;
    std::vector<ProfileStream> m_streams;
};

} // namespace lumo::media
