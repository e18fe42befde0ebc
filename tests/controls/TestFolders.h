#pragma once
// Fresh folders for the list tests, each below one temporary folder that goes with
// the test case (removed through the kernel, since some names are not valid UTF-8).

#include "../shell/RawFiles.h"

#include <QByteArray>
#include <QFile>
#include <QTemporaryDir>
#include <sys/stat.h>

class TestFolders
{
    QTemporaryDir m_dir; // first: the base is its path
    int m_round = 0;

public:
    const QByteArray base = QFile::encodeName(m_dir.path());

    // A fresh empty folder.
    QByteArray make()
    {
        const QByteArray f = base + "/f" + QByteArray::number(++m_round);
        if (::mkdir(f.constData(), 0755) != 0)
            qFatal("cannot make %s", f.constData());
        return f;
    }
    bool removeAll() const { return removeTree(base); }
};
