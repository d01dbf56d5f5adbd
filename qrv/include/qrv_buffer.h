// CQRVBuffer<T>: an owning heap array of plain elements with an exact element count.
//
// Instances: unsigned char (raw bytes), char (narrow text), unsigned short (UTF-16 code
// units; the base of CQRVWCharString). There is no spare capacity: every size change
// allocates a new array of exactly the new count. Every new array is zero-filled, and
// every array is wiped again before it is freed, so text held here never goes back to
// the heap readable.
//
// Failures: the bool operations (and assignment) catch what is raised inside them,
// make sure it is in the log and return false. Only the constructors
// (CQRVBufferInitException) and the subscripts (CQRVIndexOutOfBoundsException) raise
// to their callers.
//
// A buffer is valid when it has storage and a non-zero count. The members are public:
// callers hand m_pBuffer to system calls and read m_ulNumElems directly.
#pragma once

#include <windows.h>
#include <cerrno>
#include <cstring>
#include <new>
#include <type_traits>

#include "qrv_failures.h"
#include "qrv_protocol.h"
#include "internal/qrv_release.h"

template <typename T>
class CQRVBuffer {
    static_assert(std::is_trivially_copyable<T>::value, "CQRVBuffer holds plain elements only");

public:
    static constexpr unsigned long kMaxElems = 0xFFFFFFFFUL;

    // allocate(ulNumElems); raises CQRVBufferInitException when that fails.
    explicit CQRVBuffer(unsigned long ulNumElems = 0) : m_pBuffer(nullptr), m_ulNumElems(0)
    {
        qrvPass(QRV_HERE, [] { return CQRVBufferInitException(QRV_HERE); }, [&] {
            if (!allocate(ulNumElems))
                throw CQRVBufferInitException(QRV_HERE);
        }, QRVErrorSource::Errno);
    }

    // ulNumElems elements of pData placed at index ulOffset of a buffer of
    // ulNumElems + ulOffset elements (the first ulOffset stay 0). A null pData gives
    // ulNumElems zero elements; a zero count gives an empty buffer.
    CQRVBuffer(const T* pData, unsigned long ulNumElems, unsigned long ulOffset = 0)
        : m_pBuffer(nullptr), m_ulNumElems(0)
    {
        qrvPass(QRV_HERE, [] { return CQRVBufferInitException(QRV_HERE); }, [&] {
            if (pData == nullptr) {
                if (!allocate(ulNumElems))
                    throw CQRVBufferInitException(QRV_HERE);
                return;
            }
            if (ulNumElems == 0)
                return;
            // The sum must not wrap: a wrapped size would be allocated small and the
            // copy would run past it.
            if (ulOffset > kMaxElems - ulNumElems || !allocate(ulNumElems + ulOffset))
                throw CQRVBufferInitException(QRV_HERE);
            copyElems(m_pBuffer + ulOffset, m_ulNumElems - ulOffset, pData, ulNumElems);
        }, QRVErrorSource::Errno);
    }

    // Starts empty, then assigns. Assignment absorbs (and logs) its own failures, so
    // nothing escapes it: a copy whose allocation failed ends up empty, not raising.
    CQRVBuffer(const CQRVBuffer& other) : m_pBuffer(nullptr), m_ulNumElems(0) { *this = other; }

    // The three virtual operations come first, in this order. The destructor is
    // virtual as well: pointer nodes delete the strings they own through a pointer,
    // and deleting a polymorphic object whose destructor is not virtual is unsafe
    // (and a -Wdelete-non-virtual-dtor error in these builds).
    virtual bool allocate(unsigned long ulNumElems);
    virtual bool release();
    virtual bool resize(unsigned long ulNumElems);

    // release() does not throw: a failed free is written as a warning inside it.
    virtual ~CQRVBuffer() { release(); }

    // Deep copy. A failure leaves this buffer as allocate() left it (empty when the
    // allocation failed). Assigning a buffer to itself keeps its content.
    CQRVBuffer& operator=(const CQRVBuffer& other)
    {
        if (this == &other)
            return *this;
        qrvAbsorb(false, QRV_HERE, [&] {
            if (!allocate(other.m_ulNumElems))
                return false;
            copyElems(m_pBuffer, m_ulNumElems, other.m_pBuffer, other.m_ulNumElems);
            return true;
        }, QRVErrorSource::Errno);
        return *this;
    }

