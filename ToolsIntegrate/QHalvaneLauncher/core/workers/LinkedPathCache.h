// Answers whether a file of the working path is reached through a symbolic
// link (or a junction on Windows): the file itself or a directory between the
// working path and it. Such files are never written, so content outside the
// working path that a link points at is left alone. Directory answers are
// cached for one run; thread-safe (read-write lock).
#pragma once

#include <QSet>
#include <QString>

#include <shared_mutex>

class LinkedPathCache
{
public:
    // strRelativePath is a normalised store path below strRoot. Either empty: false.
    bool IsLinked(const QString& strRoot, const QString& strRelativePath);
    void Clear();

private:
    bool IsLinkedDirectory(const QString& strDirectory);

    std::shared_mutex m_mutex;
    QSet<QString> m_setLinked;
    QSet<QString> m_setNotLinked;
};
