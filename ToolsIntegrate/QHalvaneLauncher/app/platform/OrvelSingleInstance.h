// One launcher per user session: a named key that the system releases when
// the holding process ends, however it ends, so a crashed launcher never
// blocks the next start. Windows: a named file mapping; elsewhere: an
// flock()ed lock file in XDG_RUNTIME_DIR (else the temporary directory).
#pragma once

#include <QString>

#include <memory>

class OrvelSingleInstance
{
public:
    enum Outcome
    {
        Acquired,
        HeldElsewhere, // another process holds the key
        Unavailable,   // the key could not be made; nothing says another instance runs
    };

    explicit OrvelSingleInstance(const QString& strKey);
    // Releases the key when held.
    ~OrvelSingleInstance();
    OrvelSingleInstance(const OrvelSingleInstance&) = delete;
    OrvelSingleInstance& operator=(const OrvelSingleInstance&) = delete;

    Outcome TryAcquire();
    void Release();
    // What went wrong for Unavailable.
    QString ErrorText() const { return m_strError; }

private:
    struct Handle;
    QString m_strKey;
    QString m_strError;
    std::unique_ptr<Handle> m_pHandle;
};
