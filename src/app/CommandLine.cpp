#include "app/CommandLine.h"

#include "app/ProgramVersion.h"

CommandLine::Request CommandLine::requestOf(const QStringList& arguments)
{
    for (const QString& argument : arguments) {
        if (argument == u"--")
            break;
        if (argument == u"--help")
            return Request::Help;
        if (argument == u"--version")
            return Request::Version;
    }
    return Request::Run;
}

QString CommandLine::helpText()
{
    return QStringLiteral(
        "Aufruf: fegmann [--help | --version]\n"
        "\n"
        "Fegmann zeigt, welche Ordner den meisten Platz belegen, und hilft beim\n"
        "Aufräumen. Den Ordner wählen Sie im Fenster des Programms.\n"
        "\n"
        "  --help      diese Hilfe zeigen und beenden\n"
        "  --version   die Versionsnummer zeigen und beenden\n"
        "\n"
        "Die üblichen Qt-Argumente (etwa -platform oder -style) gelten wie in jedem\n"
        "Qt-Programm; alle anderen Argumente übergeht das Programm mit einem Hinweis.\n");
}

QString CommandLine::versionText()
{
    return QStringLiteral("Fegmann " FEGMANN_VERSION "\n");
}

QString CommandLine::ignoredLine(const QStringList& arguments)
{
    if (arguments.isEmpty())
        return {};
    QStringList quoted;
    for (QString argument : arguments) {
        // The message stays one line whatever the argument holds.
        for (QChar& c : argument) {
            const QChar::Category category = c.category();
            if (category == QChar::Other_Control || category == QChar::Separator_Line ||
                category == QChar::Separator_Paragraph)
                c = u'?';
        }
        quoted << u'„' + argument + u'“';
    }
    return (arguments.size() == 1
                ? QStringLiteral("fegmann: Unbekanntes Argument wird ignoriert: ")
                : QStringLiteral("fegmann: Unbekannte Argumente werden ignoriert: ")) +
           quoted.join(QStringLiteral(", "));
}

int CommandLine::answerBeforeStart(int argc, char** argv, std::FILE* out)
{
    QStringList arguments;
    for (int i = 1; i < argc; ++i)
        arguments << QString::fromLocal8Bit(argv[i]);
    QString answer;
    switch (requestOf(arguments)) {
    case Request::Run:
        return -1;
    case Request::Help:
        answer = helpText();
        break;
    case Request::Version:
        answer = versionText();
        break;
    }
    // A full disk or a closed pipe is a failure, not an answer.
    const QByteArray bytes = answer.toLocal8Bit();
    if (std::fwrite(bytes.constData(), 1, size_t(bytes.size()), out) != size_t(bytes.size()) ||
        std::fflush(out) != 0) {
        std::fputs("fegmann: Die Ausgabe konnte nicht geschrieben werden.\n", stderr);
        return 1;
    }
    return 0;
}

void CommandLine::reportIgnored(const QStringList& arguments, std::FILE* err)
{
    const QString line = ignoredLine(arguments.mid(1));
    if (!line.isEmpty())
        std::fprintf(err, "%s\n", line.toLocal8Bit().constData());
}
