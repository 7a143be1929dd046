// The thumbnail strip under the live picture: every photo and video of this run, newest first at
// the left. It keeps the album's entries and lays them out; it never scrolls.
#pragma once

#include "album/ImgViewItem.h"

#include <memory>
#include <vector>

class CImgScrollView : public CWindowImpl<CImgScrollView>, public CDoubleBufferImpl<CImgScrollView> {
public:
    DECLARE_WND_CLASS_EX(u"LumoThumbnailStrip", CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS, COLOR_WINDOW)

    static constexpr int kDefaultHeight = 89;
    static constexpr int kFirstX = 12;
    static constexpr int kGap = 14;

    CImgScrollView() = default;
    ~CImgScrollView() override;
    CImgScrollView(const CImgScrollView&) = delete;
    CImgScrollView& operator=(const CImgScrollView&) = delete;

    BEGIN_MSG_MAP(CImgScrollView)
        MESSAGE_HANDLER(WM_CREATE, OnCreate)
        MESSAGE_HANDLER(WM_SIZE, OnSize)
        MESSAGE_HANDLER(kMessageAlbumItemRemoved, OnItemRemoved)
        CHAIN_MSG_MAP(CDoubleBufferImpl<CImgScrollView>)
    END_MSG_MAP()

    void DoPaint(HDC dc);

    // The module whose resources hold the strip's pictures, menu and texts; set before Create.
    void SetResourceInstance(HINSTANCE instance) { m_shared.resources = instance; }
    // The strip's height: its background picture's, 89 without one.
    int GetStripHeight() const;
    // An entry's size: the size picture's, 80 x 60 without one.
    SIZE GetItemSize() const { return m_itemSize; }
    // Adds a photo or a video (`isVideo`) at the front and starts its slide-in.
    void AddItem(LPCWSTR path, bool isVideo);
    // Removes the first entry from the front with that identifier; tells the parent in any case.
    void RemoveItem(UINT_PTR id);
    void RemoveAll();
    void Relayout();

    int GetItemCount() const { return static_cast<int>(m_items.size()); }
    // The entry at `position` (0 is the newest), or nullptr.
    CImgViewItem* GetItem(int position) const;

private:
    LRESULT OnCreate(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
    LRESULT OnSize(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
    LRESULT OnItemRemoved(UINT message, WPARAM wParam, LPARAM lParam, BOOL& handled);
    void LoadPictures();
    void ReleasePictures();

    StripShared m_shared;
    SIZE m_itemSize {80, 60};
    std::vector<std::unique_ptr<CImgViewItem>> m_items;
};
