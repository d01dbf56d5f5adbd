// CQRVDblList<N>: the library's doubly linked list with a built-in cursor, over one of
// the node kinds of qrv_node.h (CQRVObjNode<T>, CQRVPtrNode<T>, CQRVStdNode<T>).
//
// The list owns its nodes, and through pointer nodes their payloads; destroying or
// clearing it deletes both. Copies are deep: a copied pointer list gets its own
// payload objects. Callers walk it by moveFirst()/moveNext() and read the current
// node through getCurrent (a copy) or getCurrentPointer (no copy), or follow m_pHead
// and the nodes' m_pNext directly, or by range-for (begin()/end()), which leaves the
// cursor alone.
//
// Failures: every operation catches what is raised inside it, makes sure it is in the
// log and returns false; nothing reaches the caller.
#pragma once

#include <cerrno>
#include <cstddef>
#include <iterator>
#include <new>
#include <type_traits>

#include "qrv_failures.h"
#include "qrv_node.h"
#include "qrv_protocol.h"
#include "internal/qrv_release.h"

template <typename N>
class CQRVDblList {
public:
    typedef typename N::value_type value_type;
    typedef typename N::add_type add_type;
    typedef typename N::item_type item_type;
    typedef typename N::set_type set_type;

    // A forward walk over the payloads, head to tail, following the nodes' links: the
    // list's cursor does not move. A pointer list yields the objects its nodes own (each
    // node must hold one). key() is the current node's key. Adding nodes keeps every
    // iterator valid; clearing or assigning the list ends them.
    template <typename Node, typename Value>
    class Iterator {
    public:
        typedef std::forward_iterator_tag iterator_category;
        typedef typename std::remove_const<Value>::type value_type;
        typedef std::ptrdiff_t difference_type;
        typedef Value* pointer;
        typedef Value& reference;

        Iterator() : m_pNode(nullptr) {}
        explicit Iterator(Node* pNode) : m_pNode(pNode) {}

        Value& operator*() const { return *const_cast<Value*>(m_pNode->payload()); }
        Value* operator->() const { return &**this; }
        Iterator& operator++()
        {
            m_pNode = m_pNode->m_pNext;
            return *this;
        }
        Iterator operator++(int)
        {
            Iterator before(*this);
            ++*this;
            return before;
        }
        bool operator==(const Iterator& other) const { return m_pNode == other.m_pNode; }
        bool operator!=(const Iterator& other) const { return m_pNode != other.m_pNode; }
        long key() const { return m_pNode->m_lKey; }

    private:
        Node* m_pNode;
    };
    typedef Iterator<N, value_type> iterator;
    typedef Iterator<const N, const value_type> const_iterator;

    iterator begin() { return iterator(m_pHead); }
    iterator end() { return iterator(); }
    const_iterator begin() const { return const_iterator(m_pHead); }
    const_iterator end() const { return const_iterator(); }

    CQRVDblList() : m_pHead(nullptr), m_pTail(nullptr), m_pCursor(nullptr), m_ulCount(0) {}
    // Deep, like assignment; a list copied shallowly would delete its nodes twice.
    CQRVDblList(const CQRVDblList& other) : m_pHead(nullptr), m_pTail(nullptr), m_pCursor(nullptr), m_ulCount(0)
    {
        copyFrom(other);
    }
    ~CQRVDblList() { clear(); }

    CQRVDblList& operator=(const CQRVDblList& other)
    {
        copyFrom(other);
        return *this;
    }

    // Links a ready node in at the tail; the cursor moves only when the list was
    // empty (to the new node).
    bool addNode(N* pNode)
    {
        if (pNode == nullptr)
            return false;
        pNode->m_pNext = nullptr;
        if (m_pHead == nullptr) {
            pNode->m_pPrev = nullptr;
            m_pHead = pNode;
            m_pTail = pNode;
            m_pCursor = pNode;
        } else {
            pNode->m_pPrev = m_pTail;
            m_pTail->m_pNext = pNode;
            m_pTail = pNode;
        }
        ++m_ulCount;
        return true;
    }

    // A new node at the tail holding a copy of the value (object and value lists) or
    // the pointer (pointer lists, where the key is normally left 0). A pointer passes
    // to the list only when this succeeds; on false the caller still owns it.
    bool add(add_type item, long lKey = 0)
    {
        return qrvAbsorb(false, QRV_HERE, [&] {
            N* pNewNode = new (std::nothrow) N(lKey, item);
            if (pNewNode == nullptr)
                throw CQRVMemAllocException(L"pNewNode", QRV_HERE);
            return addNode(pNewNode);
        }, QRVErrorSource::Errno);
    }

