#pragma once
// TFolderReading goes on with a pass over a folder that the contents list began, on a
// thread of its own, so that a folder of a million entries (or one on a mount that
// hangs) never holds the window: the items it makes wait in a queue until the list takes
// them, and at the end it gives their order by the list's sort column. The list owns
// the reading; destroying it cancels the pass, and whatever was not taken is dropped.

#include "controls/WideListItem.h"
#include "shell/IdList.h"

#include <QString>
#include <functional>
#include <memory>
#include <vector>

class QObject;

namespace shell {
class EnumIDList;
}

class TFolderReading
{
public:
    using Items = std::vector<std::unique_ptr<TWideListItem>>;

    // What the list reads with: the settings of its navigator and its filter as they are
    // when the pass begins, and the items it has listed from the pass already.
    struct Request
    {
        shell::TIdList folder; // absolute
        QString filter;
        bool fileSystemOnly = false;
        unsigned short options = 0; // TShellList's option word
        bool showFolders = true;
        std::vector<shell::TIdList> listed; // in the order they were read
        int orderColumn = -1;               // the namespace column to order by; -1: none
        bool descending = false;
    };

    // What waits to be taken.
    struct Batch
    {
        Items items;
        bool finished = false;
        // Once finished: every item of the pass (the listed ones first) in reading order,
        // and their indexes in the order of the sort column (empty without one).
        std::vector<shell::TIdList> read;
        std::vector<int> order;
    };

    // Starts the thread, which goes on with `pass` (taken from the list's navigator);
    // `ready` runs on `receiver`'s thread when items or the end wait to be taken. Null
    // when no thread can be started; the pass is then lost with it.
    static std::unique_ptr<TFolderReading> start(QObject* receiver, Request request,
                                                 std::unique_ptr<shell::EnumIDList> pass,
                                                 std::function<void()> ready);
    ~TFolderReading();
    TFolderReading(const TFolderReading&) = delete;
    TFolderReading& operator=(const TFolderReading&) = delete;

    // Takes what was read since the last call.
    Batch take();

private:
    struct Link;
    explicit TFolderReading(std::shared_ptr<Link> link);
    static void hand(const std::shared_ptr<Link>& link, Items& items, Batch* last);
    static void readRest(const std::shared_ptr<Link>& link, Request request,
                         std::unique_ptr<shell::EnumIDList> pass);
    std::shared_ptr<Link> m_link; // shared with the thread
};
