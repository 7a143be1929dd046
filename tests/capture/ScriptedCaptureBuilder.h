// Scripted stand-ins for the capture engine's cases no virtual camera shows on demand: a capture
// builder whose video capture pin offers a scripted capability list (every other call goes to the
// media layer's own builder, so the graph still runs on the virtual camera), and an ASF writer
// over a profile the test chooses.
#pragma once

#include "platform/media/DirectShow.h"
#include "platform/media/WindowsMedia.h"

#include <memory>
#include <vector>

struct ScriptedCapability {
    GUID subtype;
    LONG width;
    LONG height;
    REFERENCE_TIME frameTime = 333333; // marks one entry among equal sizes
};

class ScriptedStreamConfig;

// While it lives, CLSID_CaptureGraphBuilder2 makes builders whose video stream config is the script.
class ScopedScriptedCaptureBuilder {
public:
    explicit ScopedScriptedCaptureBuilder(std::vector<ScriptedCapability> capabilities, int capsSize = 128);
    ~ScopedScriptedCaptureBuilder();
    ScopedScriptedCaptureBuilder(const ScopedScriptedCaptureBuilder&) = delete;
    ScopedScriptedCaptureBuilder& operator=(const ScopedScriptedCaptureBuilder&) = delete;

    // Every format given to SetFormat, in order (the format block's picture and frame time).
    const std::vector<ScriptedCapability>& FormatsSet() const;
    // The format GetFormat answers now.
    ScriptedCapability CurrentFormat() const;

private:
    ScriptedStreamConfig* m_config;
};

// An ASF writer that only holds a profile: GetCurrentProfile hands out that very profile, and
// ConfigureFilterUsingProfile is counted.
class ScriptedAsfWriter final : public IConfigAsfWriter2 {
public:
    explicit ScriptedAsfWriter(IWMProfile* profile);
    HRESULT QueryInterface(REFIID iid, void** object) override;
    ULONG AddRef() override { return ++m_references; }
    ULONG Release() override;
    HRESULT ConfigureFilterUsingProfile(IWMProfile* profile) override;
    HRESULT GetCurrentProfile(IWMProfile** profile) override;

    int Configurations() const { return m_configurations; }

private:
    ~ScriptedAsfWriter();
    ULONG m_references = 1;
    IWMProfile* m_profile;
    int m_configurations = 0;
};