    // Raise CQRVIndexOutOfBoundsException ("Index out of array bounds") for an index
    // at or past the element count; not caught here.
    T& operator[](unsigned long index)
    {
        if (index >= m_ulNumElems || m_pBuffer == nullptr)
            throw CQRVIndexOutOfBoundsException(QRV_HERE);
        return m_pBuffer[index];
    }
    T operator[](unsigned long index) const
    {
        if (index >= m_ulNumElems || m_pBuffer == nullptr)
            throw CQRVIndexOutOfBoundsException(QRV_HERE);
        return m_pBuffer[index];
    }

    bool isValid() const noexcept { return m_pBuffer != nullptr && m_ulNumElems != 0; }

    bool append(const CQRVBuffer& other);
    CQRVBuffer& operator+=(const CQRVBuffer& other)
    {
        append(other);
        return *this;
    }

    // Cuts the buffer to ulOffset elements and appends other there; ulOffset equal to
    // the count is a plain append, past it is a bad argument.
    bool appendAtOffset(const CQRVBuffer& other, unsigned long ulOffset);

    // Copies other over the elements from ulOffset. When it does not fit, bGrow makes
    // it an appendAtOffset; otherwise that is a bad argument.
    bool writeAt(const CQRVBuffer& other, unsigned long ulOffset, bool bGrow);

    // Copies ulNumElems elements from ulOffset into outBuffer (released first). When
    // the range does not fit, ulNumElems is set to the number available from ulOffset
    // (0 when ulOffset itself is past the end) and outBuffer stays empty.
    bool read(CQRVBuffer& outBuffer, unsigned long ulOffset, unsigned long& ulNumElems) const;

    // The same into raw memory of at least ulNumElems bytes; byte buffers only.
    template <typename U = T, typename std::enable_if<std::is_same<U, unsigned char>::value, int>::type = 0>
    bool read(unsigned char* pBuffer, unsigned long ulOffset, unsigned long& ulNumElems) const
    {
        return qrvAbsorb(false, QRV_HERE, [&] {
            if (pBuffer == nullptr)
                throw CQRVBadArgException(L"pBuffer", L"value is NULL", QRV_HERE);
            CQRVBuffer<unsigned char> temp;
            if (!read(temp, ulOffset, ulNumElems))
                return false;
            if (ulNumElems != 0)
                std::memcpy(pBuffer, temp.m_pBuffer, ulNumElems);
            return true;
        }, QRVErrorSource::Errno);
    }

    // Sets every byte of the array to 0. SecureZeroMemory, because a plain memset just
    // before the array is freed may be dropped by the optimiser.
    void zeroFill() noexcept
    {
        if (m_pBuffer != nullptr && m_ulNumElems != 0)
            SecureZeroMemory(m_pBuffer, static_cast<size_t>(m_ulNumElems) * sizeof(T));
    }

    // The raw bytes of the UTF-16 units in memory order (low byte first). An empty
    // buffer, or a failed allocation, gives an empty result.
    template <typename U = T, typename std::enable_if<std::is_same<U, unsigned short>::value, int>::type = 0>
    CQRVBuffer<unsigned char> toByteBuffer() const
    {
        CQRVBuffer<unsigned char> bytes;
        qrvAbsorb(false, QRV_HERE, [&] {
            if (m_ulNumElems == 0)
                return true;
            if (m_ulNumElems > kMaxElems / 2)
                throw CQRVMemAllocException(L"m_pBuffer", QRV_HERE);
            if (!bytes.allocate(m_ulNumElems * 2))
                return false;
            copyBytes(bytes.m_pBuffer, bytes.m_ulNumElems, m_pBuffer, bytes.m_ulNumElems);
            return true;
        }, QRVErrorSource::Errno);
        return bytes;
    }

