#include "controls/DragDropRules.h"

#include "shell/ShellFolderObject.h"

#include <sys/stat.h>

Qt::DropActions TDragDropRules::CopyModeEffects(TCopyMode mode)
{
    switch (mode) {
    case cmCopy:
        return Qt::CopyAction;
    case cmMove:
        return Qt::MoveAction;
    case cmLink:
        return Qt::LinkAction;
    case cmDefault:
        break;
    }
    return Qt::CopyAction | Qt::MoveAction | Qt::LinkAction;
}

Qt::DropActions TDragDropRules::EffectsOfAttributes(std::uint32_t attributes)
{
    Qt::DropActions effects;
    if (attributes & shell::SFGAO_CANCOPY)
        effects |= Qt::CopyAction;
    if (attributes & shell::SFGAO_CANMOVE)
        effects |= Qt::MoveAction;
    if (attributes & shell::SFGAO_FILESYSTEM)
        effects |= Qt::LinkAction;
    return effects;
}

Qt::DropAction TDragDropRules::ChooseEffect(Qt::DropActions allowed, Qt::KeyboardModifiers keys,
                                            bool sameFileSystem)
{
    const bool ctrl = keys & Qt::ControlModifier;
    const bool shift = keys & Qt::ShiftModifier;
    if (ctrl || shift) {
        const Qt::DropAction asked =
            ctrl && shift ? Qt::LinkAction : (shift ? Qt::MoveAction : Qt::CopyAction);
        return allowed.testFlag(asked) ? asked : Qt::IgnoreAction;
    }
    const Qt::DropAction usual = sameFileSystem ? Qt::MoveAction : Qt::CopyAction;
    if (allowed.testFlag(usual))
        return usual;
    for (const Qt::DropAction effect : {Qt::CopyAction, Qt::MoveAction, Qt::LinkAction}) {
        if (allowed.testFlag(effect))
            return effect;
    }
    return Qt::IgnoreAction;
}

bool TDragDropRules::SameFileSystem(const QByteArray& source, const QByteArray& destination)
{
    struct stat s, d;
    return ::lstat(source.constData(), &s) == 0 && ::stat(destination.constData(), &d) == 0 &&
           s.st_dev == d.st_dev;
}

TDragDropRules::DragContinue TDragDropRules::QueryContinueDrag(bool escapePressed,
                                                               Qt::MouseButtons buttons,
                                                               Qt::MouseButton dragButton)
{
    if (escapePressed || (buttons & ~Qt::MouseButtons(dragButton)))
        return DragContinue::Cancel;
    return buttons.testFlag(dragButton) ? DragContinue::Continue : DragContinue::Drop;
}

TDragDropRules::ScrollStep TDragDropRules::ScrollDirection(const QRect& client, const QPoint& point)
{
    ScrollStep step;
    if (point.x() - client.left() < kScrollZoneX)
        step.dx = -1;
    else if (client.right() - point.x() < kScrollZoneX)
        step.dx = 1;
    if (point.y() - client.top() < kScrollZoneY)
        step.dy = -1;
    else if (client.bottom() - point.y() < kScrollZoneY)
        step.dy = 1;
    return step;
}
