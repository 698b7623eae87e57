#pragma once

#include <QByteArray>
#include <QFile>
#include <QTemporaryFile>
#include <QtTest>

#include <cstdio>
#include <fcntl.h>
#include <linux/capability.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace testsupport {

// Makes file permissions count for the calling thread also when the tests run as root, by
// taking the capabilities that bypass them out of the thread's effective set until destroyed.
class PermissionsEnforced {
public:
    PermissionsEnforced()
    {
        if (!capabilities(false, m_saved))
            return;
        __user_cap_data_struct reduced[2] = {m_saved[0], m_saved[1]};
        for (const int capability : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH, CAP_FOWNER})
            reduced[capability / 32].effective &= ~(1u << (capability % 32));
        m_changed = capabilities(true, reduced);
    }
    ~PermissionsEnforced()
    {
        if (m_changed)
            capabilities(true, m_saved);
    }
    PermissionsEnforced(const PermissionsEnforced &) = delete;
    PermissionsEnforced &operator=(const PermissionsEnforced &) = delete;

private:
    static bool capabilities(bool set, __user_cap_data_struct *data)
    {
        __user_cap_header_struct header{_LINUX_CAPABILITY_VERSION_3, 0};
        return syscall(set ? SYS_capset : SYS_capget, &header, data) == 0;
    }

    __user_cap_data_struct m_saved[2] = {};
    bool m_changed = false;
};

// Everything written to standard output while it lives, for checking printed output.
class CapturedStdout {
public:
    CapturedStdout()
    {
        if (!m_file.open())
            qFatal("cannot open a file for standard output");
        std::fflush(stdout);
        m_saved = dup(STDOUT_FILENO);
        dup2(m_file.handle(), STDOUT_FILENO);
    }
    ~CapturedStdout() { restore(); }
    CapturedStdout(const CapturedStdout &) = delete;
    CapturedStdout &operator=(const CapturedStdout &) = delete;

    // Ends the capture and returns what was written.
    QByteArray text()
    {
        restore();
        QFile read(m_file.fileName());
        read.open(QIODevice::ReadOnly);
        return read.readAll();
    }

private:
    void restore()
    {
        if (m_saved < 0)
            return;
        std::fflush(stdout);
        dup2(m_saved, STDOUT_FILENO);
        close(m_saved);
        m_saved = -1;
    }

    QTemporaryFile m_file;
    int m_saved = -1;
};

}  // namespace testsupport
