#pragma once
// IShellControl is what a shell control (the folder contents list) offers to a
// TShellLink, so that coupled controls follow each other. A control registers with at
// most one link and unregisters itself before it goes away.

#include "shell/IdList.h"

namespace shell {

class TShellLink;

class IShellControl
{
public:
    virtual ~IShellControl() = default;
    virtual void SetShellLink(TShellLink* link) = 0;
    virtual TShellLink* ShellLink() const = 0;
    virtual void BrowseToIDList(const TIdList& list) = 0;
    virtual void BrowseAndSelect(const TIdList& folderList, const TIdList& itemList) = 0;
    virtual void SelectAll() = 0;
    virtual void FullRefresh() = 0;
    virtual void IncrementalRefresh() = 0;
    virtual void GoUp() = 0;
};

} // namespace shell
