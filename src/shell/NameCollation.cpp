#include "shell/NameCollation.h"

#include "platform/InterfaceLocale.h"

#include <unicode/ucol.h>

namespace shell {

NameCollation::NameCollation()
{
    UErrorCode status = U_ZERO_ERROR;
    m_collator =
        ucol_open(platform::ConventionsLocale().bcp47Name().toLatin1().constData(), &status);
    if (U_FAILURE(status) || !m_collator) {
        status = U_ZERO_ERROR;
        m_collator = ucol_open("", &status); // the root order
    }
    if (!m_collator)
        return;
    // Secondary strength: letters and accents count, their case does not.
    ucol_setAttribute(m_collator, UCOL_STRENGTH, UCOL_SECONDARY, &status);
    ucol_setAttribute(m_collator, UCOL_NUMERIC_COLLATION, UCOL_ON, &status);
}

NameCollation::~NameCollation()
{
    if (m_collator)
        ucol_close(m_collator);
}

const NameCollation& NameCollation::forThisThread()
{
    thread_local const NameCollation collation;
    return collation;
}

int NameCollation::compare(QStringView a, QStringView b) const
{
    if (!m_collator)
        return a.compare(b, Qt::CaseInsensitive) < 0 ? -1 : (a == b ? 0 : 1);
    const UCollationResult r =
        ucol_strcoll(m_collator, reinterpret_cast<const UChar*>(a.utf16()), int32_t(a.size()),
                     reinterpret_cast<const UChar*>(b.utf16()), int32_t(b.size()));
    return r == UCOL_LESS ? -1 : (r == UCOL_GREATER ? 1 : 0);
}

void NameCollation::appendKey(QStringView text, std::string& keys) const
{
    if (!m_collator) {
        keys += text.toString().toCaseFolded().toStdString();
        keys += '\0';
        return;
    }
    const auto* chars = reinterpret_cast<const UChar*>(text.utf16());
    const std::size_t at = keys.size();
    keys.resize(at + std::size_t(text.size()) * 2 + 16);
    int32_t n =
        ucol_getSortKey(m_collator, chars, int32_t(text.size()),
                        reinterpret_cast<uint8_t*>(keys.data() + at), int32_t(keys.size() - at));
    if (n > int32_t(keys.size() - at)) { // the first guess was too short
        keys.resize(at + std::size_t(n));
        n = ucol_getSortKey(m_collator, chars, int32_t(text.size()),
                            reinterpret_cast<uint8_t*>(keys.data() + at), n);
    }
    keys.resize(at + std::size_t(n)); // n counts the terminating zero
}

} // namespace shell
