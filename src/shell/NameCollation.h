#pragma once
// Names in the order of the user's language: blind to case, digits by their value
// ("Datei 9" before "Datei 10"), as the lists and the namespace sort them. One collator
// per thread; for sorting many names each gets a sort key once, and the keys compare as
// plain byte strings in the same order as the names.

#include <QStringView>
#include <string>

struct UCollator;

namespace shell {

class NameCollation
{
public:
    // The collation of this thread, for the default locale as it was on first use.
    static const NameCollation& forThisThread();
    ~NameCollation();
    NameCollation(const NameCollation&) = delete;
    NameCollation& operator=(const NameCollation&) = delete;

    // -1, 0 or 1.
    int compare(QStringView a, QStringView b) const;
    // Appends the sort key of `text`, a zero-terminated byte string, to `keys`.
    void appendKey(QStringView text, std::string& keys) const;

private:
    NameCollation();
    UCollator* m_collator = nullptr;
};

} // namespace shell