    // The bytes packed into UTF-16 units, two per unit in memory order; an odd last
    // byte becomes the low byte of a last unit whose high byte is 0.
    template <typename U = T, typename std::enable_if<std::is_same<U, unsigned char>::value, int>::type = 0>
    CQRVBuffer<unsigned short> toWideBuffer() const
    {
        CQRVBuffer<unsigned short> wide;
        qrvAbsorb(false, QRV_HERE, [&] {
            if (m_ulNumElems == 0)
                return true;
            unsigned long ulUnits = m_ulNumElems / 2 + (m_ulNumElems % 2);
            if (!wide.allocate(ulUnits))
                return false;
            copyBytes(wide.m_pBuffer, static_cast<size_t>(ulUnits) * 2, m_pBuffer, m_ulNumElems);
            return true;
        }, QRVErrorSource::Errno);
        return wide;
    }

    T* m_pBuffer;
    unsigned long m_ulNumElems;

private:
    // Plain memory copy of ulCount elements into room for ulRoom. A copy that does not
    // fit or has no source or destination raises CQRVMemoryCopyException rather than
    // touching memory it does not own.
    static void copyElems(T* pDest, unsigned long ulRoom, const T* pSource, unsigned long ulCount)
    {
        if (ulCount == 0)
            return;
        copyBytes(pDest, static_cast<size_t>(ulRoom) * sizeof(T), pSource,
                  static_cast<size_t>(ulCount) * sizeof(T));
    }
    static void copyBytes(void* pDest, size_t room, const void* pSource, size_t count)
    {
        if (count == 0)
            return;
        if (pDest == nullptr || pSource == nullptr)
            throw CQRVMemoryCopyException(EINVAL, QRV_HERE);
        if (count > room)
            throw CQRVMemoryCopyException(ERANGE, QRV_HERE);
        std::memcpy(pDest, pSource, count);
    }

    // other itself, or, when other is this buffer, a copy of it in aside: the
    // operations that reallocate would otherwise read the array they just replaced.
    const CQRVBuffer& apart(const CQRVBuffer& other, CQRVBuffer& aside) const
    {
        if (&other != this)
            return other;
        aside = other;
        if (aside.m_ulNumElems != other.m_ulNumElems)
            throw CQRVMemAllocException(L"m_pBuffer", QRV_HERE);
        return aside;
    }
};

template <typename T>
bool CQRVBuffer<T>::allocate(unsigned long ulNumElems)
{
    return qrvAbsorb(false, QRV_HERE, [&] {
        if (!release())
            return false;
        if (ulNumElems == 0)
            return true;
        T* pNew = new (std::nothrow) T[ulNumElems];
        if (pNew == nullptr)
            throw CQRVMemAllocException(L"m_pBuffer", QRV_HERE);
        m_pBuffer = pNew;
        m_ulNumElems = ulNumElems;
        zeroFill();
        return true;
    }, QRVErrorSource::Errno);
}

template <typename T>
bool CQRVBuffer<T>::release()
{
    bool bFreed = true;
    if (m_pBuffer != nullptr) {
        zeroFill();
        T* pOld = m_pBuffer;
        bFreed = qrv_detail::freeNoting(L"m_pBuffer", QRV_HERE, [pOld] { delete[] pOld; });
    }
    m_pBuffer = nullptr;
    m_ulNumElems = 0;
    return bFreed;
}

// Sets the old array aside (no copy needed: it is moved, and wiped when the aside
// buffer dies), allocates the new count zero-filled and copies back what fits. When
// the allocation fails the buffer is left empty.
template <typename T>
bool CQRVBuffer<T>::resize(unsigned long ulNumElems)
{
    return qrvAbsorb(false, QRV_HERE, [&] {
        CQRVBuffer<T> old;
        old.m_pBuffer = m_pBuffer;
        old.m_ulNumElems = m_ulNumElems;
        m_pBuffer = nullptr;
        m_ulNumElems = 0;
        if (!allocate(ulNumElems))
            return false;
        unsigned long ulKeep = ulNumElems < old.m_ulNumElems ? ulNumElems : old.m_ulNumElems;
        copyElems(m_pBuffer, m_ulNumElems, old.m_pBuffer, ulKeep);
        return true;
    }, QRVErrorSource::Errno);
}

