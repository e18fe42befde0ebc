#include "fileops/ClipboardFiles.h"

#include <QMimeData>
#include <QSysInfo>
#include <QUrl>

namespace fileops {

namespace {

const QString kUriList = QStringLiteral("text/uri-list");
const QString kGnome = QStringLiteral("x-special/gnome-copied-files");
const QString kKdeCut = QStringLiteral("application/x-kde-cutselection");

QString shown(const QByteArray& line)
{
    return QString::fromUtf8(line.left(200));
}

void readUriLines(const QList<QByteArray>& lines, ClipboardFiles::Contents& out)
{
    for (QByteArray line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (line.trimmed().isEmpty() || line.startsWith('#'))
            continue;
        const QString text = QString::fromUtf8(line);
        // A URI is ASCII; bytes beyond it are taken as UTF-8 only when they are valid.
        if (text.toUtf8() != line || line.contains('\0')) {
            out.problems.append(
                QStringLiteral("„%1“ ist keine gültige Adresse und wird übergangen.")
                    .arg(shown(line)));
            continue;
        }
        const QUrl url(text, QUrl::StrictMode);
        if (!url.isValid() || url.scheme().isEmpty()) {
            out.problems.append(
                QStringLiteral("„%1“ ist keine gültige Adresse und wird übergangen.").arg(text));
            continue;
        }
        if (!ClipboardFiles::isLocalFileUrl(url)) {
            out.problems.append(
                QStringLiteral("„%1“ ist keine Datei dieses Rechners und wird übergangen.")
                    .arg(text));
            continue;
        }
        const std::optional<shell::TFileNames> names = shell::FileNamesFromUrls({url});
        // A query or fragment is no part of a file name: "#" in a name is written "%23".
        if (url.hasQuery() || url.hasFragment() || !names || names->size() != 1 ||
            !names->first().startsWith('/') || names->first().contains('\0')) {
            out.problems.append(
                QStringLiteral("„%1“ ist keine gültige Adresse und wird übergangen.").arg(text));
            continue;
        }
        out.files.append(names->first());
    }
}

} // namespace

QByteArray ClipboardFiles::uriOf(const QByteArray& path)
{
    return "file://" + path.toPercentEncoding("/");
}

bool ClipboardFiles::isLocalFileUrl(const QUrl& url)
{
    return shell::IsLocalFileUrl(url);
}

void ClipboardFiles::write(QMimeData& data, const shell::TFileNames& files, bool cut)
{
    QByteArray uriList;
    QByteArray gnome = cut ? QByteArrayLiteral("cut") : QByteArrayLiteral("copy");
    for (const QByteArray& path : files) {
        const QByteArray uri = uriOf(path);
        uriList += uri + "\r\n";
        gnome += '\n' + uri;
    }
    data.setData(kUriList, uriList);
    data.setData(kGnome, gnome);
    data.setData(kKdeCut, cut ? QByteArrayLiteral("1") : QByteArrayLiteral("0"));
}

ClipboardFiles::Contents ClipboardFiles::read(const QMimeData* data)
{
    Contents out;
    if (!data)
        return out;
    if (data->hasFormat(kGnome)) {
        QList<QByteArray> lines = data->data(kGnome).split('\n');
        const QByteArray mark = lines.isEmpty() ? QByteArray() : lines.takeFirst().trimmed();
        if (mark == "cut" || mark == "copy") {
            out.hasFileList = true;
            out.cut = mark == "cut";
            readUriLines(lines, out);
            return out;
        }
        out.problems.append(QStringLiteral(
            "Die Dateiliste der Zwischenablage ist beschädigt und wird übergangen."));
    }
    if (data->hasFormat(kUriList)) {
        out.hasFileList = true;
        out.cut = data->data(kKdeCut).trimmed() == "1";
        readUriLines(data->data(kUriList).split('\n'), out);
    }
    return out;
}

} // namespace fileops
