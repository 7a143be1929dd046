#include "album/ImgScrollView.h"

void CImgScrollView::AddItem(LPCWSTR path, bool)
{
    // FIXME: the thumbnails, their slide-in and their actions come with the album strip; until then
    // the strip only keeps the list of this run's files.
    m_paths.insert(m_paths.begin(), WString(ToView(path)));
}
