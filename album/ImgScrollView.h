// The thumbnail strip under the live picture: every photo and video of this run, newest first.
#pragma once

#include "platform/base/Strings.h"
#include "platform/framework/WindowImpl.h"

class CImgScrollView : public CWindowImpl<CImgScrollView> {
public:
    DECLARE_WND_CLASS_EX(u"LumoThumbnailStrip", CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS, COLOR_WINDOW)

    static constexpr int kDefaultHeight = 89;

    BEGIN_MSG_MAP(CImgScrollView)
    END_MSG_MAP()

    // The strip's height: its background picture's, 89 without one.
    int GetStripHeight() const { return kDefaultHeight; }
    // Adds a photo (isPhoto) or a video at the front.
    void AddItem(LPCWSTR path, bool isPhoto);
    int GetItemCount() const { return static_cast<int>(m_paths.size()); }
    void RemoveAll() { m_paths.clear(); }

private:
    std::vector<WString> m_paths;
};
