#pragma once
// TAboutBox is the program's "Info" dialog: a picture, texts about the maker, the
// current year in the rights line, a button to the maker's home page and OK. Whoever
// shows it owns it (the main window makes one per showing). The home page is opened
// through a replaceable opener so that tests start no browser.

#include <QDate>
#include <QDialog>
#include <QUrl>

#include <functional>
#include <memory>

namespace Ui {
class TAboutBox;
}

class TAboutBox : public QDialog
{
    Q_OBJECT
public:
    explicit TAboutBox(QWidget* parent = nullptr);
    ~TAboutBox() override;

    // The maker's home page and the text shown for it.
    static QUrl HomePageUrl();
    static QString HomePageText();

    // `text` with its first "XXXX" replaced by the year of `date`; unchanged without one.
    static QString InsertYear(const QString& text, const QDate& date);

    // Opens the home page with the current opener (QDesktopServices::openUrl unless
    // replaced). The main window's web button uses it as well.
    static bool OpenHomePage();
    using TUrlOpener = std::function<bool(const QUrl&)>;
    // An empty function restores the desktop's opener.
    static void setUrlOpener(TUrlOpener opener);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void FormCreate();
    void BitBtnXP1Click();

    std::unique_ptr<Ui::TAboutBox> ui;
};
