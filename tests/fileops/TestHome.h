#pragma once
// A home of the test's own, so that the trash the tests fill is not the user's: HOME and
// XDG_DATA_HOME point into a scratch folder for as long as it lives, and each test gets a
// fresh folder to work in below it.

#include "FileOpsFixtures.h"

#include <memory>

class TestHome
{
public:
    // Call from initTestCase, before anything asks where the trash is.
    void set()
    {
        m_home = std::make_unique<ScratchDir>();
        qputenv("HOME", m_home->path());
        qputenv("XDG_DATA_HOME", m_home->path() + "/data");
        m_base = m_home->path() + "/work";
        if (::mkdir((m_home->path() + "/data").constData(), 0700) != 0 ||
            ::mkdir(m_base.constData(), 0755) != 0)
            qFatal("cannot make the test's home");
    }
    // A new empty folder.
    QByteArray folder()
    {
        const QByteArray f = m_base + "/f" + QByteArray::number(++m_round);
        if (::mkdir(f.constData(), 0755) != 0)
            qFatal("cannot make %s", f.constData());
        return f;
    }

private:
    std::unique_ptr<ScratchDir> m_home;
    QByteArray m_base;
    int m_round = 0;
};
