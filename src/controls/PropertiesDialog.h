#pragma once
// The properties of one or more objects: name, type, location, size, and for folders what
// they hold (files and folders, counted on a worker thread while the dialog is already
// shown), the dates, the owner and the permissions; for an object in the trash also where
// it came from and when it was deleted. A window of its own that deletes itself when
// closed; the verbs' dialogs open it.

#include "shell/ShellPaths.h"

#include <QDialog>
#include <atomic>
#include <thread>

class QLabel;
class QFormLayout;

class TPropertiesDialog : public QDialog
{
    Q_OBJECT

public:
    TPropertiesDialog(const shell::TFileNames& paths, QWidget* parent = nullptr);
    ~TPropertiesDialog() override;

    // The shown value of a row by its caption ("Größe", "Inhalt", ...); empty for none.
    QString Value(const QString& caption) const;
    // The sizes have been counted.
    bool Measured() const { return m_measured; }

signals:
    void measured();

private:
    QLabel* addRow(const QString& caption, const QString& value);
    void showTotals(std::int64_t bytes, std::int64_t files, std::int64_t folders, bool complete);

    shell::TFileNames m_paths;
    QFormLayout* m_form = nullptr;
    QLabel* m_size = nullptr;
    QLabel* m_contents = nullptr;
    bool m_measured = false;
    std::atomic_bool m_stop{false};
    std::thread m_worker;
};
