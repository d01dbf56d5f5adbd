// The node kinds of CQRVDblList. Each node carries its links, a 32-bit key chosen by
// whoever adds it, and a payload held one of three ways:
//
//   CQRVObjNode<T>  a copy of the object (m_object), destroyed with the node;
//   CQRVPtrNode<T>  a heap object (m_pPointer) the node owns and deletes;
//   CQRVStdNode<T>  a plain value (m_value), typically an enumeration.
//
// Their abstract bases, CQRVNode<const T&>, CQRVNode<const T*> and CQRVNode<T>, declare
// the comparisons and the item access. Payloads without an ordering compare as neither
// less nor greater. Nodes are not copyable: the list copies payloads, never nodes.
#pragma once

#include <type_traits>
#include <utility>

#include "qrv_protocol.h"
#include "internal/qrv_release.h"

namespace qrv_detail {

// What getItem() hands out and setItem() takes for each argument form: a pointer to
// a held object, the owned pointer itself, or a plain value.
template <typename A>
struct NodeAccess {
    typedef A item_type;
    typedef A set_type;
};
template <typename T>
struct NodeAccess<const T&> {
    typedef T* item_type;
    typedef const T& set_type;
};
template <typename T>
struct NodeAccess<const T*> {
    typedef T* item_type;
    typedef T* set_type;
};

template <typename T, typename = void>
struct HasLess : std::false_type {};
template <typename T>
struct HasLess<T, std::void_t<decltype(std::declval<const T&>() < std::declval<const T&>())>> : std::true_type {};

template <typename T, typename = void>
struct HasGreater : std::false_type {};
template <typename T>
struct HasGreater<T, std::void_t<decltype(std::declval<const T&>() > std::declval<const T&>())>> : std::true_type {};

template <typename T, typename = void>
struct HasNotEqual : std::false_type {};
template <typename T>
struct HasNotEqual<T, std::void_t<decltype(std::declval<const T&>() != std::declval<const T&>())>> : std::true_type {};

template <typename T>
bool payloadLess(const T& a, const T& b)
{
    if constexpr (HasLess<T>::value)
        return static_cast<bool>(a < b);
    else
        return false;
}

template <typename T>
bool payloadGreater(const T& a, const T& b)
{
    if constexpr (HasGreater<T>::value)
        return static_cast<bool>(a > b);
    else
        return false;
}

template <typename T>
bool payloadNotEqual(const T& a, const T& b)
{
    if constexpr (HasNotEqual<T>::value)
        return static_cast<bool>(a != b);
    else
        return !(a == b);
}

// Payload equality through two possibly null pointers: two missing payloads are
// equal, one missing payload equals nothing.
template <typename T>
bool payloadEqual(const T* a, const T* b)
{
    if (a == nullptr || b == nullptr)
        return a == b;
    return static_cast<bool>(*a == *b);
}

} // namespace qrv_detail

template <typename A>
class CQRVNode {
public:
    typedef typename qrv_detail::NodeAccess<A>::item_type item_type;
    typedef typename qrv_detail::NodeAccess<A>::set_type set_type;

    virtual ~CQRVNode() {}
    virtual bool isEqual(A arg) const = 0;
    virtual bool isNotEqual(A arg) const = 0;
    virtual bool isLess(A arg) const = 0;
    virtual bool isGreater(A arg) const = 0;
    virtual item_type getItem() = 0;
    virtual void setItem(set_type arg) = 0;

protected:
    CQRVNode() {}
    CQRVNode(const CQRVNode&) = delete;
    CQRVNode& operator=(const CQRVNode&) = delete;
};

// Holds its own copy of the object it was made with.
template <typename T>
class CQRVObjNode : public CQRVNode<const T&> {
public:
    typedef T value_type;
    typedef const T& add_type; // what the list's add() takes
    static constexpr bool kOwnsPointer = false;

    CQRVObjNode(long lKey, const T& object) : m_pNext(nullptr), m_pPrev(nullptr), m_lKey(lKey), m_object(object) {}
    ~CQRVObjNode() override
    {
        m_pNext = nullptr;
        m_pPrev = nullptr;
    }

