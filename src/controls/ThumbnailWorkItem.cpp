#include "controls/ThumbnailWorkItem.h"

#include "controls/ThumbnailViewer.h"
#include "shell/ShellNavigator.h"

TThumbnailWorkItem::TThumbnailWorkItem(shell::TIdList item, int width, int height, int imageIndex,
                                       IThumbnailViewer* viewer, QObject* receiver)
    : m_width(width), m_height(height), m_imageIndex(imageIndex), m_item(std::move(item)),
      m_viewer(viewer)
{
    SetCompletion(receiver, [this] { Deliver(); });
}

void TThumbnailWorkItem::Execute()
{
    const shell::TIdList item = std::exchange(m_item, {});
    // An item cancelled while it waited in the queue reads nothing.
    if (CheckCancelled())
        return;
    try {
        shell::TShellNavigator navigator;
        navigator.SetAbsoluteObjectIDList(item);
        m_bitmap = navigator.ExtractThumbnail(m_width, m_height);
    } catch (...) {
        m_bitmap = QImage();
    }
}

void TThumbnailWorkItem::Deliver()
{
    // The flag alone: waiting out a pause here would stop the interface thread.
    if (Cancelled() || !m_viewer)
        return;
    m_viewer->SetThumbnailImage(m_bitmap, m_imageIndex);
}