    // Deletes every node (and a pointer node's payload). A node whose deletion fails
    // is noted and skipped. The list is empty afterwards in every case.
    bool clear()
    {
        bool bResult = qrvAbsorb(false, QRV_HERE, [&] {
            m_pCursor = m_pHead;
            while (m_pCursor != nullptr) {
                N* pTempCursor = m_pCursor;
                m_pCursor = m_pCursor->m_pNext;
                pTempCursor->m_pNext = nullptr;
                pTempCursor->m_pPrev = nullptr;
                qrv_detail::freeNoting(L"pTempCursor", QRV_HERE, [pTempCursor] { delete pTempCursor; });
            }
            return true;
        }, QRVErrorSource::Errno);
        m_pHead = nullptr;
        m_pTail = nullptr;
        m_pCursor = nullptr;
        m_ulCount = 0;
        return bResult;
    }

    bool moveFirst()
    {
        m_pCursor = m_pHead;
        return m_pCursor != nullptr;
    }

    // False, with the cursor left where it is, at the tail or with no cursor.
    bool moveNext()
    {
        if (m_pCursor == nullptr || m_pCursor == m_pTail || m_pCursor->m_pNext == nullptr)
            return false;
        m_pCursor = m_pCursor->m_pNext;
        return true;
    }

    // Puts the cursor on the first node with this key. Without a match the cursor ends
    // on the tail and the result is false.
    bool findKey(long lKey)
    {
        m_pCursor = m_pHead;
        while (m_pCursor != nullptr) {
            if (m_pCursor->m_lKey == lKey)
                return true;
            if (m_pCursor->m_pNext == nullptr)
                return false;
            m_pCursor = m_pCursor->m_pNext;
        }
        return false;
    }

    // Assigns a copy of the current payload to out; false (out untouched) with no
    // cursor, or on a pointer node that holds no object.
    bool getCurrent(value_type& out) const
    {
        return qrvAbsorb(false, QRV_HERE, [&] {
            if (m_pCursor == nullptr || m_pCursor->payload() == nullptr)
                return false;
            out = *m_pCursor->payload();
            return true;
        }, QRVErrorSource::Errno);
    }

    // The current node's item without a copy: a pointer to the held object, the owned
    // pointer, or the plain value.
    bool getCurrentPointer(item_type& out)
    {
        if (m_pCursor == nullptr)
            return false;
        out = m_pCursor->getItem();
        return true;
    }

    bool setCurrent(set_type value)
    {
        return qrvAbsorb(false, QRV_HERE, [&] {
            if (m_pCursor == nullptr)
                return false;
            m_pCursor->setItem(value);
            return true;
        }, QRVErrorSource::Errno);
    }

    // Replaces this list's nodes with copies of other's, keys included. Pointer lists
    // get new payload objects copied from other's. When a copy fails the nodes copied
    // so far stay and the result is false. Copying a list onto itself changes nothing.
    bool copyFrom(const CQRVDblList& other)
    {
        if (&other == this)
            return true;
        return qrvAbsorb(false, QRV_HERE, [&] {
            if (m_ulCount > 0 || m_pHead != nullptr)
                clear();
            for (const N* pSource = other.m_pHead; pSource != nullptr; pSource = pSource->m_pNext) {
                if constexpr (N::kOwnsPointer) {
                    const value_type* pPayload = pSource->payload();
                    value_type* pCopy = nullptr;
                    if (pPayload != nullptr) {
                        pCopy = new (std::nothrow) value_type(*pPayload);
                        if (pCopy == nullptr)
                            throw CQRVMemAllocException(L"pNode", QRV_HERE);
                    }
                    N* pNode = new (std::nothrow) N(pSource->m_lKey, pCopy);
                    if (pNode == nullptr) {
                        delete pCopy;
                        throw CQRVMemAllocException(L"pNode", QRV_HERE);
                    }
                    addNode(pNode);
                } else {
                    if (!add(*pSource->payload(), pSource->m_lKey))
                        return false;
                }
            }
            return true;
        }, QRVErrorSource::Errno);
    }

    // Same count and, node by node from the head, equal keys and equal payloads.
    bool operator==(const CQRVDblList& other) const
    {
        if (m_ulCount != other.m_ulCount)
            return false;
        const N* pMine = m_pHead;
        const N* pTheirs = other.m_pHead;
        while (pMine != nullptr && pTheirs != nullptr) {
            if (pMine->m_lKey != pTheirs->m_lKey || !qrv_detail::payloadEqual(pMine->payload(), pTheirs->payload()))
                return false;
            pMine = pMine->m_pNext;
            pTheirs = pTheirs->m_pNext;
        }
        return pMine == nullptr && pTheirs == nullptr;
    }
    bool operator!=(const CQRVDblList& other) const { return !(*this == other); }

    N* m_pHead;
    N* m_pTail;
    N* m_pCursor;
    unsigned long m_ulCount;
};
