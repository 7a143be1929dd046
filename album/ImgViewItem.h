// One entry of the thumbnail strip: a photo or a video of this run, drawn as a small print that slides
// down into place. A click opens the file, the red "×" that hovering shows deletes it, and the right
// button offers delete and open-folder.
#pragma once

#include "platform/base/Strings.h"
#include "platform/framework/DoubleBuffer.h"
#include "platform/framework/WindowImpl.h"
#include "ui/Engine.h"

#include <algorithm>

// Posted (never sent): by an entry to the strip with the entry's identifier, "remove me"; by the
// strip to its parent with 0, "an entry was removed".
inline constexpr UINT kMessageAlbumItemRemoved = WM_USER + 100;

// What every entry shares with the strip: the module of the program's resources, and the pictures,
// each held with a reference of its own.
struct StripShared {
    HINSTANCE resources = nullptr;
    EngineImage* background = nullptr; // the strip's ground
    EngineImage* frame = nullptr;      // the print around a photo
    EngineImage* size = nullptr;       // sets the entry's size
};

class CImgViewItem : public CWindowImpl<CImgViewItem>, public CDoubleBufferImpl<CImgViewItem> {
public:
    DECLARE_WND_CLASS_EX(u"LumoAlbumEntry", CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS, COLOR_WINDOW)

    // Actions on the entry.
    enum Action { kOpen = 1, kOpenFolder = 2, kDelete = 3 };
    static constexpr UINT_PTR kSlideTimer = 256;
    static constexpr int kSlideStart = -70;

    // `picture`: a photo's own picture or a video's placeholder, taken over (may be nullptr).
    CImgViewItem(WString path, bool isVideo, const StripShared& shared, EngineImage* picture);
    ~CImgViewItem() override;
    CImgViewItem(const CImgViewItem&) = delete;
    CImgViewItem& operator=(const CImgViewItem&) = delete;

    BEGIN_MSG_MAP(CImgViewItem)
        MESSAGE_HANDLER(WM_SETCURSOR, OnSetCursor)
        MESSAGE_HANDLER(WM_MOUSEMOVE, OnMouseMove)
        MESSAGE_HANDLER(WM_MOUSELEAVE, OnMouseLeave)
        MESSAGE_HANDLER(WM_LBUTTONUP, OnLeftButtonUp)
        MESSAGE_HANDLER(WM_RBUTTONUP, OnRightButtonUp)
        MESSAGE_HANDLER(WM_TIMER, OnTimer)
        CHAIN_MSG_MAP(CDoubleBufferImpl<CImgViewItem>)
    END_MSG_MAP()

    void DoPaint(HDC dc);
    void ItemAction(int action);
    // Where a photo's own picture is drawn in an entry of `entry` size: 5 pixels in at each side, 20
    // pixels shorter than the entry.
    static SIZE PictureSize(SIZE entry) { return {std::max<LONG>(entry.cx - 10, 1), std::max<LONG>(entry.cy - 20, 1)}; }

    const WString& GetPath() const { return m_path; }
    bool IsVideo() const { return m_isVideo; }
    bool IsHovered() const { return m_hovered; }
    bool IsNewest() const { return m_newest; }
    void SetNewest(bool newest) { m_newest = newest; }
    bool HasArrived() const { return m_arrived; }
    // The size of the picture the entry keeps (0 x 0 without one).
    SIZE GetPictureSize() const
    {
        return m_picture ? SIZE {m_picture->ImageWidth(), m_picture->ImageHeight()} : SIZE {0, 0};
    }
    // The identifier the strip knows the entry by: its window's control identifier.
    UINT_PTR GetId() const { return m_id; }
    void SetId(UINT_PTR id) { m_id = id; }

private:
    LRESULT OnSetCursor(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
    LRESULT OnMouseMove(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
    LRESULT OnMouseLeave(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
    LRESULT OnLeftButtonUp(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
    LRESULT OnRightButtonUp(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
    LRESULT OnTimer(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
    void RemoveFromStrip();

    WString m_path;
    bool m_isVideo;
    StripShared m_shared;
    EngineImage* m_picture;
    HFONT m_font = nullptr;
    UINT_PTR m_id = 0;
    bool m_hovered = false;
    bool m_newest = false;
    bool m_arrived = false;
};