    bool isEqual(const T& arg) const override { return static_cast<bool>(m_object == arg); }
    bool isNotEqual(const T& arg) const override { return qrv_detail::payloadNotEqual(m_object, arg); }
    bool isLess(const T& arg) const override { return qrv_detail::payloadLess(m_object, arg); }
    bool isGreater(const T& arg) const override { return qrv_detail::payloadGreater(m_object, arg); }
    T* getItem() override { return &m_object; }
    void setItem(const T& arg) override { m_object = arg; }

    // The payload for the list's copies and comparisons.
    const T* payload() const { return &m_object; }

    CQRVObjNode* m_pNext;
    CQRVObjNode* m_pPrev;
    long m_lKey;
    T m_object;
};

// Owns a heap object and deletes it when the node dies. setItem() takes a new pointer
// without deleting the old one: what happens to that is the caller's business.
template <typename T>
class CQRVPtrNode : public CQRVNode<const T*> {
public:
    typedef T value_type;
    typedef T* add_type;
    static constexpr bool kOwnsPointer = true;

    CQRVPtrNode(long lKey, T* pPointer) : m_pNext(nullptr), m_pPrev(nullptr), m_lKey(lKey), m_pPointer(pPointer) {}
    ~CQRVPtrNode() override
    {
        T* pOwned = m_pPointer;
        m_pPointer = nullptr;
        if (pOwned != nullptr)
            qrv_detail::freeNoting(L"m_pPointer", QRV_HERE, [pOwned] { delete pOwned; });
        m_pNext = nullptr;
        m_pPrev = nullptr;
    }

    // Comparisons of the pointed-to objects; a missing object on either side makes
    // them unequal (both missing: equal) and unordered.
    bool isEqual(const T* arg) const override { return qrv_detail::payloadEqual<T>(m_pPointer, arg); }
    bool isNotEqual(const T* arg) const override
    {
        if (m_pPointer == nullptr || arg == nullptr)
            return m_pPointer != arg;
        return qrv_detail::payloadNotEqual(*m_pPointer, *arg);
    }
    bool isLess(const T* arg) const override
    {
        return m_pPointer != nullptr && arg != nullptr && qrv_detail::payloadLess(*m_pPointer, *arg);
    }
    bool isGreater(const T* arg) const override
    {
        return m_pPointer != nullptr && arg != nullptr && qrv_detail::payloadGreater(*m_pPointer, *arg);
    }
    T* getItem() override { return m_pPointer; }
    void setItem(T* arg) override { m_pPointer = arg; }

    const T* payload() const { return m_pPointer; }

    CQRVPtrNode* m_pNext;
    CQRVPtrNode* m_pPrev;
    long m_lKey;
    T* m_pPointer;
};

// Holds a plain value.
template <typename T>
class CQRVStdNode : public CQRVNode<T> {
public:
    typedef T value_type;
    typedef T add_type;
    static constexpr bool kOwnsPointer = false;

    CQRVStdNode(long lKey, T value) : m_pNext(nullptr), m_pPrev(nullptr), m_lKey(lKey), m_value(value) {}
    ~CQRVStdNode() override
    {
        m_pNext = nullptr;
        m_pPrev = nullptr;
    }

    bool isEqual(T arg) const override { return static_cast<bool>(m_value == arg); }
    bool isNotEqual(T arg) const override { return qrv_detail::payloadNotEqual(m_value, arg); }
    bool isLess(T arg) const override { return qrv_detail::payloadLess(m_value, arg); }
    bool isGreater(T arg) const override { return qrv_detail::payloadGreater(m_value, arg); }
    T getItem() override { return m_value; }
    void setItem(T arg) override { m_value = arg; }

    const T* payload() const { return &m_value; }

    CQRVStdNode* m_pNext;
    CQRVStdNode* m_pPrev;
    long m_lKey;
    T m_value;
};