template <typename T>
bool CQRVBuffer<T>::append(const CQRVBuffer& other)
{
    return qrvAbsorb(false, QRV_HERE, [&] {
        CQRVBuffer<T> aside;
        const CQRVBuffer& source = apart(other, aside);
        unsigned long ulOld = m_ulNumElems;
        if (source.m_ulNumElems > kMaxElems - ulOld)
            throw CQRVMemAllocException(L"m_pBuffer", QRV_HERE);
        if (!resize(ulOld + source.m_ulNumElems))
            return false;
        copyElems(m_pBuffer + ulOld, m_ulNumElems - ulOld, source.m_pBuffer, source.m_ulNumElems);
        return true;
    }, QRVErrorSource::Errno);
}

template <typename T>
bool CQRVBuffer<T>::appendAtOffset(const CQRVBuffer& other, unsigned long ulOffset)
{
    return qrvAbsorb(false, QRV_HERE, [&] {
        if (ulOffset > m_ulNumElems)
            throw CQRVBadArgException(L"ulOffset",
                                      L"can't append a buffer at an offset past the bounds of this buffer",
                                      nullptr, 0);
        CQRVBuffer<T> aside;
        const CQRVBuffer& source = apart(other, aside);
        if (source.m_ulNumElems > kMaxElems - ulOffset)
            throw CQRVMemAllocException(L"m_pBuffer", QRV_HERE);
        if (!resize(ulOffset + source.m_ulNumElems))
            return false;
        // Appending nothing only cuts the buffer; that is a success, not a bad write.
        if (source.m_ulNumElems == 0)
            return true;
        return writeAt(source, ulOffset, false);
    }, QRVErrorSource::Errno);
}

template <typename T>
bool CQRVBuffer<T>::writeAt(const CQRVBuffer& other, unsigned long ulOffset, bool bGrow)
{
    return qrvAbsorb(false, QRV_HERE, [&] {
        if (other.m_ulNumElems == 0)
            throw CQRVBadArgException(L"buffer", L"buffer is of zero size - can't write", QRV_HERE);
        // Compared without forming ulOffset + count, which could wrap.
        bool bFits = ulOffset <= m_ulNumElems && other.m_ulNumElems <= m_ulNumElems - ulOffset;
        if (bFits) {
            if (&other != this) // this over itself at offset 0 changes nothing
                copyElems(m_pBuffer + ulOffset, m_ulNumElems - ulOffset, other.m_pBuffer, other.m_ulNumElems);
            return true;
        }
        if (!bGrow)
            throw CQRVBadArgException(L"buffer", L"buffer + offset will overrun this buffer", QRV_HERE);
        if (!appendAtOffset(other, ulOffset))
            throw CQRVMemoryCopyException(errno, QRV_HERE);
        return true;
    }, QRVErrorSource::Errno);
}

template <typename T>
bool CQRVBuffer<T>::read(CQRVBuffer& outBuffer, unsigned long ulOffset, unsigned long& ulNumElems) const
{
    return qrvAbsorb(false, QRV_HERE, [&] {
        if (&outBuffer == this) {
            // Reading a buffer into itself: read into a copy, then take it over.
            CQRVBuffer<T> temp;
            bool bRead = read(temp, ulOffset, ulNumElems);
            outBuffer = temp;
            return bRead && outBuffer.m_ulNumElems == temp.m_ulNumElems;
        }
        outBuffer.release();
        if (ulNumElems == 0)
            return true;
        if (ulOffset > m_ulNumElems || ulNumElems > m_ulNumElems - ulOffset) {
            ulNumElems = ulOffset > m_ulNumElems ? 0 : m_ulNumElems - ulOffset;
            throw CQRVBadArgException(L"ulNumElems + ulOffset", L"can't read more elements than are in this buffer",
                                      QRV_HERE);
        }
        if (!outBuffer.allocate(ulNumElems))
            return false;
        copyElems(outBuffer.m_pBuffer, outBuffer.m_ulNumElems, m_pBuffer + ulOffset, ulNumElems);
        return true;
    }, QRVErrorSource::Errno);
}
