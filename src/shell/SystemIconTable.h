#pragma once
// The process-wide table of icons that icon indexes address: one index per distinct icon,
// handed out in the order icons are first asked for and never reused. Each entry is an
// icon of the theme or, where the theme has none, a picture drawn here; images are
// rendered on first use at 16 and 32 pixels. Any thread may ask for an index; images
// need the GUI application.

#include <QHash>
#include <QImage>
#include <QList>
#include <QMutex>
#include <QString>
#include <QStringList>

namespace shell {

class SystemIconTable
{
public:
    static SystemIconTable& instance();

    // The index of the first of `names` that the theme has; a drawn folder or file
    // picture when it has none of them. -1 for no names.
    int indexFor(const QStringList& names);
    int count() const;
    // The icon at `index`, `pixels` square; a null image for an unknown index.
    QImage image(int index, int pixels) const;
    // The theme name of an entry, or "fallback:..." for a drawn one.
    QString name(int index) const;

private:
    SystemIconTable() = default;
    int addEntry(const QString& name);

    struct Entry
    {
        QString name;
        mutable QImage small;
        mutable QImage large;
    };
    mutable QMutex m_mutex;
    QHash<QString, int> m_byKey;  // names joined -> index
    QHash<QString, int> m_byName; // resolved name -> index
    QList<Entry> m_entries;
};

} // namespace shell
