#pragma once
// The dialogs behind the verbs of the context menu: the German question before deleting
// (its text grows as the sizes are measured, and agreeing waits until it is known whether
// folders are among the objects), the questions and the progress of a running operation,
// messages about what could not be done, opening with the desktop's program, and the
// properties dialog. The contents list owns one and hands it to its navigator.

#include "controls/OperationQuestions.h"
#include "shell/ShellCommandHost.h"

#include <QPointer>
#include <functional>

class QWidget;

class TShellCommandDialogs : public shell::TShellCommandHost
{
public:
    explicit TShellCommandDialogs(QWidget* owner);

    bool Confirm(shell::TDeleteConfirmation& question) override;
    shell::TDeleteConfirmation::KnownFolderSize KnownFolderSizes() const override
    {
        return m_known;
    }
    void SetKnownFolderSizes(shell::TDeleteConfirmation::KnownFolderSize known)
    {
        m_known = std::move(known);
    }
    fileops::OperationHost* Questions() override { return &m_questions; }
    std::unique_ptr<QObject> Watch(fileops::OperationJob& job) override;
    void ShowMessage(const QString& title, const QString& text) override;
    bool Open(const QUrl& url) override;
    void ShowProperties(const shell::TFileNames& paths) override;

    // A seam for tests: how URLs are opened (QDesktopServices::openUrl by default).
    using Opener = std::function<bool(const QUrl& url)>;
    static void SetOpener(Opener opener);

private:
    QPointer<QWidget> m_owner;
    TOperationQuestions m_questions;
    shell::TDeleteConfirmation::KnownFolderSize m_known;
};
