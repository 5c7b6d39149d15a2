// What a task wrote into the working path, in the order written, each file
// once; and which of them did not exist before, so a rollback removes those
// instead of leaving the newer version's files behind. Thread-safe: the pool
// threads add, the worker reads.
#pragma once

#include <QSet>
#include <QStringList>

#include <mutex>

class OrvelChangedFiles
{
public:
    void Add(const QString& strRelative, bool bCreated);
    void Clear();
    QStringList Changed() const;
    QStringList Created() const;

private:
    mutable std::mutex m_mutex;
    QStringList m_vecChanged;
    QStringList m_vecCreated;
    QSet<QString> m_setChanged;
};
