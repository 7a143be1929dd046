#include "album/ImgScrollView.h"

#include "ui/EngineAccess.h"
#include "platform/base/Clock.h"
#include "platform/ui/MessageQueue.h"
#include "platform/ui/Paint.h"
#include "platform/ui/Window.h"

namespace {

constexpr int kBackgroundPicture = 224;
constexpr int kFramePicture = 225;
constexpr int kSizePicture = 226;
constexpr int kVideoPicture = 223;
constexpr UINT kSlidePeriodMs = 50;

// One of the program's PNG resources, or a file, in a new engine image; nullptr when either fails.
// `drawnSize` (0 for none) tells the engine the size the picture is drawn at, so it keeps no more.
EngineImage* LoadPicture(const WString& pathOrUrl, DWORD drawnSize = 0)
{
    EngineImage* image = nullptr;
    if (FAILED(CreateEngineBitmap(&image)) || !image)
        return nullptr;
    if (FAILED(image->ImageLoad(pathOrUrl.c_str(), drawnSize))) {
        image->Release();
        return nullptr;
    }
    return image;
}

EngineImage* LoadResourcePicture(HINSTANCE instance, int number)
{
    return LoadPicture(EngineResourceUrl(instance, number));
}

} // namespace

CImgScrollView::~CImgScrollView()
{
    RemoveAll();
    ReleasePictures();
}

LRESULT CImgScrollView::OnCreate(UINT, WPARAM, LPARAM, BOOL& handled)
{
    LoadPictures();
    handled = FALSE;
    return 0;
}

void CImgScrollView::LoadPictures()
{
    if (m_shared.background || m_shared.frame || m_shared.size)
        return;
    m_shared.background = LoadResourcePicture(m_shared.resources, kBackgroundPicture);
    m_shared.frame = LoadResourcePicture(m_shared.resources, kFramePicture);
    m_shared.size = LoadResourcePicture(m_shared.resources, kSizePicture);
    if (m_shared.size && m_shared.size->ImageWidth() > 0 && m_shared.size->ImageHeight() > 0)
        m_itemSize = {m_shared.size->ImageWidth(), m_shared.size->ImageHeight()};
}

void CImgScrollView::ReleasePictures()
{
    for (EngineImage** image : {&m_shared.background, &m_shared.frame, &m_shared.size}) {
        if (*image)
            (*image)->Release();
        *image = nullptr;
    }
}

int CImgScrollView::GetStripHeight() const
{
    int height = m_shared.background ? m_shared.background->ImageHeight() : 0;
    return height > 0 ? height : kDefaultHeight;
}

void CImgScrollView::DoPaint(HDC dc)
{
    if (!m_shared.background)
        return;
    RECT client;
    GetClientRect(&client);
    m_shared.background->ImageDraw(dc, 0, 0, client.right, client.bottom, 0, 0, m_shared.background->ImageWidth(),
        m_shared.background->ImageHeight(), 0);
}

void CImgScrollView::AddItem(LPCWSTR path, bool isVideo)
{
    if (!IsWindow() || !path)
        return;
    WString file(ToView(path));
    // A photo is kept at the size its entry draws it (a full frame per entry would cost megabytes).
    SIZE drawn = CImgViewItem::PictureSize(m_itemSize);
    EngineImage* picture = isVideo ? LoadResourcePicture(m_shared.resources, kVideoPicture)
                                   : LoadPicture(file, static_cast<DWORD>(MAKELPARAM(drawn.cx, drawn.cy)));
    auto item = std::make_unique<CImgViewItem>(file, isVideo, m_shared, picture);
    UINT_PTR id = GetTickCount();
    item->SetId(id);
    RECT rect {0, CImgViewItem::kSlideStart, m_itemSize.cx, CImgViewItem::kSlideStart + m_itemSize.cy};
    if (!item->Create(m_hWnd, rect, nullptr, WS_CHILD | WS_VISIBLE | WS_CLIPCHILDREN, 0, id))
        return;
    CImgViewItem* added = item.get();
    m_items.insert(m_items.begin(), std::move(item));
    Relayout();
    added->SetTimer(CImgViewItem::kSlideTimer, kSlidePeriodMs);
}

void CImgScrollView::RemoveItem(UINT_PTR id)
{
    for (auto it = m_items.begin(); it != m_items.end(); ++it) {
        // The identifier is a 32-bit tick count; the control identifier reads it back as a signed
        // int, so both sides are compared as 32-bit values.
        if ((*it)->IsWindow() && static_cast<UINT>((*it)->GetDlgCtrlID()) == static_cast<UINT>(id)) {
            m_items.erase(it);
            if (!m_items.empty())
                Relayout();
            break;
        }
    }
    ::PostMessageW(GetParent(), kMessageAlbumItemRemoved, 0, 0);
}

void CImgScrollView::RemoveAll()
{
    m_items.clear();
}

void CImgScrollView::Relayout()
{
    int x = kFirstX;
    for (size_t i = 0; i < m_items.size(); ++i) {
        CImgViewItem& item = *m_items[i];
        if (!item.IsWindow())
            continue;
        item.SetNewest(i == 0);
        item.Invalidate();
        int y = item.HasArrived() ? 0 : CImgViewItem::kSlideStart;
        item.SetWindowPos(nullptr, x, y, m_itemSize.cx, m_itemSize.cy, SWP_NOZORDER | SWP_NOACTIVATE);
        x += m_itemSize.cx + kGap;
    }
}

CImgViewItem* CImgScrollView::GetItem(int position) const
{
    if (position < 0 || position >= GetItemCount())
        return nullptr;
    return m_items[static_cast<size_t>(position)].get();
}

LRESULT CImgScrollView::OnSize(UINT, WPARAM wParam, LPARAM, BOOL& handled)
{
    if (wParam != SIZE_MINIMIZED) {
        for (auto& item : m_items) {
            if (item->IsWindow())
                item->Invalidate();
        }
    }
    handled = FALSE;
    return 0;
}

LRESULT CImgScrollView::OnItemRemoved(UINT, WPARAM, LPARAM lParam, BOOL&)
{
    RemoveItem(static_cast<UINT_PTR>(lParam));
    return 0;
}
