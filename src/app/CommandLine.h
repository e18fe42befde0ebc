#pragma once
// What the program makes of its command line. It knows two arguments, --help and
// --version, answered on standard output before the interface starts so that both work
// without a display. Qt takes its own arguments when the application is made; the
// program acts on none of the rest and names them in one line on standard error.

#include <QString>
#include <QStringList>

#include <cstdio>

class CommandLine
{
public:
    enum class Request
    {
        Run,
        Help,
        Version
    };

    // The first of --help and --version in `arguments` (without the program's name);
    // Run when neither stands before a "--".
    static Request requestOf(const QStringList& arguments);

    static QString helpText();    // German, ends with a newline
    static QString versionText(); // "Fegmann 1.0" and a newline

    // One German line without its newline that names the ignored `arguments`, each
    // quoted and with line breaks and other control characters shown as "?"; empty
    // when there are none.
    static QString ignoredLine(const QStringList& arguments);

    // For main(), before the application is made: answers --help or --version on `out`
    // and returns the exit code, or returns -1 when the program is to start.
    static int answerBeforeStart(int argc, char** argv, std::FILE* out);
    // For main(), after Qt has taken its arguments out of `arguments` (with the
    // program's name first): the ignored ones, on `err`.
    static void reportIgnored(const QStringList& arguments, std::FILE* err);
};
