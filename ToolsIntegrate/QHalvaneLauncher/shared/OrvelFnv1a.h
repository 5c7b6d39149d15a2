// FNV-1a 64-bit, the content hash of the update package.
#pragma once

#include <QByteArray>
#include <QtGlobal>

class OrvelFnv1a
{
public:
    static constexpr quint64 kOffsetBasis = 0xcbf29ce484222325ULL;
    static constexpr quint64 kPrime = 0x100000001b3ULL;

    void update(const char* pData, qint64 nSize)
    {
        for (qint64 i = 0; i < nSize; ++i)
        {
            m_uHash ^= static_cast<unsigned char>(pData[i]);
            m_uHash *= kPrime;
        }
    }
    quint64 value() const { return m_uHash; }

    static quint64 hash(const QByteArray& data)
    {
        OrvelFnv1a hasher;
        hasher.update(data.constData(), data.size());
        return hasher.value();
    }

private:
    quint64 m_uHash = kOffsetBasis;
};
