#include "controls/ShellCommandDialogs.h"

#include "controls/OperationProgressDialog.h"
#include "controls/PropertiesDialog.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QPushButton>

namespace {

TShellCommandDialogs::Opener& opener()
{
    static TShellCommandDialogs::Opener open;
    return open;
}

} // namespace

TShellCommandDialogs::TShellCommandDialogs(QWidget* owner) : m_owner(owner), m_questions(owner) {}

void TShellCommandDialogs::SetOpener(Opener open)
{
    opener() = std::move(open);
}

bool TShellCommandDialogs::Confirm(shell::TDeleteConfirmation& question)
{
    QMessageBox box(question.GetKind() == shell::TDeleteConfirmation::Kind::Trash
                        ? QMessageBox::Question
                        : QMessageBox::Warning,
                    question.Title(), question.Text(), QMessageBox::NoButton, m_owner);
    box.setObjectName(QStringLiteral("DeleteConfirmation"));
    QPushButton* accept = box.addButton(question.AcceptText(), QMessageBox::AcceptRole);
    QPushButton* cancel = box.addButton(QStringLiteral("Abbrechen"), QMessageBox::RejectRole);
    accept->setObjectName(QStringLiteral("accept"));
    cancel->setObjectName(QStringLiteral("cancel"));
    box.setDefaultButton(question.AcceptIsDefault() ? accept : cancel);
    box.setEscapeButton(cancel);
    // Nobody agrees before knowing whether folders go with it.
    const auto update = [&] {
        box.setText(question.Text());
        accept->setEnabled(question.KindsKnown());
    };
    update();
    QObject::connect(&question, &shell::TDeleteConfirmation::changed, &box, update);
    box.exec();
    return box.clickedButton() == accept && question.KindsKnown();
}

std::unique_ptr<QObject> TShellCommandDialogs::Watch(fileops::OperationJob& job)
{
    return std::make_unique<TOperationProgressDialog>(job, m_owner);
}

void TShellCommandDialogs::ShowMessage(const QString& title, const QString& text)
{
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, m_owner);
    box.setObjectName(QStringLiteral("CommandMessage"));
    box.exec();
}

bool TShellCommandDialogs::Open(const QUrl& url)
{
    return opener() ? opener()(url) : QDesktopServices::openUrl(url);
}

void TShellCommandDialogs::ShowProperties(const shell::TFileNames& paths)
{
    auto* dialog = new TPropertiesDialog(paths, m_owner);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->show();
}
