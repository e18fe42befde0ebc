#include "controls/OperationQuestions.h"

#include "shell/ShellFolderObject.h"

#include <QCheckBox>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>

namespace {

QString quoted(const QByteArray& path)
{
    return QStringLiteral("„%1“").arg(QFile::decodeName(path));
}

QString describe(bool folder, std::int64_t size, const QDateTime& modified)
{
    const QString date = modified.toString(QStringLiteral("dd.MM.yyyy HH:mm"));
    if (folder)
        return QStringLiteral("Ordner, geändert am %1").arg(date);
    return QStringLiteral("%1, geändert am %2").arg(shell::FileSizeText(size), date);
}

// Runs a box with three answers and the "Für alle" check box; the index of the answer.
int askThree(QWidget* parent, QMessageBox::Icon icon, const QString& title, const QString& text,
             const QString& first, bool& forAll)
{
    QMessageBox box(icon, title, text, QMessageBox::NoButton, parent);
    QPushButton* a = box.addButton(first, QMessageBox::AcceptRole);
    QPushButton* b = box.addButton(QStringLiteral("Überspringen"), QMessageBox::NoRole);
    QPushButton* cancel = box.addButton(QStringLiteral("Abbrechen"), QMessageBox::RejectRole);
    a->setObjectName(QStringLiteral("first"));
    b->setObjectName(QStringLiteral("skip"));
    cancel->setObjectName(QStringLiteral("cancel"));
    box.setDefaultButton(b);
    box.setEscapeButton(cancel);
    auto* all = new QCheckBox(QStringLiteral("Für alle"), &box);
    all->setObjectName(QStringLiteral("forAll"));
    box.setCheckBox(all);
    box.exec();
    forAll = all->isChecked();
    if (box.clickedButton() == a)
        return 0;
    if (box.clickedButton() == b)
        return 1;
    return 2;
}

} // namespace

QString TOperationQuestions::conflictText(const fileops::ConflictQuestion& q)
{
    return QStringLiteral("Am Ziel gibt es bereits %1.\n\nVorhanden: %2\nNeu: %3\n\n"
                          "Soll das vorhandene Objekt ersetzt werden?")
        .arg(quoted(q.target), describe(q.targetIsFolder, q.targetSize, q.targetModified),
             describe(q.sourceIsFolder, q.sourceSize, q.sourceModified));
}

QString TOperationQuestions::deleteForGoodText(const fileops::DeleteForGoodQuestion& q)
{
    return QStringLiteral("%1 kann nicht in den Papierkorb verschoben werden.\n\n%2\n\n"
                          "Soll es stattdessen endgültig gelöscht werden? Das lässt sich nicht "
                          "rückgängig machen.")
        .arg(quoted(q.path), q.reason);
}

fileops::ConflictAnswer TOperationQuestions::askConflict(const fileops::ConflictQuestion& q)
{
    bool forAll = false;
    const int choice = askThree(m_parent, QMessageBox::Question, QStringLiteral("Objekt ersetzen"),
                                conflictText(q), QStringLiteral("Ersetzen"), forAll);
    static const fileops::ConflictAnswer::Choice kChoices[] = {fileops::ConflictAnswer::Replace,
                                                               fileops::ConflictAnswer::Skip,
                                                               fileops::ConflictAnswer::Cancel};
    return {kChoices[choice], forAll};
}

fileops::DeleteForGoodAnswer
TOperationQuestions::askDeleteForGood(const fileops::DeleteForGoodQuestion& q)
{
    bool forAll = false;
    const int choice = askThree(m_parent, QMessageBox::Warning, QStringLiteral("Endgültig löschen"),
                                deleteForGoodText(q), QStringLiteral("Endgültig löschen"), forAll);
    static const fileops::DeleteForGoodAnswer::Choice kChoices[] = {
        fileops::DeleteForGoodAnswer::Delete, fileops::DeleteForGoodAnswer::Skip,
        fileops::DeleteForGoodAnswer::Cancel};
    return {kChoices[choice], forAll};
}
