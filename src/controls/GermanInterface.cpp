#include "controls/GermanInterface.h"

#include <QCoreApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QPointer>
#include <QTranslator>

#include <cstring>
#include <memory>

namespace {

// The names QKeySequence writes for keys and modifiers. Qt's German translation leaves
// some of them English ("Alt+Return"); German keyboards and menus say these.
class GermanKeyNames : public QTranslator
{
public:
    using QTranslator::QTranslator;

    bool isEmpty() const override { return false; }

    QString translate(const char* context, const char* sourceText, const char*, int) const override
    {
        if (!context || !sourceText || std::strcmp(context, "QShortcut") != 0)
            return {};
        static const struct
        {
            const char* english;
            const char16_t* german;
        } names[] = {
            {"Ctrl", u"Strg"},
            {"Shift", u"Umschalt"},
            {"Alt", u"Alt"},
            {"Return", u"Eingabe"},
            {"Enter", u"Enter"},
            {"Del", u"Entf"},
            {"Ins", u"Einfg"},
            {"Backspace", u"Rücktaste"},
            {"Space", u"Leertaste"},
            {"Esc", u"Esc"},
            {"Tab", u"Tab"},
            {"Home", u"Pos1"},
            {"End", u"Ende"},
            {"PgUp", u"Bild aufwärts"},
            {"PgDown", u"Bild abwärts"},
            {"Left", u"Links"},
            {"Right", u"Rechts"},
            {"Up", u"Hoch"},
            {"Down", u"Runter"},
            {"Menu", u"Menü"},
            {"Print", u"Druck"},
            {"F%1", u"F%1"},
        };
        for (const auto& name : names) {
            if (std::strcmp(sourceText, name.english) == 0)
                return QString::fromUtf16(name.german);
        }
        return {};
    }
};

} // namespace

bool InstallGermanTranslations(QCoreApplication& app)
{
    static QPointer<QTranslator> qtTexts;
    static QPointer<QTranslator> keyNames;
    bool added = false;
    if (!qtTexts) {
        auto translator = std::make_unique<QTranslator>(&app);
        if (translator->load(QLocale(QLocale::German, QLocale::Germany), QStringLiteral("qtbase"),
                             QStringLiteral("_"),
                             QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
            QCoreApplication::installTranslator(translator.get());
            qtTexts = translator.release();
            added = true;
        }
    }
    if (!keyNames) {
        keyNames = new GermanKeyNames(&app);
        added = true;
    }
    // The translator installed last is asked first: the key names go before Qt's texts.
    if (added) {
        QCoreApplication::removeTranslator(keyNames);
        QCoreApplication::installTranslator(keyNames);
    }
    return !qtTexts.isNull();
}
